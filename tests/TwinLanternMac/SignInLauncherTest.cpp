#include "TwinLanternMac/SignInLauncher.h"
#include "core/shell/ShellQuote.h"

#include "core/base/TwinLanternError.h"
#include "platform/linux/LinuxWorkspace.h"
#include "tests/support/FakeTools.h"
#include "tests/support/TestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace twinlantern {
namespace {

using platform::LinuxWorkspace;

constexpr std::string_view fffd = "\xEF\xBF\xBD";

// A terminal that records its argv, the script's mode and text, then runs the script
// from its record folder (by its shebang, or by sh when "use-sh" is there).
void writeFakeTerminal(const std::string& path, const std::string& records) {
    tltest::makeDirs(records);
    tltest::writeFile(path,
                      "#!/bin/sh\n"
                      "d='" +
                          records +
                          "'\n"
                          "printf '%s\\n' \"$@\" > \"$d/argv\"\n"
                          "stat -c %a \"$2\" > \"$d/mode\"\n"
                          "cp \"$2\" \"$d/script\"\n"
                          "cd \"$d\"\n"
                          "if [ -f use-sh ]; then sh \"$2\" > out 2>/dev/null; "
                          "else \"$2\" > out 2>/dev/null; fi\n"
                          "echo $? > done\n",
                      0755);
}

bool waitFor(const std::string& path) {
    return tltest::eventually([&] { return tltest::exists(path); });
}

class SignInLauncherTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string terminals = home.home() + "/terminals";
    std::string records = home.home() + "/records";
    std::string tools = home.home() + "/tools";
    std::string scratch = home.home() + "/support/tmp";
    Environment environment{{"HOME", home.home()}, {"PATH", terminals + ":/usr/bin:/bin"}};

    void SetUp() override {
        tltest::makeDirs(terminals);
        tltest::makeDirs(tools);
        writeFakeTerminal(terminals + "/x-terminal-emulator", records);
    }

    SignInCommand command(const tltest::FakeTool& tool) const {
        return {tool.path(),
                {"auth", "login"},
                {{"CLAUDE_CONFIG_DIR", home.home() + "/c d"}},
                {"ANTHROPIC_API_KEY"}};
    }

    std::string open(const SignInCommand& cmd, std::string_view title = "Claude Code — Work",
                     std::string_view searchPath = "/usr/bin:/bin") {
        LinuxWorkspace workspace(home.paths, environment);
        return SignInLauncher::openTerminal(workspace, cmd, title, searchPath, scratch);
    }

    std::string failure(const SignInCommand& cmd) {
        try {
            open(cmd);
        } catch (const TwinLanternError& e) {
            return e.what();
        }
        return "no error";
    }
};

