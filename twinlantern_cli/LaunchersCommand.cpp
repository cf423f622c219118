// `twinlantern launchers install`: builds the Dock launcher of every profile that uses
// Claude Desktop and removes the launchers no profile needs any more.
#include "twinlantern_cli/Commands.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/DesktopInstall.h"
#include "twinlantern_cli/IconDrawing.h"

#include <set>

namespace twinlantern::cli {

namespace {

int install(const Cli& cli) {
    const ProfileDocument document = ProfileStore(cli.paths).load();
    const LauncherGenerator generator(cli.paths, bundledPrograms().launcher,
                                      DesktopInstall::bundleID, cli.environment);
    std::set<ProfileID> wanted;
    for (const Profile& profile : document.profiles) {
        if (profile.uses(ToolKind::claudeDesktop)) {
            wanted.insert(profile.id);
        }
    }
    std::string report;
    if (!wanted.empty()) {
        const IconDrawing drawing(iconHelperPath(cli), cli.environment);
        for (const Profile& profile : document.profiles) {
            if (wanted.count(profile.id) != 0) {
                report += "Built " + cli.paths.abbreviate(generator.generate(profile)) + "\n";
            }
        }
    }
    for (const LauncherGenerator::Installed& launcher : generator.installed()) {
        if (wanted.count(launcher.profileID) == 0) {
            generator.removeLaunchers(launcher.profileID);
            report += "Removed " + cli.paths.abbreviate(launcher.path) + "\n";
        }
    }
    generator.removeStrayEntries();
    if (report.empty()) {
        report = "No profile uses Claude Desktop, so there are no launchers to build.\n";
    }
    cli.out(terminalSafeLines(report)); // bundle paths carry profile names
    return 0;
}

} // namespace

void addLaunchersCommands(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* launchers = app.add_subcommand("launchers", "Dock launchers for Claude Desktop");
    launchers->require_subcommand(1);
    CLI::App* install = launchers->add_subcommand(
        "install", "Build the Dock launcher of every profile that uses Claude Desktop");
    install->callback([&action, &cli] {
        action = [&cli] {
            return cli::install(cli);
        };
    });
}

} // namespace twinlantern::cli
