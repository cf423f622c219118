#include "TwinLanternMac/services/LoginShellEnvironment.h"

#include "core/base/UniqueFd.h"
#include "tests/support/FakeTools.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

using namespace twinlantern;
namespace shell = twinlantern::LoginShellEnvironment;

namespace {

const std::string fallbacksOfU = "/Users/u/.local/bin:/opt/homebrew/bin:/usr/local/bin:"
                                 "/Users/u/.npm-global/bin:/Users/u/.volta/bin:/Users/u/.bun/bin:"
                                 "/usr/bin:/bin:/usr/sbin:/sbin";

TEST(LoginShellEnvironment, MergedKeepsTheCapturedPiecesAndAddsTheMissingFallbacks) {
    struct Case {
        std::optional<std::string> captured;
        std::string expected;
    };
    const Case cases[] = {
        {"/a:/b", "/a:/b:" + fallbacksOfU},
        {"/usr/bin::/opt/homebrew/bin:/usr/bin",
         "/usr/bin:/opt/homebrew/bin:/usr/bin:/Users/u/.local/bin:/usr/local/bin:"
         "/Users/u/.npm-global/bin:/Users/u/.volta/bin:/Users/u/.bun/bin:/bin:/usr/sbin:/sbin"},
        {std::nullopt, fallbacksOfU},
        {"", fallbacksOfU},
        {":::", fallbacksOfU},
        // Equal means equal: a trailing slash or another case is another folder.
        {"/usr/bin/:/BIN", "/usr/bin/:/BIN:" + fallbacksOfU},
        {"/sbin:/x y:/Users/u/.bun/bin:",
         "/sbin:/x y:/Users/u/.bun/bin:/Users/u/.local/bin:/opt/homebrew/bin:/usr/local/bin:"
         "/Users/u/.npm-global/bin:/Users/u/.volta/bin:/usr/bin:/bin:/usr/sbin"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.captured.value_or("(nothing)"));
        EXPECT_EQ(shell::merged(c.captured, "/Users/u"), c.expected);
    }
}

TEST(LoginShellEnvironment, CapturedIsExactlyTheTextBetweenTheFirstTwoMarkers) {
    const std::string m(shell::marker);
    struct Case {
        std::string output;
        std::optional<std::string> expected;
    };
    const Case cases[] = {
        {"noise" + m + "/a:/b" + m, "/a:/b"},
        {"before\n" + m + " /a b \n" + m + "after" + m + "/c" + m, " /a b \n"},
        {m + "/only-one-marker", std::nullopt},
        {m + m, std::nullopt},
        {"no markers", std::nullopt},
        {"", std::nullopt},
        {"__TWINLANTERN_PATH_/a" + m, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.output);
        EXPECT_EQ(shell::captured(c.output), c.expected);
    }
}

// A home with start-up files for both shells: each adds its own folder (with a space)
// and prints noise before and after the command.
class RealShells : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* program : {"/bin/zsh", "/bin/bash"}) {
            if (::access(program, X_OK) != 0) {
                GTEST_SKIP() << program << " is missing (scripts/install-deps installs it)";
            }
        }
        home.writeFile(".zshenv", "echo zshenv noise\n");
        home.writeFile(".zprofile", "path=(\"/opt/x y/zsh\" $path)\necho zprofile noise\n");
        home.writeFile(".zshrc", "printf 'zshrc noise'\n");
        home.writeFile(".zlogout", "echo zlogout noise\n");
        home.writeFile(".bash_profile", "PATH=\"/opt/x y/bash:$PATH\"\necho profile noise\n"
                                        "trap 'echo exit noise' EXIT\n");
    }

    struct Home {
        tltest::TempDir dir;
        void writeFile(const std::string& name, std::string_view text) const {
            tltest::writeFile(dir / name, text);
        }
        const std::string& path() const { return dir.path(); }
    } home;
};

