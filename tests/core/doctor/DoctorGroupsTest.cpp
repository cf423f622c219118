#include "core/shell/ShellIntegration.h"
#include "tests/core/doctor/DoctorFixture.h"
#include "tests/support/HostileFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <set>

using namespace twinlantern;
using namespace twinlantern::testing;
using Level = DoctorCheck::Level;

namespace {

const std::string chownFix = "Fix ownership with `sudo chown -R $USER ~/'Library/Application "
                             "Support/TwinLantern'`.";

void link(const std::string& target, const std::string& at) {
    makeDirs(at.substr(0, at.rfind('/')));
    ASSERT_EQ(::symlink(target.c_str(), at.c_str()), 0) << at;
}

// A setup with a folder that refuses writes, for the data-folder failures.
class DoctorLockedFolder : public ::testing::Test {
protected:
    void SetUp() override {
        locked = unwritableFolder(scratch);
        if (!locked) {
            GTEST_SKIP() << "no folder here refuses writes to root";
        }
    }
    DoctorSetup s;
    TempDir scratch;
    std::optional<std::string> locked;
};

} // namespace

TEST(DoctorDataFolders, MissingOrPlainFoldersAreFine) {
    DoctorSetup s;
    s.writeProfiles(profilesJson({{"new", "New", {"claude-code", "codex"}},
                                  {"file", "File", {"codex"}},
                                  {"mine", "Mine", {"codex"}, "system"},
                                  {"../../x", "Bad", {"codex"}}}));
    writeFile(s.h.paths.dataDirectory(ToolKind::codex, ProfileID("file")).value(), "not a folder");
    EXPECT_EQ(only(s.run(), "datadirs"),
              (DoctorCheck{"datadirs", Level::ok, "Data folders are writable", {}, {}}));
}

TEST_F(DoctorLockedFolder, UnwritableProfileFoldersAreListedInOrder) {
    s.writeProfiles(profilesJson({{"b", "B", {"codex", "claude-code"}}, {"a", "A", {"codex"}}}));
    link(*locked, s.h.paths.dataDirectory(ToolKind::codex, ProfileID("a")).value());
    link(*locked, s.h.paths.dataDirectory(ToolKind::claudeCode, ProfileID("b")).value());
    makeDirs(s.h.paths.dataDirectory(ToolKind::codex, ProfileID("b")).value());
    EXPECT_EQ(only(s.run(), "datadirs"),
              (DoctorCheck{"datadirs", Level::failure, "Some data folders aren't writable",
                           "~/Library/Application Support/TwinLantern/claude-code/b, "
                           "~/Library/Application Support/TwinLantern/codex/a",
                           chownFix}));
}

TEST_F(DoctorLockedFolder, AMissingSupportFolderIsJudgedByTheNearestFolderAbove) {
    link(*locked, s.home() + "/Library");
    EXPECT_EQ(only(s.run(), "datadirs"),
              (DoctorCheck{"datadirs", Level::failure, "Some data folders aren't writable",
                           "~/Library", chownFix}));
    removeTree(s.home() + "/Library");
    link(*locked, s.h.paths.supportDirectory());
    EXPECT_EQ(only(s.run(), "datadirs").detail, "~/Library/Application Support/TwinLantern");
}

TEST(DoctorEnvironment, ToolVariablesAreToldApartByTheMarker) {
    struct Case {
        Environment env;
        std::vector<DoctorCheck> expected;
    };
    DoctorSetup s;
    const std::string home = s.home();
    const DoctorCheck setByUs{"env.CODEX_HOME",
                              Level::info,
                              "CODEX_HOME was set by TwinLantern",
                              "Profile Work is active in this shell.",
                              {}};
    const DoctorCheck exported{
        "env.CODEX_HOME", Level::warning, "You export CODEX_HOME yourself",
        "CODEX_HOME=~/codex-here. TwinLantern leaves it alone, so folder rules won't change it.",
        "Remove the `export CODEX_HOME=…` line from your shell file if you want TwinLantern to "
        "choose."};
    const Case cases[] = {
        {{{"CODEX_HOME", home + "/codex-here"}}, {exported}},
        {{{"CODEX_HOME", "x"},
          {"TWINLANTERN_MANAGED_VARS", "CODEX_HOME"},
          {"TWINLANTERN_PROFILE", "Work"}},
         {setByUs}},
        {{{"CODEX_HOME", "x"},
          {"TWINLANTERN_MANAGED_VARS", ",,CODEX_HOME,"},
          {"TWINLANTERN_PROFILE", "Work"}},
         {setByUs}},
        {{{"CODEX_HOME", home + "/codex-here"}, {"TWINLANTERN_MANAGED_VARS", " CODEX_HOME"}},
         {exported}},
        {{{"CODEX_HOME", ""},
          {"CLAUDE_CONFIG_DIR", "/etc/claude"},
          {"TWINLANTERN_MANAGED_VARS", "CODEX_HOME"}},
         {{"env.CLAUDE_CONFIG_DIR", Level::warning, "You export CLAUDE_CONFIG_DIR yourself",
           "CLAUDE_CONFIG_DIR=/etc/claude. TwinLantern leaves it alone, so folder rules won't "
           "change it.",
           "Remove the `export CLAUDE_CONFIG_DIR=…` line from your shell file if you want "
           "TwinLantern to choose."},
          {"env.CODEX_HOME",
           Level::info,
           "CODEX_HOME was set by TwinLantern",
           "Profile ? is active in this shell.",
           {}}}},
    };
    for (const auto& c : cases) {
        s.env = c.env;
        s.env["HOME"] = home;
        std::vector<DoctorCheck> env;
        for (const auto& check : s.run()) {
            if (check.id.starts_with("env.")) {
                env.push_back(check);
            }
        }
        EXPECT_EQ(env, c.expected) << ::testing::PrintToString(c.env);
    }
}

