#include "tests/core/doctor/DoctorFixture.h"

#include "core/base/TwinLanternError.h"
#include "core/shell/ShellIntegration.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;
using Level = DoctorCheck::Level;

TEST(DoctorRun, ChecksComeInTheFixedOrder) {
    DoctorSetup s;
    s.addEveryCheck();
    const std::vector<std::string> shallow{"profiles",
                                           "binary.claude-code",
                                           "shim.claude-code",
                                           "binary.codex",
                                           "shim.codex",
                                           "desktop",
                                           "datadirs",
                                           "env.CODEX_HOME",
                                           "env.ANTHROPIC_API_KEY",
                                           "rule.missing",
                                           "shell.block",
                                           "launcher.work",
                                           "conflicts",
                                           "aliases"};
    const auto checks = s.run(false);
    EXPECT_EQ(ids(checks), shallow);
    EXPECT_EQ(only(checks, "launcher.work").title, "1"); // got the loaded document

    auto deep = shallow;
    deep.insert(deep.end(), {"status.work.claude-code", "status.work.codex"});
    const auto deepChecks = s.run(true);
    EXPECT_EQ(ids(deepChecks), deep);
    EXPECT_EQ(std::vector(deepChecks.begin(), deepChecks.begin() + shallow.size()), checks);
}

TEST(DoctorRun, CorruptProfilesFileIsAFailureAndTheRestStillRuns) {
    for (const std::string& bytes : {std::string("{\"version\": 1, \"prof"), std::string("[]"),
                                     std::string("\0\xff\xfe", 3)}) {
        DoctorSetup s;
        s.writeProfiles(bytes);
        std::string message;
        try {
            ProfileStore(s.h.paths).load();
        } catch (const TwinLanternError& e) {
            message = e.what();
        }
        ASSERT_FALSE(message.empty());
        const auto checks = s.run(false);
        EXPECT_EQ(checks.front(),
                  (DoctorCheck{"profiles", Level::failure, "Profiles file can't be read", message,
                               "Restore ~/Library/Application Support/TwinLantern/profiles.json "
                               "from a backup, or delete it to start over."}));
        EXPECT_EQ(ids(checks),
                  (std::vector<std::string>{"profiles", "binary.claude-code", "shim.claude-code",
                                            "binary.codex", "shim.codex", "desktop", "datadirs",
                                            "conflicts"}));
        // The empty document: nothing counts as used.
        EXPECT_EQ(only(checks, "binary.codex").level, Level::info);
    }
}

TEST(DoctorRun, ProfilesFileFromANewerVersionIsToBeKeptAndTheAppUpdated) {
    DoctorSetup s;
    s.writeProfiles(R"({"version": 7, "profiles": [], "rules": [], "future": {"x": 1}})");
    const DoctorCheck check = s.run(false).front();
    EXPECT_EQ(check, (DoctorCheck{"profiles", Level::failure, "Profiles file can't be read",
                                  TwinLanternError::storeTooNew(7).what(),
                                  "Update TwinLantern to read it, and keep "
                                  "~/Library/Application Support/TwinLantern/profiles.json as "
                                  "it is: it holds what the newer version saved."}));
    EXPECT_EQ(check.fix->find("delete"), std::string::npos);
}

TEST(DoctorRun, ProfilesFileThatIsAFolderOrLoaderThatThrowsAnythingIsReported) {
    DoctorSetup s;
    makeDirs(s.h.paths.profilesFile());
    EXPECT_EQ(s.run(false).front().level, Level::failure);

    Doctor doctor = s.doctor();
    int calls = 0;
    doctor.loadDocument = [&calls]() -> ProfileDocument {
        ++calls;
        throw std::runtime_error("disk on fire");
    };
    const auto checks = doctor.run(true);
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(checks.front().detail, "disk on fire");
    EXPECT_EQ(ids(checks).back(), "conflicts");
}

TEST(DoctorRun, ProfilesCheckCountsProfilesAndRules) {
    DoctorSetup s;
    EXPECT_EQ(
        only(s.run(), "profiles"),
        (DoctorCheck{
            "profiles", Level::ok, "Profiles file is readable", "0 profiles, 0 folder rules", {}}));
    s.writeProfiles(profilesJson({{"a", "A", {"codex"}}}));
    EXPECT_EQ(only(s.run(), "profiles").detail, "1 profile, 0 folder rules");
    makeDirs(s.home() + "/x");
    s.writeProfiles(profilesJson({{"a", "A", {"codex"}}, {"b", "B", {"codex"}}}, {{"~/x", "a"}}));
    EXPECT_EQ(only(s.run(), "profiles").detail, "2 profiles, 1 folder rule");
}

