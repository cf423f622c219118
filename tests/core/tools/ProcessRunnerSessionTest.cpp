#include "core/tools/ProcessRunner.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

namespace twinlantern {
namespace {

using Clock = std::chrono::steady_clock;

const Environment plainEnvironment{{"PATH", "/usr/bin:/bin"}};

ProcessResult shell(const std::string& script, double timeout, bool ownSession) {
    ProcessOptions options;
    options.ownSession = ownSession;
    return ProcessRunner::runSync("/bin/sh", {"-c", script}, plainEnvironment, timeout, options);
}

struct Stat {
    char state = 0;
    pid_t group = 0;
    pid_t session = 0;
};

// Nothing when the process is gone.
std::optional<Stat> stat(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) {
        return std::nullopt;
    }
    std::istringstream fields(text.substr(close + 2));
    Stat s;
    pid_t parent = 0;
    fields >> s.state >> parent >> s.group >> s.session;
    return s;
}

bool running(pid_t pid) {
    auto s = stat(pid);
    return s && s->state != 'Z' && s->state != 'X';
}

// A SIGKILL takes effect a moment after it is sent; well before the 30 s the sleepers
// here would end by themselves, however busy the machine.
bool goneSoon(pid_t pid) {
    const auto deadline = Clock::now() + std::chrono::seconds(20);
    while (running(pid)) {
        if (Clock::now() > deadline) {
            return false;
        }
        ::usleep(5000);
    }
    return true;
}

// The pids a script printed, one a line.
std::vector<pid_t> pids(const std::string& text) {
    std::vector<pid_t> result;
    std::istringstream in(text);
    for (pid_t pid; in >> pid;) {
        result.push_back(pid);
    }
    return result;
}

TEST(ProcessRunnerSession, TheChildLeadsASessionOfItsOwnOnlyWhenAsked) {
    for (bool own : {false, true}) {
        SCOPED_TRACE(own ? "own session" : "default");
        ProcessResult result =
            shell("read -r line < /proc/$$/stat; echo \"$$ ${line##*) }\"", 10, own);
        std::istringstream fields(result.stdoutText);
        pid_t pid = 0, parent = 0, group = 0, session = 0;
        char state = 0;
        fields >> pid >> state >> parent >> group >> session;
        ASSERT_GT(pid, 0) << result.stdoutText;
        if (own) {
            EXPECT_EQ(group, pid);
            EXPECT_EQ(session, pid);
        } else {
            EXPECT_EQ(session, ::getsid(0));
            EXPECT_EQ(group, ::getpgrp());
        }
    }
}

TEST(ProcessRunnerSession, TheTimeoutReachesTheWholeGroup) {
    // A child and a grandchild that both ignore SIGTERM, the grandchild keeping no pipe.
    const auto start = Clock::now();
    ProcessResult result = shell("trap '' TERM; (trap '' TERM; exec >/dev/null 2>&1; "
                                 "while :; do sleep 1; done) & echo $!; while :; do sleep 1; done",
                                 0.5, true);
    EXPECT_TRUE(result.timedOut);
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(20));
    const auto printed = pids(result.stdoutText);
    ASSERT_EQ(printed.size(), 1u) << result.stdoutText;
    EXPECT_TRUE(goneSoon(printed[0]));
}

TEST(ProcessRunnerSession, WhatTheChildLeavesRunningIsEndedWithIt) {
    ProcessResult result = shell("sleep 30 >/dev/null 2>&1 & echo $!; echo done", 60, true);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.stdoutText.substr(result.stdoutText.find('\n') + 1), "done\n");
    const auto printed = pids(result.stdoutText);
    ASSERT_FALSE(printed.empty());
    EXPECT_TRUE(goneSoon(printed[0]));
}

TEST(ProcessRunnerSession, WithoutTheOptionABackgroundJobIsLeftAlone) {
    ProcessResult result = shell("sleep 30 >/dev/null 2>&1 & echo $!", 10, false);
    const auto printed = pids(result.stdoutText);
    ASSERT_EQ(printed.size(), 1u);
    EXPECT_TRUE(running(printed[0]));
    ::kill(printed[0], SIGKILL);
}

} // namespace
} // namespace twinlantern
