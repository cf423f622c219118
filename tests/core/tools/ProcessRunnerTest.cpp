#include "core/tools/ProcessRunner.h"

#include "core/base/UniqueFd.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

namespace twinlantern {
namespace {

using Clock = std::chrono::steady_clock;

const Environment plainEnvironment{{"PATH", "/usr/bin:/bin"}};

ProcessResult shell(const std::string& script, double timeout = 60) {
    return ProcessRunner::runSync("/bin/sh", {"-c", script}, plainEnvironment, timeout);
}

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool noChildLeft() {
    return ::waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

TEST(ProcessRunner, ProgramThatCannotStartGives127AndTheCause) {
    testing::TempDir dir;
    testing::writeFile(dir / "plain", "#!/bin/sh\necho hi\n", 0644);
    testing::makeDirs(dir / "folder");
    struct Case {
        std::string path;
        int err;
    };
    for (const Case& c : {Case{dir / "missing", ENOENT}, Case{dir / "plain", EACCES},
                          Case{dir / "folder", EACCES}}) {
        ProcessResult result = ProcessRunner::runSync(c.path, {}, plainEnvironment, 5);
        EXPECT_EQ(
            result,
            (ProcessResult{127, "", "Couldn't run " + c.path + ": " + std::strerror(c.err), false}))
            << c.path;
    }
}

TEST(ProcessRunner, CollectsBothStreamsAndTheExitStatus) {
    ProcessResult result = shell("echo out; echo err >&2; exit 3");
    EXPECT_EQ(result, (ProcessResult{3, "out\n", "err\n", false}));
    EXPECT_EQ(result.combinedOutput(), "out\n\nerr\n");
}

TEST(ProcessRunner, StandardInputIsAtEndOfFile) {
    auto start = Clock::now();
    ProcessResult result = shell("cat; read line; echo $?", 60);
    EXPECT_LT(secondsSince(start), 20);
    EXPECT_EQ(result.stdoutText, "1\n");
    EXPECT_FALSE(result.timedOut);
}

TEST(ProcessRunner, SleeperPastTheTimeoutIsTerminated) {
    auto start = Clock::now();
    ProcessResult result = shell("echo before; exec sleep 30", 1);
    double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 0.9);
    EXPECT_LT(elapsed, 20); // not the sleeper's 30 s
    EXPECT_EQ(result, (ProcessResult{SIGTERM, "before\n", "", true}));
}

TEST(ProcessRunner, ChildThatClosesItsPipesStillTimesOut) {
    auto start = Clock::now();
    ProcessResult result = shell("echo early; exec sleep 30 >&- 2>&-", 1);
    EXPECT_LT(secondsSince(start), 20);
    EXPECT_EQ(result, (ProcessResult{SIGTERM, "early\n", "", true}));
}

TEST(ProcessRunner, ChildIgnoringTerminateIsKilledAfterTheGrace) {
    auto start = Clock::now();
    ProcessResult result = shell("trap '' TERM; exec sleep 30", 1);
    double elapsed = secondsSince(start);
    EXPECT_GE(elapsed, 2.9);
    EXPECT_LT(elapsed, 20);
    EXPECT_EQ(result, (ProcessResult{SIGKILL, "", "", true}));
}

TEST(ProcessRunner, DescendantHoldingThePipesDoesNotHoldTheCall) {
    auto start = Clock::now();
    ProcessResult result = shell("sleep 30 & echo $!; exec sleep 30", 1);
    double elapsed = secondsSince(start);
    pid_t descendant = std::atoi(result.stdoutText.c_str());
    if (descendant > 0) {
        ::kill(descendant, SIGKILL);
    }
    EXPECT_LT(elapsed, 20);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.exitCode, SIGTERM);
    EXPECT_GT(descendant, 0);
    EXPECT_TRUE(noChildLeft());
}

TEST(ProcessRunner, MuchOnStandardErrorBeforeAnyOutputDoesNotStall) {
    ProcessResult result = shell("head -c 1048576 /dev/zero | tr '\\0' x >&2; echo done", 30);
    EXPECT_FALSE(result.timedOut);
    EXPECT_EQ(result.stdoutText, "done\n");
    EXPECT_EQ(result.stderrText, std::string(1048576, 'x'));
}

long peakResidentKiB() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

TEST(ProcessRunner, FloodOnBothStreamsIsCutAtTheLimitAndDrainedToTheEnd) {
    const long peakBefore = peakResidentKiB();
    auto start = Clock::now();
    // Each writer must reach its end: one cut off by a closed pipe would die of SIGPIPE
    // and change the exit status.
    ProcessResult result = shell("head -c 100000000 /dev/zero >&2 & e=$!; "
                                 "head -c 100000000 /dev/zero; o=$?; wait $e; exit $((3 + o + $?))",
                                 60);
    EXPECT_LT(secondsSince(start), 20);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_FALSE(result.timedOut);
    EXPECT_TRUE(result.outputCut);
    // Compared as truth values: a failure must not print megabytes.
    EXPECT_TRUE(result.stdoutText == std::string(ProcessRunner::outputLimit, '\0'));
    EXPECT_TRUE(result.stderrText == std::string(ProcessRunner::outputLimit, '\0'));
    // 200 MB were written; only the two kept copies and their decoding may stay.
    EXPECT_LT(peakResidentKiB() - peakBefore, 64 * 1024);
}

TEST(ProcessRunner, OutputUpToTheLimitIsWholeAndTheCutKeepsWholeCharacters) {
    const std::size_t limit = ProcessRunner::outputLimit;
    const std::string fill = "head -c " + std::to_string(limit - 1) + " /dev/zero | tr '\\0' x; ";
    struct Case {
        const char* name;
        std::string script;
        std::string out;
        bool cut;
    };
    const Case cases[] = {
        {"exactly the limit", fill + "printf y", std::string(limit - 1, 'x') + "y", false},
        {"one byte past", fill + "printf yz", std::string(limit - 1, 'x') + "y", true},
        {"a character across the limit", fill + R"(printf '\303\251')", std::string(limit - 1, 'x'),
         true},
        {"a bad byte at the limit", fill + R"(printf '\377\251')",
         std::string(limit - 1, 'x') + "\xEF\xBF\xBD", true},
    };
    for (const Case& c : cases) {
        ProcessResult result = shell("{ " + c.script + "; } >&2; echo out", 30);
        EXPECT_EQ(result.exitCode, 0) << c.name;
        EXPECT_EQ(result.outputCut, c.cut) << c.name;
        EXPECT_TRUE(result.stderrText == c.out)
            << c.name << ": " << result.stderrText.size() << " bytes ending in "
            << result.stderrText.substr(result.stderrText.size() - 3);
        EXPECT_EQ(result.stdoutText, "out\n") << c.name;
    }
}

TEST(ProcessRunner, EndlessFloodStillStopsAtTheTimeout) {
    auto start = Clock::now();
    ProcessResult result = ProcessRunner::runSync("/usr/bin/yes", {}, plainEnvironment, 1);
    EXPECT_LT(secondsSince(start), 20);
    EXPECT_TRUE(result.timedOut);
    EXPECT_TRUE(result.outputCut);
    EXPECT_EQ(result.exitCode, SIGTERM);
    EXPECT_EQ(result.stdoutText.size(), ProcessRunner::outputLimit);
    EXPECT_TRUE(result.stdoutText.starts_with("y\ny\n"));
}

TEST(ProcessRunner, InvalidUtf8BecomesReplacementCharacters) {
    // Stray continuation, overlong lead, surrogate, truncated sequence at the end;
    // valid multi-byte text is kept.
    ProcessResult result = shell(R"(printf 'a\200b\300\257c\355\240\200d\303\251'; )"
                                 R"(printf 'x\342\202' >&2)");
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(result.stdoutText, "a" + r + "b" + r + r + "c" + r + r + r + "d\xC3\xA9");
    EXPECT_EQ(result.stderrText, "x" + r);
}

TEST(ProcessRunner, ChildSeesOnlyTheGivenEnvironment) {
    ProcessResult result = ProcessRunner::runSync(
        "/usr/bin/env", {}, {{"EMPTY", ""}, {"PATH", "/nowhere"}, {"X", "a b=c"}}, 5);
    EXPECT_EQ(result, (ProcessResult{0, "EMPTY=\nPATH=/nowhere\nX=a b=c\n", "", false}));
}

TEST(ProcessRunner, ChildInheritsNoOtherDescriptor) {
    UniqueFd open(::open("/dev/null", O_RDONLY)); // deliberately without O_CLOEXEC
    ASSERT_TRUE(open.valid());
    std::string fd = std::to_string(open.get());
    ProcessResult result = shell("if [ -e /proc/$$/fd/" + fd + " ]; then echo leaked; fi");
    EXPECT_EQ(result.stdoutText, "");
}

TEST(ProcessRunner, ShortRunsBesideLongOnesFromManyThreads) {
    std::vector<std::future<ProcessResult>> longRuns;
    for (int i = 0; i < 4; ++i) {
        longRuns.push_back(ProcessRunner::run("/bin/sleep", {"12"}, plainEnvironment, 60));
    }
    std::vector<std::thread> threads;
    std::vector<ProcessResult> results(8);
    std::vector<double> times(8);
    for (std::size_t i = 0; i < results.size(); ++i) {
        threads.emplace_back([i, &results, &times] {
            auto start = Clock::now();
            results[i] = ProcessRunner::runSync("/bin/echo", {std::to_string(i)}, {}, 60);
            times[i] = secondsSince(start);
        });
    }
    for (auto& t : threads) {
        t.join();
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        EXPECT_EQ(results[i], (ProcessResult{0, std::to_string(i) + "\n", "", false}));
        EXPECT_LT(times[i], 8) << "run " << i << " waited for a long run";
    }
    for (auto& f : longRuns) {
        EXPECT_EQ(f.get(), (ProcessResult{0, "", "", false}));
    }
    EXPECT_TRUE(noChildLeft());
}

TEST(ProcessRunner, BaseEnvironmentKeepsOnlyTheListedNames) {
    Environment given{{"PATH", "/bin"},
                      {"CLAUDE_CONFIG_DIR", "/x"},
                      {"http_proxy", ""},
                      {"Path", "/other"},
                      {"TWINLANTERN_PROFILE", "w"},
                      {"SSH_AUTH_SOCK", "/s"},
                      {"__CF_USER_TEXT_ENCODING", "0x1F5"}};
    EXPECT_EQ(ProcessRunner::baseEnvironment(given),
              (Environment{{"PATH", "/bin"},
                           {"http_proxy", ""},
                           {"SSH_AUTH_SOCK", "/s"},
                           {"__CF_USER_TEXT_ENCODING", "0x1F5"}}));

    Environment all;
    for (const char* name :
         {"HOME", "USER", "LOGNAME", "PATH", "SHELL", "TMPDIR", "LANG", "LC_ALL", "LC_CTYPE",
          "TERM", "__CF_USER_TEXT_ENCODING", "SSH_AUTH_SOCK", "NODE_EXTRA_CA_CERTS", "HTTPS_PROXY",
          "HTTP_PROXY", "NO_PROXY", "https_proxy", "http_proxy", "no_proxy"}) {
        all[name] = std::string("v-") + name;
    }
    EXPECT_EQ(ProcessRunner::baseEnvironment(all), all);

    // The way to the Secret Service, on Linux only.
    const Environment bus{{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1000/bus"},
                          {"XDG_RUNTIME_DIR", "/run/user/1000"},
                          {"DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/x"},
                          {"XDG_CONFIG_HOME", "/c"}};
#ifdef __linux__
    EXPECT_EQ(ProcessRunner::baseEnvironment(bus),
              (Environment{{"DBUS_SESSION_BUS_ADDRESS", "unix:path=/run/user/1000/bus"},
                           {"XDG_RUNTIME_DIR", "/run/user/1000"}}));
#else
    EXPECT_EQ(ProcessRunner::baseEnvironment(bus), Environment{});
#endif
}

TEST(ProcessRunner, CombinedOutputJoinsWithOneLineFeed) {
    struct Case {
        std::string out, err, combined;
    };
    for (const Case& c : {Case{"a\n", "b", "a\n\nb"}, Case{"a\n", "", "a\n"}, Case{"", "b", "\nb"},
                          Case{"a", "b\n", "a\nb\n"}}) {
        EXPECT_EQ((ProcessResult{0, c.out, c.err, false}.combinedOutput()), c.combined);
    }
}

TEST(ProcessRunner, AfterEndAllARunningChildEndsAndNoRunStarts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe"); // endAll is for good: in a process of its own
    // The death test runs this body again in a new process: it finds the folder here.
    std::optional<tltest::TempDir> made;
    if (!std::getenv("TL_RUNNER_TEST_DIR")) {
        made.emplace();
        ::setenv("TL_RUNNER_TEST_DIR", made->path().c_str(), 1);
    }
    EXPECT_EXIT(
        {
            // Started, so registered: the spawn that registers it returns only after the exec.
            const std::string started = std::string(std::getenv("TL_RUNNER_TEST_DIR")) + "/started";
            auto hung = ProcessRunner::run(
                "/bin/sh", {"-c", "echo > '" + started + "'; exec sleep 600"}, {}, 600);
            while (!tltest::exists(started)) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            const auto began = Clock::now();
            ProcessRunner::endAll();
            const ProcessResult ended = hung.get();
            const ProcessResult refused = ProcessRunner::runSync("/bin/true", {}, {}, 10);
            std::_Exit(ended.exitCode == SIGKILL &&
                               Clock::now() - began < std::chrono::seconds(1) &&
                               refused.exitCode == 127 &&
                               refused.stderrText == "Couldn't run /bin/true: " +
                                                         std::string(std::strerror(ECANCELED))
                           ? 0
                           : 1);
        },
        ::testing::ExitedWithCode(0), "");
    ::unsetenv("TL_RUNNER_TEST_DIR");
}

} // namespace
} // namespace twinlantern
