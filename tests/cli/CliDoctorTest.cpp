// `twinlantern doctor` and every fix the system prints, run as written.
#include "tests/cli/CliFixture.h"

#include "core/doctor/Doctor.h"
#include "core/profiles/ProfileStore.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/DesktopInstall.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;

namespace {

class CliDoctor : public CliFixture {
protected:
    std::vector<DoctorCheck> checks(bool deep = false) {
        std::vector<std::string> args{"doctor", "--json"};
        if (deep) {
            args.push_back("--deep");
        }
        const RunResult r = run(args);
        EXPECT_EQ(r.err, "");
        return nlohmann::json::parse(r.out).get<std::vector<DoctorCheck>>();
    }

    // Every `twinlantern …` a fix quotes, in order.
    std::vector<std::string> fixCommands(const std::vector<DoctorCheck>& found) {
        std::vector<std::string> commands;
        for (const DoctorCheck& check : found) {
            for (const std::string& command : backquoted(check.fix.value_or(""))) {
                if (command.starts_with("twinlantern ")) {
                    commands.push_back(command);
                }
            }
        }
        return commands;
    }

    std::string zshrc() const { return home.dir / ".zshrc"; }
};

TEST_F(CliDoctor, JsonIsTheDoctorsOwnChecks) {
    store({1, {profile("work", "Work")}, {FolderRule("~/gone/**", ProfileID("work"))}, {}});
    writeFile(zshrc(), ShellIntegration::block() + "export LATER=1\n");
    const ProfileStore storeForDoctor(home.paths);
    const Doctor doctor{ToolContext{home.paths, env()},
                        [storeForDoctor] { return storeForDoctor.load(); },
                        DesktopInstall::locate(home.paths),
                        {}};
    const RunResult r = run({"doctor", "--json"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(nlohmann::json::parse(r.out), nlohmann::json(doctor.run(false)));
}

TEST_F(CliDoctor, EachCheckIsOneBlock) {
    store({1, {profile("work", "Work")}, {FolderRule("~/gone/**", ProfileID("work"))}, {}});
    const RunResult r = run({"doctor"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("ok       Profiles file is readable\n"
                                 "         1 profile, 1 folder rule\n\n"));
    EXPECT_THAT(r.out, HasSubstr("warning  A folder rule points at a missing folder\n"
                                 "         ~/gone/** \u2192 Work. Was it moved or renamed?\n"
                                 "         fix: Update or remove the rule: `twinlantern rule "
                                 "remove '~/gone/**'`.\n"));
    EXPECT_EQ(r.out.find("\n\n\n"), std::string::npos);
}

TEST_F(CliDoctor, AFailureExitsOneAndTheFileStaysAsItWas) {
    writeProfiles("{\"version\": 1, \"profiles\": [");
    const std::string before = readFile(home.paths.profilesFile());
    const RunResult r = run({"doctor"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_THAT(r.out, HasSubstr("failure  Profiles file can't be read\n"));
    EXPECT_EQ(readFile(home.paths.profilesFile()), before);
}

// The doctor's fixture homes: each fix runs through `sh -c` and has its effect.
TEST_F(CliDoctor, MissingRuleFolderFixRemovesTheRule) {
    store({1,
           {profile("work", "Work")},
           {FolderRule("~/gone/**", ProfileID("work")), FolderRule("~/kept/**", ProfileID("work"))},
           {}});
    makeDirs(home.dir / "kept");
    const auto commands = fixCommands(checks());
    ASSERT_THAT(commands, ::testing::Contains("twinlantern rule remove '~/gone/**'"));
    const RunResult r = shell("twinlantern rule remove '~/gone/**'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(load().rules, std::vector<FolderRule>{FolderRule("~/kept/**", ProfileID("work"))});
    for (const DoctorCheck& check : checks()) {
        EXPECT_NE(check.id, "rule.missing");
    }
}

TEST_F(CliDoctor, BlockNoLongerLastFixMovesItToTheEnd) {
    writeFile(zshrc(), "export A=1\n" + ShellIntegration::block() + "export PATH=/opt/x:$PATH\n");
    const auto commands = fixCommands(checks());
    ASSERT_THAT(commands, ::testing::Contains("twinlantern shell install --yes"));
    const RunResult r = shell("twinlantern shell install --yes");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    const auto status = ShellIntegration(home.paths, env()).status();
    ASSERT_EQ(status.blocks.size(), 1u);
    EXPECT_TRUE(status.blocks[0].isLast);
    EXPECT_EQ(readFile(zshrc()),
              "export A=1\nexport PATH=/opt/x:$PATH\n" + ShellIntegration::block());
    for (const DoctorCheck& check : checks()) {
        EXPECT_NE(check.id, "shell.block");
    }
}

TEST_F(CliDoctor, IntegrationNotInstalledFixInstallsItAfterAsking) {
    store({1, {profile("work", "Work")}, {}, {}});
    const auto commands = fixCommands(checks());
    ASSERT_THAT(commands, ::testing::Contains("twinlantern shell install"));
    // As written, in a terminal, the user answering yes.
    const RunResult r = shell("twinlantern shell install", {}, "y\n", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("Install the shell integration? [y/N]"));
    EXPECT_TRUE(ShellIntegration(home.paths, env()).status().isInstalled());
    EXPECT_TRUE(exists(home.paths.shimDirectory() + "/twinlantern"));
    EXPECT_TRUE(
        ShellIntegration::sameContents(program(), home.dir / ".twinlantern/libexec/twinlantern"));
}

TEST_F(CliDoctor, ShimSkippedFixPutsTheShimFirstAgain) {
    ASSERT_EQ(run({"shell", "install", "--yes"}).exitCode, 0);
    // PATH finds the real tool before the shims: the block moved up, the doctor says.
    const auto found = checks();
    std::vector<std::string> skipped;
    for (const DoctorCheck& check : found) {
        if (check.id.starts_with("shim.") && check.level == DoctorCheck::Level::warning) {
            skipped.push_back(check.id);
        }
    }
    EXPECT_EQ(skipped.size(), 2u);
    ASSERT_THAT(fixCommands(found), ::testing::Contains("twinlantern shell install"));
    const RunResult r = shell("twinlantern shell install", {}, "y\n", true);
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_THAT(r.out, HasSubstr("already installed; nothing to change"));
    // A new terminal sources the block, which puts the shims first.
    const RunResult fresh = runProgram("/bin/sh", {"sh", "-c", ". ./.zshrc; command -v claude"},
                                       env(), {.cwd = home.home()});
    EXPECT_EQ(fresh.out, home.paths.shimDirectory() + "/claude\n");
}

TEST_F(CliDoctor, NeedsSignInFixRunsTheToolsSignInWithTheProfilesFolder) {
    // A hostile name and one that looks like an option: the fix still runs as written.
    const std::vector<std::string> names = {"Work", "x'; touch pwned; echo '", "$(touch pwned2)",
                                            "--help", "-v \"q\""};
    std::vector<Profile> profiles;
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::string id = "p"; // not `"p" + ...`, which GCC 12 at -O3 takes for an overlap
        id += std::to_string(i);
        profiles.push_back(
            profile(id, names[i], Profile::Storage::managed, {ToolKind::claudeCode}));
        makeDirs(home.paths.dataDirectory(ToolKind::claudeCode, profiles.back().id).value());
    }
    store({1, profiles, {}, {}});
    claude.answer("not the JSON status\n");
    std::vector<std::string> commands;
    for (const std::string& command : fixCommands(checks(true))) {
        if (command.starts_with("twinlantern login ")) {
            commands.push_back(command);
        }
    }
    ASSERT_EQ(commands.size(), names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        removeTree(claude.path() + ".fake/argv");
        const RunResult r = shell(commands[i]);
        EXPECT_EQ(r.exitCode, 0) << commands[i] << ": " << r.err;
        const auto call = claude.received();
        ASSERT_TRUE(call) << commands[i];
        EXPECT_EQ(call->argv, (std::vector<std::string>{claude.path(), "auth", "login"}));
        EXPECT_EQ(call->env.at("CLAUDE_CONFIG_DIR"),
                  home.paths.dataDirectory(ToolKind::claudeCode, profiles[i].id).value());
    }
    EXPECT_FALSE(exists(home.dir / "pwned"));
    EXPECT_FALSE(exists(home.dir / "pwned2"));
}

TEST_F(CliDoctor, TheResolversAndTheHelpWindowsCommandsRun) {
    store({1, {profile("work", "Work")}, {}, ProfileID("work")});
    // "Run `twinlantern doctor`." when a shim keeps finding a shim.
    const RunResult doctor = shell("twinlantern doctor");
    EXPECT_EQ(doctor.exitCode, 0) << doctor.err;
    EXPECT_THAT(doctor.out, HasSubstr("Profiles file is readable"));
    // "Run `twinlantern which` in any folder".
    const RunResult which = shell("twinlantern which", dir("some/folder"));
    EXPECT_EQ(which.exitCode, 0) << which.err;
    EXPECT_THAT(which.out, HasSubstr("claude  Work, the terminal default"));
}

} // namespace
