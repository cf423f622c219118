// `twinlantern which`: the profile the shims apply in a folder, and why. It reads the
// folder and the profiles the way the shims do and resolves with the same functions.
#include "twinlantern_cli/Commands.h"

#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/rules/RuleResolver.h"
#include "core/rules/ShimInputs.h"
#include "core/rules/ShimPlan.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/BinaryLocator.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <set>

namespace twinlantern::cli {

namespace {

constexpr std::string_view indent = "        ";

std::string why(const Cli& cli, const Resolution& resolution) {
    switch (resolution.source) {
    case Resolution::Source::folderRule:
        return "from the folder rule " + text::terminalSafe(resolution.rule->path);
    case Resolution::Source::dotfile:
        return "from " + text::terminalSafe(cli.paths.abbreviate(resolution.dotfilePath));
    case Resolution::Source::cliDefault:
        return "the terminal default";
    case Resolution::Source::none:
        break;
    }
    return "";
}

// The user's own value of one of the tool's variables, which the shim never overrides.
std::optional<std::string> exportedVariable(const Environment& env, ToolKind kind) {
    std::set<std::string> managed;
    if (auto marker = env.find(ShimPlan::markerVariable); marker != env.end()) {
        std::string_view rest = marker->second;
        while (!rest.empty()) {
            const auto comma = rest.find(',');
            managed.emplace(rest.substr(0, comma));
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
    }
    for (const std::string& name : ShimPlan::variables(kind)) {
        if (env.contains(name) && !managed.contains(name)) {
            return name;
        }
    }
    return std::nullopt;
}

std::string profileLine(const Cli& cli, std::string_view tool, const std::string& folder,
                        const ShimInputs::Document& loaded) {
    const ToolKind kind = *ShimPlan::tool(tool);
    switch (loaded.absent) {
    case ShimInputs::Document::Absent::disabled:
        return "no profile: TWINLANTERN_DISABLE=1 turns the shims off in this shell";
    case ShimInputs::Document::Absent::appRemoved:
        return "no profile: the app named in " +
               text::terminalSafe(cli.paths.abbreviate(
                   ShellIntegration(cli.paths, cli.environment).appPathFile())) +
               " is gone, so the shims only run the real tools";
    case ShimInputs::Document::Absent::unreadable:
    case ShimInputs::Document::Absent::no:
        break;
    }
    const ProfileDocument& document = *loaded.document;
    const Resolution resolution = resolveFolder(document, cli.paths.home, folder, folder);
    const ShimPlan::Changes changes =
        ShimPlan::changes(tool, cli.environment, folder, document, cli.paths);
    if (changes.profile) {
        return cli.paint(text::terminalSafe(*changes.profile), "1") + ", " + why(cli, resolution);
    }
    if (!resolution.profile) {
        return "no profile: `" + std::string(tool) + "` runs with its own setup";
    }
    const Profile& profile = *resolution.profile;
    const std::string name = text::terminalSafe(profile.name);
    const std::string would = " (" + name + " would apply, " + why(cli, resolution) + ")";
    if (!profile.uses(kind)) {
        return "no profile: " + name + " applies here (" + why(cli, resolution) +
               ") but doesn't use " + displayName(kind);
    }
    if (auto variable = exportedVariable(cli.environment, kind)) {
        return "no profile: " + *variable + " is set in this shell, and a value you set wins" +
               would;
    }
    return "no profile: the profile's id can't name a folder" + would;
}

std::string pathLine(const Cli& cli, std::string_view tool) {
    const std::string name(tool);
    const std::string shims = cli.paths.shimDirectory();
    const std::optional<std::string> first =
        BinaryLocator(cli.environment, cli.paths).findIncludingExcluded(name);
    if (!first) {
        return "no `" + name + "` on PATH, not even " + cli.paths.abbreviate(shims + "/" + name);
    }
    const std::string folder = PathUtil::normalize(PathUtil::parent(*first));
    if (folder == PathUtil::normalize(shims) ||
        PathUtil::realPath(folder) == PathUtil::realPath(PathUtil::normalize(shims))) {
        return "`" + name + "` goes through TwinLantern: " + cli.paths.abbreviate(shims) +
               " is first on PATH";
    }
    return "`" + name + "` skips TwinLantern: PATH finds " + cli.paths.abbreviate(*first) +
           " first, not " + cli.paths.abbreviate(shims + "/" + name);
}

// The working folder was deleted under the shell: the shims then resolve as for "/".
bool workingFolderIsGone() {
    const std::unique_ptr<char, decltype(&std::free)> cwd(::getcwd(nullptr, 0), &std::free);
    return !cwd && errno == ENOENT;
}

int run(const Cli& cli, const std::optional<std::string>& argument) {
    const std::string cwd = ShimInputs::workingFolder(cli.environment);
    const std::string folder =
        argument ? PathUtil::normalize(PathUtil::expandTilde(*argument, cli.paths.home), cwd) : cwd;
    const ShimInputs::Document loaded = ShimInputs::load(cli.paths, cli.environment);
    if (loaded.absent == ShimInputs::Document::Absent::unreadable) {
        // The shims run the tools unchanged then; the doctor names the problem too.
        throw TwinLanternError::io(loaded.error);
    }
    std::string text = text::terminalSafe(cli.paths.abbreviate(folder));
    if (!argument && workingFolderIsGone()) {
        text += " (the working folder no longer exists, so the shims resolve as for /)";
    }
    text += "\n";
    if (loaded.document) {
        for (const std::string& warning :
             resolveFolder(*loaded.document, cli.paths.home, folder, folder).warnings) {
            text += cli.paint("warning: ", "33") + text::terminalSafe(warning) + "\n";
        }
    }
    for (std::string_view tool : ShellIntegration::toolNames) {
        std::string name(tool);
        name.resize(indent.size(), ' ');
        text += name + profileLine(cli, tool, folder, loaded) + "\n";
        text += std::string(indent) + text::terminalSafe(pathLine(cli, tool)) + "\n";
    }
    cli.out(text);
    return 0;
}

} // namespace

void addWhichCommand(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* which =
        app.add_subcommand("which", "Show which profile `claude` and `codex` use in a folder");
    auto folder = std::make_shared<std::string>();
    CLI::Option* given =
        which->add_option("FOLDER", *folder, "The folder (default: the working folder)");
    which->callback([&cli, &action, folder, given] {
        std::optional<std::string> argument;
        if (given->count() > 0) {
            argument = *folder;
        }
        action = [&cli, argument] {
            return run(cli, argument);
        };
    });
}

} // namespace twinlantern::cli
