// `twinlantern doctor`: the setup checks the app's setup check shows.
#include "twinlantern_cli/Commands.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/Json.h"
#include "core/doctor/Doctor.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/DesktopInstall.h"

#include <algorithm>
#include <memory>

namespace twinlantern::cli {

namespace {

constexpr std::string_view indent = "         ";

// The checks quote names, paths and files' text: shown safe on the terminal.
std::string indented(std::string_view text) {
    std::string out;
    for (char c : terminalSafeLines(text)) {
        out += c;
        if (c == '\n') {
            out += indent;
        }
    }
    return out;
}

std::string levelStyle(DoctorCheck::Level level) {
    switch (level) {
    case DoctorCheck::Level::ok:
        return "32";
    case DoctorCheck::Level::info:
        return "34";
    case DoctorCheck::Level::warning:
        return "33";
    case DoctorCheck::Level::failure:
        return "1;31";
    }
    return "0";
}

std::string block(const Cli& cli, const DoctorCheck& check) {
    std::string level = rawValue(check.level);
    level.resize(indent.size(), ' ');
    std::string text =
        cli.paint(level, levelStyle(check.level)) + cli.paint(indented(check.title), "1") + "\n";
    if (check.detail) {
        text += std::string(indent) + indented(*check.detail) + "\n";
    }
    if (check.fix) {
        text += std::string(indent) + "fix: " + indented(*check.fix) + "\n";
    }
    return text;
}

int run(const Cli& cli, bool deep, bool json) {
    const ProfileStore store(cli.paths);
    // Listing launchers needs no launcher program: none is named.
    const LauncherGenerator launchers(cli.paths, "", DesktopInstall::bundleID, cli.environment);
    const Doctor doctor{ToolContext{cli.paths, cli.toolEnvironment()},
                        [store] { return store.load(); }, DesktopInstall::locate(cli.paths),
                        [launchers](const ProfileDocument& document) {
                            return launchers.doctorChecks(document);
                        }};
    const std::vector<DoctorCheck> checks = doctor.run(deep);
    if (json) {
        cli.out(jsonText(nlohmann::json(checks)));
    } else {
        std::string text;
        for (const DoctorCheck& check : checks) {
            text += (text.empty() ? "" : "\n") + block(cli, check);
        }
        cli.out(text);
    }
    const bool failed = std::any_of(checks.begin(), checks.end(), [](const DoctorCheck& c) {
        return c.level == DoctorCheck::Level::failure;
    });
    return failed ? 1 : 0;
}

} // namespace

void addDoctorCommand(CLI::App& app, const Cli& cli, Action& action) {
    CLI::App* doctor =
        app.add_subcommand("doctor", "Check the setup and say how to fix what's wrong");
    auto deep = std::make_shared<bool>(false);
    auto json = std::make_shared<bool>(false);
    doctor->add_flag("--deep", *deep, "Also ask each tool whether every profile is signed in");
    doctor->add_flag("--json", *json, "Print the checks as a JSON array");
    doctor->callback([&cli, &action, deep, json] {
        action = [&cli, deep, json] {
            return run(cli, *deep, *json);
        };
    });
}

} // namespace twinlantern::cli