TEST(DoctorRun, BinaryChecksFindTheRealToolOutsideTheShimFolder) {
    DoctorSetup s;
    s.installShims();
    s.env["PATH"] = s.h.paths.shimDirectory() + ":" + s.bin;
    s.fakeTool(s.bin, "claude");
    auto checks = s.run();
    EXPECT_EQ(
        only(checks, "binary.claude-code"),
        (DoctorCheck{"binary.claude-code", Level::ok, "Claude Code found", "~/bin/claude", {}}));
    EXPECT_EQ(only(checks, "binary.codex"),
              (DoctorCheck{"binary.codex",
                           Level::info,
                           "Codex isn't installed",
                           "No `codex` on PATH outside ~/.twinlantern/bin.",
                           {}}));

    // A system profile counts as using Codex too.
    s.writeProfiles(profilesJson({{"me", "Me", {"codex"}, "system"}}));
    EXPECT_EQ(only(s.run(), "binary.codex"),
              (DoctorCheck{"binary.codex", Level::warning, "Codex isn't installed",
                           "No `codex` on PATH outside ~/.twinlantern/bin.",
                           "Install Codex, or turn it off for your profiles."}));

    // The copy inside the ChatGPT app counts when PATH has none.
    writeFile(s.home() + "/Applications/ChatGPT.app/Contents/Resources/codex-cli/bin/codex",
              "#!/bin/sh\n", 0755);
    EXPECT_EQ(only(s.run(), "binary.codex").detail,
              "~/Applications/ChatGPT.app/Contents/Resources/codex-cli/bin/codex");
}

TEST(DoctorRun, ShimChecksTellWhetherPathReachesTheShimFirst) {
    DoctorSetup s;
    const std::string shims = s.h.paths.shimDirectory();
    EXPECT_EQ(
        only(s.run(), "shim.codex"),
        (DoctorCheck{"shim.codex", Level::info, "Shell integration for `codex` isn't installed",
                     "Folder rules only apply once it is.",
                     "Turn on Settings → Terminal → Use profiles in the terminal, or run "
                     "`twinlantern shell install`."}));

    s.installShims();
    writeFile(shims + "/codex", "#!/bin/sh\n", 0644); // not executable: not installed
    const std::string local = s.home() + "/usr/local/bin";
    s.fakeTool(local, "claude");
    s.env["PATH"] = local + ":" + shims;
    auto checks = s.run();
    EXPECT_EQ(
        only(checks, "shim.claude-code"),
        (DoctorCheck{"shim.claude-code", Level::warning, "`claude` skips TwinLantern in this shell",
                     "PATH finds ~/usr/local/bin/claude before ~/.twinlantern/bin.",
                     "Move the TwinLantern block to the end of your shell file (`twinlantern "
                     "shell install` does this), then open a new terminal."}));
    EXPECT_EQ(only(checks, "shim.codex").level, Level::info);

    s.env["PATH"] = s.bin;
    EXPECT_EQ(only(s.run(), "shim.claude-code").detail,
              "PATH finds nothing before ~/.twinlantern/bin.");

    s.env["PATH"] = shims + "/:" + local;
    EXPECT_EQ(
        only(s.run(), "shim.claude-code"),
        (DoctorCheck{"shim.claude-code", Level::ok, "`claude` goes through TwinLantern", {}, {}}));

    ASSERT_EQ(::symlink(shims.c_str(), (s.home() + "/linked").c_str()), 0);
    s.env["PATH"] = s.home() + "/linked:" + local;
    EXPECT_EQ(only(s.run(), "shim.claude-code").level, Level::ok);
}