TEST(DoctorEnvironment, LoginOverridingVariablesAreReportedWithoutTheirValues) {
    DoctorSetup s;
    s.env["CODEX_API_KEY"] = "sk-codex-secret";
    s.env["ANTHROPIC_API_KEY"] = "";
    s.env["OPENAI_API_KEY"] = "sk-openai-secret";
    s.env["CLAUDE_CODE_OAUTH_TOKEN"] = "oauth-secret";
    s.env["ANTHROPIC_AUTH_TOKEN"] = "auth-secret";
    std::vector<DoctorCheck> env;
    for (const auto& check : s.run()) {
        if (check.id.starts_with("env.")) {
            env.push_back(check);
        }
        for (const auto& text : {check.title, check.detail.value_or(""), check.fix.value_or("")}) {
            EXPECT_EQ(text.find("secret"), std::string::npos) << text;
        }
    }
    EXPECT_EQ(ids(env),
              (std::vector<std::string>{"env.CLAUDE_CODE_OAUTH_TOKEN", "env.ANTHROPIC_API_KEY",
                                        "env.ANTHROPIC_AUTH_TOKEN", "env.OPENAI_API_KEY",
                                        "env.CODEX_API_KEY"}));
    EXPECT_EQ(env[1],
              (DoctorCheck{"env.ANTHROPIC_API_KEY", Level::warning,
                           "ANTHROPIC_API_KEY is set in your environment",
                           "It overrides profile logins, so usage goes to whatever account "
                           "that key belongs to.",
                           "Remove `export ANTHROPIC_API_KEY=…` from your shell file unless "
                           "you mean to use it everywhere."}));
}

TEST(DoctorConflicts, OtherSwitchersOnPathAndInApplicationsAreListed) {
    DoctorSetup s;
    EXPECT_EQ(only(s.run(), "conflicts"),
              (DoctorCheck{"conflicts", Level::ok, "No other account switchers found", {}, {}}));

    TempDir systemApps;
    s.h.paths.applicationsDirectory = systemApps.path();
    const std::string local = s.home() + "/usr/local/bin";
    s.fakeTool(local, "ccswitch");
    s.fakeTool(s.bin, "codex-switch");
    s.fakeTool(s.bin, "claude-swapper"); // not one of the names
    s.env["PATH"] = local + ":" + s.bin;
    makeDirs(s.home() + "/Applications/Claude Switcher.app");
    makeDirs(s.home() + "/Applications/Claude.app");
    writeFile(s.home() + "/Applications/Claude Switcher.zip", "");
    makeDirs(systemApps / "MULTI INSTANCE FOR CLAUDE.app");
    EXPECT_EQ(
        only(s.run(), "conflicts"),
        (DoctorCheck{"conflicts", Level::warning, "Other account-switching tools are installed",
                     "~/usr/local/bin/ccswitch, ~/bin/codex-switch, " + systemApps.path() +
                         "/MULTI INSTANCE FOR CLAUDE.app, ~/Applications/Claude Switcher.app",
                     "Use one switcher at a time. Uninstall the others, or stop using them "
                     "for Claude and Codex."}));

    s.env.erase("PATH"); // no PATH finds no command, unlike the binary checks
    EXPECT_EQ(only(s.run(), "conflicts").detail, systemApps.path() +
                                                     "/MULTI INSTANCE FOR CLAUDE.app, "
                                                     "~/Applications/Claude Switcher.app");
}

TEST(DoctorAliases, ActiveDefinitionsAreFoundAndCommentedOnesSkipped) {
    DoctorSetup s;
    EXPECT_TRUE(all(s.run(), "aliases").empty());
    writeFile(s.home() + "/.zshrc", "export X=1\n"
                                    "  alias claude='claude --fast'\n"
                                    "# alias codex=foo\n"
                                    "  #  claude() { :; }\n"
                                    "alias claude-code=x\n"
                                    "claude-code() { :; }\n"
                                    "\tfunction codex {\n");
    writeFile(s.home() + "/.zprofile", "function claude() {\n");
    writeFile(s.home() + "/.zshenv", "");
    writeFile(s.home() + "/.bashrc", "alias claude=x\n\xff\xfe\n");
    writeFile(s.home() + "/.bash_profile", "alias claude=x\r\n");
    writeFile(s.home() + "/.profile", "\n\ncodex () { :; }");
    writeFile(s.home() + "/zdot/.zshrc", "alias codex=x\n");
    s.env["ZDOTDIR"] = s.home() + "/zdot";
    EXPECT_EQ(
        only(s.run(), "aliases"),
        (DoctorCheck{"aliases", Level::warning, "A shell alias or function bypasses TwinLantern",
                     "~/.zshrc:2 (claude), ~/.zshrc:7 (codex), ~/.zprofile:1 (claude), "
                     "~/.bash_profile:1 (claude), ~/.profile:3 (codex)",
                     "Remove or rename the alias so `claude` and `codex` reach the "
                     "TwinLantern shim."}));
}