TEST_F(SignInLauncherTest, ScriptIsTheTwelveLinesAndReportsTheExitStatus) {
    struct Case {
        int exitCode;
        std::string lastLine;
    };
    for (const Case& c :
         {Case{0, "Done. You can close this window."},
          Case{3, "Sign-in didn't finish (exit 3). Close this window and try again from "
                  "TwinLantern."}}) {
        SCOPED_TRACE(c.exitCode);
        tltest::removeTree(records);
        tltest::makeDirs(records);
        const std::string own = tools + "/" + std::to_string(c.exitCode);
        tltest::makeDirs(own);
        tltest::FakeTool tool(own, "claude");
        tool.answer("signed in\n", "", c.exitCode);
        const std::string path = open(command(tool));

        const std::string name = path.substr(scratch.size() + 1);
        EXPECT_THAT(name, ::testing::MatchesRegex("sign-in-[0-9A-F]{8}\\.command"));
        ASSERT_TRUE(waitFor(records + "/done"));
        EXPECT_EQ(tltest::readFile(records + "/argv"), "-e\n" + path + "\n");
        EXPECT_EQ(tltest::readFile(records + "/mode"), "700\n");
        const std::string expected =
            "#!/bin/zsh\n"
            "# Opened by TwinLantern. Safe to close once you're signed in.\n"
            "export PATH=/usr/bin:/bin\n"
            "clear\n"
            "printf '\\033[1m%s\\033[0m\\n' 'Claude Code — Work'\n"
            "echo \"Follow the steps below. TwinLantern notices when you're signed in.\"\n"
            "echo\n"
            "env -u ANTHROPIC_API_KEY CLAUDE_CONFIG_DIR=" +
            ShellQuote::quote(home.home() + "/c d") + " " + ShellQuote::quote(tool.path()) +
            " auth login\n"
            "rc=$?\n"
            "echo\n"
            "if [ $rc -eq 0 ]; then echo \"Done. You can close this window.\"; else echo "
            "\"Sign-in didn't finish (exit $rc). Close this window and try again from "
            "TwinLantern.\"; fi\n"
            "rm -f -- \"$0\"\n";
        EXPECT_EQ(tltest::readFile(records + "/script"), expected);
        const auto out = tltest::lines(tltest::readFile(records + "/out"));
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), c.lastLine);
        EXPECT_EQ(tool.calls(), std::vector<std::string>{"auth login"});
        EXPECT_EQ(tool.lastEnvironment().at("CLAUDE_CONFIG_DIR"), home.home() + "/c d");
        EXPECT_FALSE(tltest::exists(path));
    }
}

TEST_F(SignInLauncherTest, HostileTitleAndPathStayInertUnderZshAndSh) {
    const std::string title = "O'Brien $(touch pwned) \"x\" `id` \nline %s \\ \x1b[31mred\x7f";
    const std::string searchPath = "$HOME/with space/bin:" + tools + ":/usr/bin:/bin";
    const std::string shown = "O'Brien $(touch pwned) \"x\" `id` " + std::string(fffd) +
                              "line %s \\ " + std::string(fffd) + "[31mred" + std::string(fffd);
    for (const bool bySh : {false, true}) {
        SCOPED_TRACE(bySh ? "sh" : "zsh");
        tltest::removeTree(records);
        tltest::makeDirs(records);
        if (bySh) {
            tltest::writeFile(records + "/use-sh", "");
        }
        tltest::FakeTool tool(tools, "codex");
        tool.answer("");
        open(command(tool), title, searchPath);
        ASSERT_TRUE(waitFor(records + "/done"));
        const std::string out = tltest::readFile(records + "/out");
        EXPECT_THAT(out, ::testing::StartsWith("\x1b[1m" + shown + "\x1b[0m\n"));
        EXPECT_EQ(tool.lastEnvironment().at("PATH"), searchPath);
        EXPECT_EQ(tltest::folderEntries(records),
                  (bySh
                       ? std::vector<std::string>{"argv", "done", "mode", "out", "script", "use-sh"}
                       : std::vector<std::string>{"argv", "done", "mode", "out", "script"}));
    }
}

TEST_F(SignInLauncherTest, InertTitleReplacesControlsAndBrokenBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const std::string r(fffd);
    for (const Case& c :
         {Case{"plain Work", "plain Work"},
          Case{std::string("a\tb\rc\0d", 7), "a" + r + "b" + r + "c" + r + "d"},
          Case{"\xC2\x9B"
               "31m",
               r + "31m"},
          Case{"\xC2\x85", r}, Case{"\xC2\xA0ü—😀", "\xC2\xA0ü—😀"}, Case{"\xFF\xC2", r + r}}) {
        EXPECT_EQ(SignInLauncher::inertTitle(c.in), c.out) << c.in;
    }
}

