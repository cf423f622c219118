// `twinlantern launchers install`: named by the system's messages; the launcher
// generator it fronts is not part of this build yet, so it says so and fails.
#include "twinlantern_cli/Commands.h"

#include "core/base/TwinLanternError.h"

namespace twinlantern::cli {

void addLaunchersCommands(CLI::App& app, const Cli& /*cli*/, Action& action) {
    CLI::App* launchers = app.add_subcommand("launchers", "Dock launchers for Claude Desktop");
    launchers->require_subcommand(1);
    CLI::App* install = launchers->add_subcommand(
        "install", "Build the Dock launcher of every profile that uses Claude Desktop");
    install->callback([&action] {
        action = []() -> int {
            throw TwinLanternError::unsupported(
                "This build can't make Dock launchers yet; nothing was changed.");
        };
    });
}

} // namespace twinlantern::cli