TEST(DoctorFixes, EveryCommandInAFixIsValidShell) {
    DoctorSetup s;
    s.addEveryCheck();
    s.writeProfiles(profilesJson({{"work", "Work", {"claude-code", "codex", "claude-desktop"}}},
                                 {{"~/gone/**", "work"}, {"~/it's $HOME", "work"}}));
    TempDir scratch;
    if (auto locked = unwritableFolder(scratch)) {
        link(*locked, s.h.paths.dataDirectory(ToolKind::codex, ProfileID("work")).value());
    }
    writeFile(s.h.paths.dataDirectory(ToolKind::claudeCode, ProfileID("work")).value() + "/answer",
              "?");
    std::set<std::string> checked;
    for (const auto& check : s.run(true)) {
        for (const std::string& command : backquoted(check.fix.value_or(""))) {
            checked.insert(check.id);
            auto run = runShell({"-n", "-c", command}, {{"PATH", "/usr/bin:/bin"}});
            EXPECT_EQ(run.exitCode, 0) << check.id << ": " << command << "\n" << run.out << run.err;
        }
    }
    std::set<std::string> expected{"shim.claude-code", "env.CODEX_HOME", "env.ANTHROPIC_API_KEY",
                                   "rule.missing",     "shell.block",    "aliases"};
    if (unwritableFolder(scratch)) {
        expected.insert("datadirs");
    }
    EXPECT_TRUE(std::includes(checked.begin(), checked.end(), expected.begin(), expected.end()))
        << ::testing::PrintToString(checked);
}

TEST_F(DoctorLockedFolder, QuotedPathsInFixesReachTheCommandAsMeant) {
    s.writeProfiles(profilesJson({{"work", "Work", {"codex"}}},
                                 {{"~/gone/**", "work"}, {"~/it's $HOME", "work"}}));
    link(*locked, s.h.paths.dataDirectory(ToolKind::codex, ProfileID("work")).value());
    const auto checks = s.run();

    // Fake sudo and twinlantern that print their arguments, one a line.
    const std::string fakes = scratch / "fakes";
    for (const char* name : {"sudo", "twinlantern"}) {
        writeFile(fakes + "/" + name, "#!/bin/sh\nprintf '%s\\n' \"$@\"\n", 0755);
    }
    const Environment env{{"PATH", fakes + ":/usr/bin:/bin"}, {"HOME", s.home()}, {"USER", "ann"}};
    auto arguments = [&](const std::optional<std::string>& fix) {
        auto commands = backquoted(fix.value_or(""));
        return commands.size() == 1 ? runShell({"-c", commands[0]}, env).out : "";
    };
    EXPECT_EQ(arguments(only(checks, "datadirs").fix),
              "chown\n-R\nann\n" + s.h.paths.supportDirectory() + "\n");
    const auto rules = all(checks, "rule.missing");
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(arguments(rules[0].fix), "rule\nremove\n~/gone/**\n");
    EXPECT_EQ(arguments(rules[1].fix), "rule\nremove\n~/it's $HOME\n");
}

TEST(DoctorHostileFiles, ShellFilesAreSkippedAndTheProfilesFileReportedAtOnce) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        DoctorSetup s;
        const std::string alias = "alias claude=x\n";
        for (const char* file :
             {".zshrc", ".zprofile", ".zshenv", ".bashrc", ".bash_profile", ".profile"}) {
            makeHostile(c.kind, s.home() + "/" + file, ShellIntegration::maxFileBytes, alias);
        }
        makeDirs(s.h.paths.supportDirectory());
        const std::string profiles = s.h.paths.profilesFile();
        makeHostile(c.kind, profiles, ProfileStore::maxFileBytes, "{}");
        const FolderSnapshot before = snapshot(s.home() + "/.zshrc");
        const FolderSnapshot profilesBefore = snapshot(profiles);

        const auto started = std::chrono::steady_clock::now();
        const std::vector<DoctorCheck> checks = s.run();
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_TRUE(all(checks, "aliases").empty());
        const DoctorCheck check = only(checks, "profiles");
        EXPECT_EQ(check.level, Level::failure);
        EXPECT_TRUE(check.detail && check.detail->starts_with("Couldn't read " + profiles + ": "))
            << check.detail.value_or("");
        EXPECT_EQ(snapshot(s.home() + "/.zshrc"), before);
        EXPECT_EQ(snapshot(profiles), profilesBefore);
    }
}