TEST_F(SignInLauncherTest, MissingScratchFolderIsMadePrivateAndAPresentOneKeptAsItIs) {
    tltest::FakeTool tool(tools, "claude");
    tool.answer("");
    scratch = home.home() + "/a/b/tmp";
    const std::string path = open(command(tool));
    EXPECT_EQ(tltest::fileMode(home.home() + "/a"), 0700u);
    EXPECT_EQ(tltest::fileMode(home.home() + "/a/b"), 0700u);
    EXPECT_EQ(tltest::fileMode(scratch), 0700u);
    ASSERT_TRUE(waitFor(records + "/done"));

    scratch = home.home() + "/open";
    tltest::makeDirs(scratch);
    ASSERT_EQ(::chmod(scratch.c_str(), 0755), 0);
    tltest::writeFile(scratch + "/sign-in-00000000.command", "earlier", 0700);
    tltest::removeTree(records);
    writeFakeTerminal(terminals + "/x-terminal-emulator", records);
    open(command(tool));
    ASSERT_TRUE(waitFor(records + "/done"));
    EXPECT_EQ(tltest::fileMode(scratch), 0755u);
    EXPECT_EQ(tltest::folderEntries(scratch), std::vector<std::string>{"sign-in-00000000.command"});
    EXPECT_EQ(tltest::readFile(scratch + "/sign-in-00000000.command"), "earlier");
}

TEST_F(SignInLauncherTest, TerminalVariableNamesOneProgramUnsplit) {
    tltest::FakeTool tool(tools, "claude");
    tool.answer("");
    const std::string mine = home.home() + "/my terms";
    tltest::makeDirs(mine);
    writeFakeTerminal(mine + "/my term -x", records);
    for (const std::string& value : {mine + "/my term -x", std::string("my term -x")}) {
        SCOPED_TRACE(value);
        tltest::removeTree(records);
        writeFakeTerminal(mine + "/my term -x", records);
        environment = {{"TERMINAL", value}, {"PATH", "/nowhere:" + mine + ":/usr/bin:/bin"}};
        open(command(tool));
        ASSERT_TRUE(waitFor(records + "/done"));
    }
}

TEST_F(SignInLauncherTest, NoUsableTerminalFailsAndKeepsTheScript) {
    tltest::FakeTool tool(tools, "claude");
    tool.answer("");
    tltest::writeFile(terminals + "/not-exec", "#!/bin/sh\nexit 0\n", 0644);
    tltest::writeFile(terminals + "/no-shebang", "exit 0\n", 0755);
    const std::vector<Environment> cases{
        {{"PATH", "/nowhere:" + tools}},
        {{"PATH", "/usr/bin:/bin"}, {"TERMINAL", terminals + "/missing"}},
        {{"PATH", terminals}, {"TERMINAL", "not-exec"}},
        {{"PATH", "/usr/bin:/bin"}, {"TERMINAL", terminals + "/not-exec"}},
        {{"PATH", "/usr/bin:/bin"}, {"TERMINAL", terminals + "/no-shebang"}},
        {{"PATH", "/usr/bin:/bin"}, {"TERMINAL", terminals}},
    };
    std::size_t kept = 0;
    for (const auto& env : cases) {
        environment = env;
        EXPECT_EQ(failure(command(tool)), "Couldn't open Terminal for sign-in.");
        EXPECT_EQ(tltest::folderEntries(scratch).size(), ++kept);
    }
    EXPECT_FALSE(tltest::exists(records + "/argv"));
}

TEST_F(SignInLauncherTest, ScratchFolderThatIsAFileIsAClearError) {
    tltest::FakeTool tool(tools, "claude");
    tltest::makeDirs(home.home() + "/support");
    tltest::writeFile(scratch, "a file");
    EXPECT_EQ(failure(command(tool)), "Couldn't create " + scratch + ": " + std::strerror(ENOTDIR));
    EXPECT_EQ(tltest::readFile(scratch), "a file");
    scratch += "/deeper";
    EXPECT_EQ(failure(command(tool)), "Couldn't create " + scratch + ": " + std::strerror(ENOTDIR));
}

} // namespace
} // namespace twinlantern
