#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/Xdotool.h"
#include "tests/support/x11/XvfbServer.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <future>
#include <thread>

namespace twinlantern {
namespace {

const Environment baseEnvironment = {{"PATH", "/usr/bin:/bin"}, {"HOME", "/nonexistent"}};

testing::RunResult runHelper(const Environment& environment) {
    return testing::runProgram(TL_ALERT_HELPER,
                               {TL_ALERT_HELPER, "Claude Desktop isn't installed."}, environment);
}

TEST(Alert, NothingShownWithoutADisplay) {
    const testing::RunResult none = runHelper(baseEnvironment);
    EXPECT_EQ(none.exitCode, 2) << none.err;
    EXPECT_EQ(none.out, "not shown\n");

    Environment noServer = baseEnvironment;
    std::string display = ":"; // appended, not ":" + ..., which GCC 12 -O3 misreads
    display += std::to_string(900 + getpid() % 90);
    noServer["DISPLAY"] = display;
    const testing::RunResult unreachable = runHelper(noServer);
    EXPECT_EQ(unreachable.exitCode, 2) << unreachable.err;
    EXPECT_EQ(unreachable.out, "not shown\n");
}

// The alert comes up on the display with its title, and Return dismisses it.
TEST(Alert, ShownAndDismissedWithReturn) {
    testing::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    if (access("/usr/bin/xdotool", X_OK) != 0) {
        GTEST_SKIP() << "xdotool is not installed";
    }
    Environment environment = baseEnvironment;
    environment["DISPLAY"] = server.display();
    environment["LSAN_OPTIONS"] =
        "suppressions=" TL_SOURCE_DIR "/tests/support/lsan-x11-qt.supp:print_suppressions=0";
    auto run = std::async(std::launch::async, [&] { return runHelper(environment); });

    const std::string window = testing::waitForWindowNamed("Couldn't open Claude", environment);
    ASSERT_FALSE(window.empty()) << "no alert window";
    ASSERT_EQ(run.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout)
        << "the alert returned before it was dismissed";
    testing::pressReturnUntil(window, environment, [&] {
        return run.wait_for(std::chrono::milliseconds(250)) == std::future_status::ready;
    });
    ASSERT_EQ(run.wait_for(testing::patience), std::future_status::ready);
    const testing::RunResult result = run.get();
    EXPECT_EQ(result.exitCode, 1) << result.err;
    EXPECT_EQ(result.out, "shown\n") << result.err;
}

} // namespace
} // namespace twinlantern
