// `twinlantern login NAME TOOL`: the tool's own sign-in for one profile, in this terminal.
#include "twinlantern_cli/Commands.h"

#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/ClaudeCodeAdapter.h"
#include "core/tools/CodexAdapter.h"
#include "core/tools/ToolRegistry.h"
#include "twinlantern_cli/ForegroundChild.h"

#include <memory>
#include <optional>
#include <vector>

namespace twinlantern::cli {

namespace {

constexpr std::string_view toolOption = "TOOL";

// The words `login` takes for a tool, in the tool table's order.
std::vector<std::string> toolWords() {
    std::vector<std::string> words;
    for (ToolKind kind : terminalTools) {
        for (std::string_view word : toolInfo(kind).words) {
            words.emplace_back(word);
        }
    }
    return words;
}

// The usage line names the tool words where the option stands.
class LoginFormatter : public CLI::Formatter {
public:
    std::string make_option_usage(const CLI::Option* option) const override {
        if (option->get_name() == toolOption) {
            return "(" + text::joined(toolWords(), "|") + ")";
        }
        return CLI::Formatter::make_option_usage(option);
    }
};

std::optional<ToolKind> terminalTool(const std::string& word) {
    const std::optional<ToolKind> kind = toolKindFromArgument(word);
    return kind && !isApp(*kind) ? kind : std::nullopt;
}

int login(const Cli& cli, const std::string& name, const std::string& tool) {
    const ProfileDocument document = ProfileStore(cli.paths).load();
    const Profile* profile = document.profileNamed(name);
    if (profile == nullptr) {
        throw TwinLanternError::profileNotFound(name);
    }
    const ToolKind kind = *terminalTool(tool);
    if (!profile->uses(kind)) {
        throw TwinLanternError::io(profile->name + " doesn't use " + displayName(kind) +
                                   ". Turn it on for the profile in TwinLantern first.");
    }
    const ToolContext context{cli.paths, cli.toolEnvironment()};
    std::optional<SignInCommand> command;
    for (const auto& adapter : ToolRegistry::cliAdapters(context)) {
        if (adapter->kind() == kind) {
            command = adapter->setUp(*profile);
        }
    }
    if (!command) {
        throw TwinLanternError::io(
            std::string(displayName(kind)) + " isn't installed: no `" +
            (kind == ToolKind::codex ? CodexAdapter::binaryName : ClaudeCodeAdapter::binaryName) +
            "` on PATH outside " + cli.paths.abbreviate(cli.paths.shimDirectory()) + ".");
    }
    // The same command the app opens in a Terminal window, run here.
    Environment environment = cli.environment;
    for (const std::string& variable : command->unset) {
        environment.erase(variable);
    }
    for (const auto& [variable, value] : command->environment) {
        environment[variable] = value;
    }
    cli.out("Signing " + text::terminalSafe(profile->name) + " in to " + displayName(kind) + ".\n");
    ForegroundChild child(command->executable, command->arguments, environment);
    const int status = child.wait();
    if (status != 0) {
        throw TwinLanternError::io("Sign-in didn't finish (exit " + std::to_string(status) + ").");
    }
    return 0;
}

} // namespace

void addLoginCommand(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* command =
        app.add_subcommand("login", "Sign a profile in to Claude Code or Codex in this terminal");
    auto name = std::make_shared<std::string>();
    auto tool = std::make_shared<std::string>();
    command->add_option("NAME", *name, "The profile's name (or id)")->required();
    std::vector<std::string> words = toolWords();
    const std::string last = words.back();
    words.pop_back();
    const std::string accepted = text::joined(words, ", ") + " or " + last;
    command->formatter(std::make_shared<LoginFormatter>());
    command->add_option(std::string(toolOption), *tool, accepted + " (any case)")
        ->required()
        ->check(CLI::Validator(
            [accepted](const std::string& word) -> std::string {
                if (terminalTool(word)) {
                    return "";
                }
                return "\u201C" + word + "\u201D isn't a tool to sign in to. Use " + accepted + ".";
            },
            "", "tool word"));
    command->callback([&cli, &action, name, tool] {
        action = [&cli, name, tool] {
            return login(cli, *name, *tool);
        };
    });
}

} // namespace twinlantern::cli