TEST_F(RealShells, EachShellsStartUpFilesShapeThePath) {
    struct Case {
        const char* what;
        Environment environment;
        std::string added;
    };
    const Case cases[] = {
        {"zsh", {{"SHELL", "/bin/zsh"}, {"USER", "u"}}, "/opt/x y/zsh"},
        {"bash", {{"SHELL", "/bin/bash"}}, "/opt/x y/bash"},
        {"SHELL not absolute", {{"SHELL", "bash"}}, "/opt/x y/zsh"},
        {"SHELL absent", {}, "/opt/x y/zsh"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = shell::path(c.environment, home.path(), 10);
        EXPECT_EQ(path.rfind(c.added + ":", 0), 0u) << path;
        EXPECT_EQ(path.find("noise"), std::string::npos) << path;
        EXPECT_NE(path.find(":" + home.path() + "/.local/bin"), std::string::npos) << path;
    }
}

TEST(LoginShellEnvironment, TheShellGetsExactlyFiveVariablesAndTheCommand) {
    tltest::TempDir bin;
    tltest::FakeTool fakeShell(bin.path(), "shell");
    fakeShell.answer("__TWINLANTERN_PATH__/from/fake__TWINLANTERN_PATH__");
    const Environment environment{{"SHELL", fakeShell.path()}, {"USER", "alice"},
                                  {"PATH", "/somewhere"},      {"DISPLAY", ":0"},
                                  {"HOME", "/elsewhere"},      {"SECRET_TOKEN", "t"}};
    EXPECT_EQ(shell::path(environment, "/Users/u", 10), "/from/fake:" + fallbacksOfU);
    auto received = fakeShell.received();
    ASSERT_TRUE(received);
    EXPECT_EQ(received->argv,
              (std::vector<std::string>{
                  fakeShell.path(), "-l", "-i", "-c",
                  "printf '__TWINLANTERN_PATH__%s__TWINLANTERN_PATH__' \"$PATH\""}));
    EXPECT_EQ(shell::command.size(), 59u);
    EXPECT_EQ(received->env, (Environment{{"HOME", "/Users/u"},
                                          {"USER", "alice"},
                                          {"SHELL", fakeShell.path()},
                                          {"TERM", "dumb"},
                                          {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"}}));
    // No USER: an empty one.
    shell::path({{"SHELL", fakeShell.path()}}, "/Users/u", 10);
    EXPECT_EQ(fakeShell.lastEnvironment().at("USER"), "");
}

class FakeShells : public ::testing::Test {
protected:
    std::string shellPrinting(const std::string& script) {
        const std::string path = bin / "shell";
        tltest::writeFile(path, "#!/bin/sh\n" + script, 0755);
        return path;
    }
    std::string run(const std::string& shellPath, double timeout = 10) {
        return shell::path({{"SHELL", shellPath}}, "/Users/u", timeout);
    }
    tltest::TempDir bin;
};

TEST_F(FakeShells, WhatTheShellPrintsDecides) {
    struct Case {
        const char* what;
        std::string script;
        std::string expected;
    };
    const Case cases[] = {
        {"one marker", "printf 'noise__TWINLANTERN_PATH__/a:/b'\n", fallbacksOfU},
        {"nothing between the markers", "printf '__TWINLANTERN_PATH____TWINLANTERN_PATH__'\n",
         fallbacksOfU},
        {"nothing at all", "exit 0\n", fallbacksOfU},
        {"non-zero exit after the markers",
         "printf '__TWINLANTERN_PATH__/a:/b__TWINLANTERN_PATH__'\nexit 3\n",
         "/a:/b:" + fallbacksOfU},
        {"markers on standard error", "printf '__TWINLANTERN_PATH__/a__TWINLANTERN_PATH__' >&2\n",
         fallbacksOfU},
        {"3 MB of noise first",
         "head -c 3145728 /dev/zero | tr '\\0' n\nprintf "
         "'__TWINLANTERN_PATH__/a__TWINLANTERN_PATH__'\n",
         "/a:" + fallbacksOfU},
        // Past what the runner keeps of a stream: the markers are dropped with the rest.
        {"10 MB of noise first",
         "head -c 10485760 /dev/zero | tr '\\0' n\nprintf "
         "'__TWINLANTERN_PATH__/a__TWINLANTERN_PATH__'\n",
         fallbacksOfU},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(run(shellPrinting(c.script)), c.expected);
    }
}

TEST_F(FakeShells, AShellThatCannotStartGivesTheFallbacks) {
    EXPECT_EQ(run(bin / "missing"), fallbacksOfU);
    EXPECT_EQ(run(bin.path()), fallbacksOfU); // a folder
    tltest::writeFile(bin / "not-executable", "#!/bin/sh\n", 0644);
    EXPECT_EQ(run(bin / "not-executable"), fallbacksOfU);
}

TEST_F(FakeShells, AHangingShellIsCutOffAtTheTimeout) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run(shellPrinting(
                      "trap '' TERM\nprintf '__TWINLANTERN_PATH__/a'\nwhile :; do sleep 1; done\n"),
                  1),
              fallbacksOfU);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

// The processes of a session, by the session's id; zombies don't count.
std::vector<pid_t> livingMembersOfSession(pid_t session) {
    std::vector<pid_t> members;
    for (const auto& entry : tltest::folderEntries("/proc")) {
        if (entry.find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        std::ifstream in("/proc/" + entry + "/stat");
        std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto close = stat.rfind(')');
        if (close == std::string::npos) {
            continue;
        }
        std::istringstream fields(stat.substr(close + 2));
        char state = 0;
        pid_t parent = 0, group = 0, sid = 0;
        fields >> state >> parent >> group >> sid;
        if (sid == session && state != 'Z') {
            members.push_back(std::stoi(entry));
        }
    }
    return members;
}

// Killed members take a moment to go.
std::vector<pid_t> survivorsOfSession(pid_t session) {
    const auto deadline = std::chrono::steady_clock::now() + tltest::patience;
    auto members = livingMembersOfSession(session);
    while (!members.empty() && std::chrono::steady_clock::now() < deadline) {
        ::usleep(5000);
        members = livingMembersOfSession(session);
    }
    return members;
}

class HangingZsh : public RealShells {
protected:
    void SetUp() override {
        RealShells::SetUp();
        if (IsSkipped()) {
            return;
        }
        // The shell notes itself, starts a job that shrugs off SIGTERM, then hangs.
        home.writeFile(".zshrc", "echo $$ > \"$HOME/zsh.pid\"\n"
                                 "( trap '' TERM; while :; do /bin/sleep 1; done ) &\n"
                                 "while :; do /bin/sleep 1; done\n");
    }
    pid_t zshPid() const {
        std::ifstream in(home.dir / "zsh.pid");
        pid_t pid = 0;
        in >> pid;
        return pid;
    }
};

TEST_F(HangingZsh, ReturnsInTimeAndLeavesNothingOfItsTreeBehind) {
    const auto start = std::chrono::steady_clock::now();
    const std::string path = shell::path({{"SHELL", "/bin/zsh"}}, home.path(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_EQ(path, shell::merged(std::nullopt, home.path()));
    const pid_t zsh = zshPid();
    ASSERT_GT(zsh, 0);
    EXPECT_EQ(survivorsOfSession(zsh), std::vector<pid_t>{});
}

TEST_F(HangingZsh, LeavesTheCallersTerminalToTheCaller) {
    // The caller runs in a session whose controlling terminal is a pty.
    UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    ASSERT_TRUE(master);
    ASSERT_EQ(::grantpt(master.get()), 0);
    ASSERT_EQ(::unlockpt(master.get()), 0);
    const std::string slaveName = ::ptsname(master.get());
    int report[2];
    ASSERT_EQ(::pipe2(report, O_CLOEXEC), 0);
    UniqueFd reportRead(report[0]), reportWrite(report[1]);

    const pid_t caller = ::fork();
    ASSERT_GE(caller, 0);
    if (caller == 0) {
        ::alarm(20);
        if (::setsid() < 0) {
            ::_exit(10);
        }
        const int slave = ::open(slaveName.c_str(), O_RDWR); // becomes the terminal
        if (slave < 0 || ::ioctl(slave, TIOCSCTTY, 0) != 0 || ::tcgetpgrp(slave) != ::getpgrp()) {
            ::_exit(11);
        }
        shell::path({{"SHELL", "/bin/zsh"}}, home.path(), 1);
        const pid_t foreground = ::tcgetpgrp(slave);
        [[maybe_unused]] auto written = ::write(reportWrite.get(), &foreground, sizeof foreground);
        ::_exit(foreground == ::getpgrp() ? 0 : 12);
    }
    reportWrite.reset();
    pid_t foreground = 0;
    [[maybe_unused]] auto got = ::read(reportRead.get(), &foreground, sizeof foreground);
    int status = 0;
    ASSERT_EQ(::waitpid(caller, &status, 0), caller);
    ASSERT_TRUE(WIFEXITED(status)) << status;
    EXPECT_EQ(WEXITSTATUS(status), 0)
        << "the terminal's foreground group is now " << foreground << ", the caller's " << caller;
    const pid_t zsh = zshPid();
    ASSERT_GT(zsh, 0);
    EXPECT_EQ(survivorsOfSession(zsh), std::vector<pid_t>{});
}

} // namespace
