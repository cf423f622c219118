// `twinlantern login NAME TOOL`: the tool's own sign-in for one profile, in this terminal.
#include "twinlantern_cli/Commands.h"

#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/ClaudeCodeAdapter.h"
#include "core/tools/CodexAdapter.h"
#include "core/tools/ToolRegistry.h"
#include "twinlantern_cli/ForegroundChild.h"

#include <memory>

namespace twinlantern::cli {

namespace {

int login(const Cli& cli, const std::string& name, const std::string& tool) {
    const ProfileDocument document = ProfileStore(cli.paths).load();
    const Profile* profile = document.profileNamed(name);
    if (profile == nullptr) {
        throw TwinLanternError::profileNotFound(name);
    }
    const ToolKind kind = *toolKindFromRawValue(tool);
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
    cli.out("Signing " + profile->name + " in to " + displayName(kind) + ".\n");
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
    command->add_option("TOOL", *tool, "claude-code or codex")
        ->required()
        ->check(CLI::IsMember(
            {std::string(rawValue(ToolKind::claudeCode)), std::string(rawValue(ToolKind::codex))}));
    command->callback([&cli, &action, name, tool] {
        action = [&cli, name, tool] {
            return login(cli, *name, *tool);
        };
    });
}

} // namespace twinlantern::cli
