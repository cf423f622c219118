#include "TwinLanternMac/signin/SignInLauncher.h"
#include "core/base/ShellQuote.h"

#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"
#include "platform/Workspace.h"
#include "tests/support/FakeTools.h"
#include "tests/support/OtherUser.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/XvfbServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <iostream>
#include <thread>

namespace twinlantern {
namespace {

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
        const std::unique_ptr<platform::Workspace> workspace =
            platform::makeWorkspace(home.paths, environment);
        return SignInLauncher::openTerminal(*workspace, cmd, title, searchPath, scratch);
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
    const std::string shown = "O'Brien $(touch pwned) \"x\" `id` \\x0Aline %s \\ \\x1B[31mred\\x7F";
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

TEST_F(SignInLauncherTest, InertTitleEscapesControlsAndBrokenBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    for (const Case& c : {Case{"plain Work", "plain Work"},
                          Case{std::string("a\tb\rc\0d", 7), "a\\x09b\\x0Dc\\x00d"},
                          Case{"\xC2\x9B"
                               "31m",
                               "\\u009B31m"},
                          Case{"\xC2\x85", "\\u0085"}, Case{"\xC2\xA0ü—😀", "\xC2\xA0ü—😀"},
                          Case{"\xFF\xC2", "\\xFF\\xC2"}}) {
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

// Where the scripts go: never a path a terminal would split or expand, never a folder
// someone else could reach.
TEST_F(SignInLauncherTest, ScriptFolderIsOneNoTerminalSplits) {
    const std::string runtime = home.home() + "/run";
    const std::string spaced = home.home() + "/run time";
    const std::string open = home.home() + "/open";
    const std::string temporary = home.home() + "/tmp";
    for (const std::string& folder : {runtime, spaced, open, temporary}) {
        tltest::makeDirs(folder);
        ASSERT_EQ(::chmod(folder.c_str(), folder == open ? 0755 : 0700), 0);
    }
    const std::string cache = home.home() + "/.cache/twinlantern/sign-in";
    struct Case {
        Environment environment;
        std::string folder;
    };
    const Case cases[] = {
        {{{"XDG_RUNTIME_DIR", runtime}}, runtime + "/twinlantern-sign-in"},
        {{{"XDG_RUNTIME_DIR", spaced}}, cache},
        {{{"XDG_RUNTIME_DIR", open}}, cache},
        {{{"XDG_RUNTIME_DIR", "run"}}, cache},
        {{{"XDG_CACHE_HOME", home.home() + "/c"}}, home.home() + "/c/twinlantern/sign-in"},
        {{{"XDG_CACHE_HOME", "relative"}}, cache},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SignInLauncher::scriptDirectory(c.environment, home.home()), c.folder)
            << c.folder;
    }
    // A link planted where the runtime folder's own folder goes is not followed.
    ASSERT_EQ(::symlink(open.c_str(), (runtime + "/twinlantern-sign-in").c_str()), 0);
    EXPECT_EQ(SignInLauncher::scriptDirectory({{"XDG_RUNTIME_DIR", runtime}}, home.home()), cache);

    // A home with a space: a new private folder in the temporary folder.
    const std::string spacedHome = home.home() + "/John Smith";
    for (const std::string& tmpdir : {temporary, spaced}) {
        const std::string folder = SignInLauncher::scriptDirectory(
            {{"XDG_RUNTIME_DIR", spaced}, {"TMPDIR", tmpdir}}, spacedHome);
        EXPECT_TRUE(SignInLauncher::isPlainPath(folder)) << folder;
        EXPECT_EQ(PathUtil::parent(folder), tmpdir == temporary ? temporary : "/tmp");
        EXPECT_THAT(folder, ::testing::HasSubstr("/twinlantern-sign-in-"));
        EXPECT_EQ(tltest::fileMode(folder), 0700u);
        tltest::removeTree(folder);
    }
}

TEST_F(SignInLauncherTest, AnotherUsersRuntimeFolderIsNotUsed) {
    tltest::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    const std::string runtime = home.home() + "/run";
    tltest::makeDirs(runtime);
    ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
    other.give(runtime);
    EXPECT_EQ(SignInLauncher::scriptDirectory({{"XDG_RUNTIME_DIR", runtime}}, home.home()),
              home.home() + "/.cache/twinlantern/sign-in");
}

// Debian's x-terminal-emulator choices, each started as the alternatives link starts it,
// for a user whose home (and so support folder) has spaces: the script runs, the tool
// signs in and the script is gone.
TEST_F(SignInLauncherTest, EveryDebianTerminalRunsTheScript) {
    tltest::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    const std::string spacedHome = home.home() + "/John Smith";
    const std::string runtime = home.home() + "/run";
    tltest::makeDirs(spacedHome + "/Library/Application Support/TwinLantern");
    tltest::makeDirs(runtime);
    ASSERT_EQ(::chmod(runtime.c_str(), 0700), 0);
    struct Terminal {
        std::string program;
        bool needsSessionBus; // it is a D-Bus service, as on any desktop
    };
    const Terminal debian[] = {
        {"/usr/bin/xterm", false},
        {"/usr/bin/xfce4-terminal.wrapper", false},
        {"/usr/bin/gnome-terminal.wrapper", true},
        {"/usr/bin/konsole", false},
    };
    std::vector<std::string> missing;
    int n = 0;
    for (const Terminal& terminal : debian) {
        if (!PathUtil::isExecutableFile(terminal.program)) {
            missing.push_back(terminal.program);
            continue;
        }
        for (const bool withRuntime : {true, false}) {
            SCOPED_TRACE(terminal.program + (withRuntime ? " with" : " without") +
                         " a runtime folder");
            const std::string bin = home.home() + "/alternatives-" + std::to_string(++n);
            tltest::makeDirs(bin);
            if (terminal.needsSessionBus) {
                tltest::writeFile(bin + "/x-terminal-emulator",
                                  "#!/bin/sh\nexec /usr/bin/dbus-run-session -- " +
                                      terminal.program + " \"$@\"\n",
                                  0755);
            } else {
                ASSERT_EQ(
                    ::symlink(terminal.program.c_str(), (bin + "/x-terminal-emulator").c_str()), 0);
            }
            Environment env{{"HOME", spacedHome},
                            {"PATH", bin + ":/usr/bin:/bin"},
                            {"DISPLAY", server.display()},
                            {"LANG", "C.UTF-8"}};
            if (withRuntime) {
                env["XDG_RUNTIME_DIR"] = runtime;
            }
            const std::string own = tools + "/" + std::to_string(n);
            tltest::makeDirs(own);
            tltest::FakeTool tool(own, "claude");
            tool.answer("signed in\n");
            const std::unique_ptr<platform::Workspace> workspace =
                platform::makeWorkspace(home.paths, env);
            const std::string folder = SignInLauncher::scriptDirectory(env, spacedHome);
            const std::string script = SignInLauncher::openTerminal(
                *workspace, command(tool), "Claude Code — Work", "/usr/bin:/bin", folder);
            bool done = false;
            for (int i = 0; i < 6000 && !done; ++i) {
                done = !tool.calls().empty() && !tltest::exists(script);
                if (!done) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            }
            EXPECT_TRUE(done) << script;
            EXPECT_EQ(tool.calls(), std::vector<std::string>{"auth login"});
            if (!withRuntime) {
                tltest::removeTree(folder); // a new one in /tmp
            }
        }
    }
    if (!missing.empty()) {
        std::cout << "not installed here, not tried: " << text::joined(missing, ", ") << "\n";
    }
}

} // namespace
} // namespace twinlantern