TEST(DoctorRun, DesktopCheckShowsTheInstallOrWhatToDo) {
    DoctorSetup s;
    EXPECT_EQ(only(s.run(), "desktop"),
              (DoctorCheck{"desktop", Level::info, "Claude Desktop isn't installed", {}, {}}));
    s.writeProfiles(profilesJson({{"a", "A", {"claude-desktop"}}}));
    EXPECT_EQ(only(s.run(), "desktop"),
              (DoctorCheck{"desktop",
                           Level::warning,
                           "Claude Desktop isn't installed",
                           {},
                           "Install Claude Desktop from https://claude.ai/download, or turn it "
                           "off for your profiles."}));
    s.desktop = DesktopInstall{s.home() + "/Applications/Claude.app", std::nullopt};
    EXPECT_EQ(only(s.run(), "desktop"),
              (DoctorCheck{
                  "desktop", Level::ok, "Claude Desktop found", "~/Applications/Claude.app", {}}));
    s.desktop = DesktopInstall{"/Applications/Claude.app", "0.14.1"};
    EXPECT_EQ(only(s.run(), "desktop").detail, "/Applications/Claude.app, version 0.14.1");
}

TEST(DoctorRun, MissingRuleFoldersAreReportedInRuleOrder) {
    DoctorSetup s;
    makeDirs(s.home() + "/code");
    makeDirs(s.home() + "/here");
    s.writeProfiles(profilesJson({{"work", "Work", {"codex"}}}, {{"~/code/**", "work"},
                                                                 {s.home() + "/gone it's", "work"},
                                                                 {"~/here", "ghost"},
                                                                 {"~/moved", "ghost"}}));
    EXPECT_TRUE(all(s.run(), "rule.missing").size() == 2);
    removeTree(s.home() + "/code");
    const auto checks = all(s.run(), "rule.missing");
    ASSERT_EQ(checks.size(), 3u);
    EXPECT_EQ(checks[0], (DoctorCheck{"rule.missing", Level::warning,
                                      "A folder rule points at a missing folder",
                                      "~/code/** → Work. Was it moved or renamed?",
                                      "Update or remove the rule: `twinlantern rule remove "
                                      "'~/code/**'`."}));
    EXPECT_EQ(checks[1].detail, s.home() + "/gone it's → Work. Was it moved or renamed?");
    EXPECT_EQ(checks[1].fix, "Update or remove the rule: `twinlantern rule remove '" + s.home() +
                                 "/gone it'\\''s'`.");
    EXPECT_EQ(checks[2].detail, "~/moved → ?. Was it moved or renamed?");
}

TEST(DoctorRun, ShellFilesWithSomethingAfterTheBlockAreReported) {
    DoctorSetup s;
    writeFile(s.home() + "/.bashrc", ShellIntegration::block() + "# only a comment\n\n");
    writeFile(s.home() + "/.zshrc", ShellIntegration::block() + "export PATH=/opt/bin:$PATH\n");
    writeFile(s.home() + "/.bash_profile", "no block here\n");
    EXPECT_EQ(all(s.run(), "shell.block"),
              (std::vector<DoctorCheck>{
                  {"shell.block", Level::warning,
                   "Something in ~/.zshrc comes after the TwinLantern block",
                   "Lines after it can put another `claude` or `codex` ahead of the shim in new "
                   "terminals.",
                   "Run `twinlantern shell install --yes` to move the block to the end."}}));
}

TEST(DoctorRun, APromptSnippetAfterTheBlockIsNoProblem) {
    // Where the zsh snippet says it goes: after the theme, so after our block.
    DoctorSetup s;
    writeFile(s.home() + "/.zshrc", "ZSH_THEME=robbyrussell\n" + ShellIntegration::block() +
                                        "source $ZSH/oh-my-zsh.sh\n");
    EXPECT_EQ(all(s.run(), "shell.block").size(), 1u);
    writeFile(s.home() + "/.zshrc", "ZSH_THEME=robbyrussell\n" + ShellIntegration::block() + "\n" +
                                        *ShellIntegration::promptSnippet("zsh") + "\n");
    writeFile(s.home() + "/.bashrc",
              ShellIntegration::block() + *ShellIntegration::promptSnippet("bash") + "\n");
    EXPECT_EQ(all(s.run(), "shell.block"), std::vector<DoctorCheck>{});
}

TEST(DoctorRun, ShallowRunStartsNoProcessAndExtraChecksRunOnce) {
    DoctorSetup s;
    s.addEveryCheck();
    s.fakeTool(s.bin, "codex");
    int extraCalls = 0;
    auto extra = s.extra;
    s.extra = [&](const ProfileDocument& d) {
        ++extraCalls;
        return extra(d);
    };
    s.run(false);
    EXPECT_EQ(extraCalls, 1);
    EXPECT_EQ(s.calls(), "");
}
