#include "tests/support/app/VirtualScheduler.h"

#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <future>
#include <thread>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::VirtualScheduler;

namespace {

TEST(VirtualScheduler, ACancelHandleIsIdempotentAndHarmlessAfterTheTaskRan) {
    VirtualScheduler scheduler;
    int ran = 0;
    auto cancelled = scheduler.postAfter(2s, [&] { ran += 10; });
    auto fired = scheduler.postAfter(1s, [&] { ++ran; });
    cancelled.reset();
    cancelled.reset();
    scheduler.advance(5s);
    EXPECT_EQ(ran, 1);
    fired.reset();
    fired.reset();
    // A handle kept past its scheduler does nothing when it goes.
    platform::MainLoop::Handle late;
    {
        VirtualScheduler shortLived;
        late = shortLived.postAfter(1s, [&] { ran += 100; });
    }
    late.reset();
    EXPECT_EQ(ran, 1);
}

TEST(VirtualScheduler, RepeatingTimersKeepTheirPlaceOverLongRuns) {
    VirtualScheduler scheduler;
    int fast = 0, slow = 0;
    std::vector<platform::MainLoop::Duration> slowAt;
    auto tick = scheduler.repeatEvery(5s, [&] { ++fast; });
    auto status = scheduler.repeatEvery(300s, [&] {
        ++slow;
        slowAt.push_back(scheduler.elapsed());
    });
    scheduler.advance(600s);
    EXPECT_EQ(fast, 120);
    EXPECT_EQ(slow, 2);
    EXPECT_EQ(slowAt, (std::vector<platform::MainLoop::Duration>{300s, 600s}));
    tick.reset();
    scheduler.advance(60s);
    EXPECT_EQ(fast, 120);
    EXPECT_EQ(slow, 2);
}

TEST(VirtualScheduler, ARepeatMayCancelItselfFromItsCallback) {
    VirtualScheduler scheduler;
    int ran = 0;
    platform::MainLoop::Handle repeat;
    repeat = scheduler.repeatEvery(1s, [&] {
        if (++ran == 3) {
            repeat.reset();
        }
    });
    scheduler.advance(10s);
    EXPECT_EQ(ran, 3);
}

TEST(VirtualScheduler, AJobRunsOffMainAndItsResultArrivesOnMain) {
    VirtualScheduler scheduler;
    std::thread::id jobThread;
    std::optional<JobResult<int>> got;
    bool onMain = false;
    scheduler.background(
        [&] {
            jobThread = std::this_thread::get_id();
            return 42;
        },
        [&](JobResult<int> result) {
            onMain = scheduler.onLoopThread();
            got = std::move(result);
        });
    scheduler.settle();
    ASSERT_TRUE(got);
    EXPECT_TRUE(got->ok());
    EXPECT_EQ(got->value, 42);
    EXPECT_TRUE(onMain);
    EXPECT_NE(jobThread, std::this_thread::get_id());
}

TEST(VirtualScheduler, WhatAJobThrowsReachesTheContinuationAsText) {
    struct Case {
        std::function<int()> job;
        std::string error;
    };
    const std::vector<Case> cases = {
        {[]() -> int { throw TwinLanternError::io("Couldn't read the file: gone"); },
         "Couldn't read the file: gone"},
        {[]() -> int { throw std::runtime_error("low level"); }, "low level"},
        {[]() -> int { throw 7; }, "Unknown error"},
    };
    for (const auto& c : cases) {
        VirtualScheduler scheduler;
        std::optional<JobResult<int>> got;
        scheduler.background(c.job, [&](JobResult<int> result) { got = std::move(result); });
        scheduler.settle();
        ASSERT_TRUE(got) << c.error;
        EXPECT_FALSE(got->ok());
        EXPECT_EQ(got->error, c.error);
    }
    VirtualScheduler scheduler;
    std::optional<JobResult<void>> done;
    scheduler.background([] {}, [&](JobResult<void> result) { done = result; });
    scheduler.settle();
    ASSERT_TRUE(done);
    EXPECT_TRUE(done->ok());
}

TEST(VirtualScheduler, AdvanceWaitsForAJobBeforeTheNextTimer) {
    VirtualScheduler scheduler;
    std::vector<std::string> order;
    scheduler.background(
        [] {
            std::this_thread::sleep_for(100ms);
            return 1;
        },
        [&](JobResult<int>) { order.push_back("job"); });
    auto timer = scheduler.postAfter(1s, [&] { order.push_back("timer"); });
    scheduler.advance(2s);
    EXPECT_EQ(order, (std::vector<std::string>{"job", "timer"}));
}

TEST(VirtualScheduler, TimersFireWhileAHeldJobRunsAndRunUntilCollectsIt) {
    VirtualScheduler scheduler;
    std::promise<void> release;
    auto gate = release.get_future().share();
    bool finished = false;
    int ticks = 0;
    scheduler.background([gate] { gate.wait(); }, [&](JobResult<void>) { finished = true; });
    auto tick = scheduler.repeatEvery(5s, [&] { ++ticks; });
    scheduler.advance(10s, VirtualScheduler::Jobs::leave);
    EXPECT_EQ(ticks, 2);
    EXPECT_FALSE(finished);
    EXPECT_EQ(scheduler.jobsRunning(), 1);
    release.set_value();
    EXPECT_TRUE(scheduler.runUntil([&] { return finished; }));
    EXPECT_EQ(scheduler.elapsed(), 10s);
}

TEST(VirtualScheduler, RunUntilGivesUpAtItsGuard) {
    VirtualScheduler scheduler;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(scheduler.runUntil([] { return false; }, 200ms));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
}

TEST(VirtualScheduler, ADescriptorWrittenByAJobIsReadOnMainAtTheVirtualTime) {
    VirtualScheduler scheduler;
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    std::optional<platform::MainLoop::Duration> readAt;
    auto watch = scheduler.watchReadable(readEnd.get(), [&] {
        char c;
        while (::read(readEnd.get(), &c, 1) == 1) {
        }
        readAt = scheduler.elapsed();
    });
    auto later = scheduler.postAfter(3s, [&] {
        scheduler.background([fd = writeEnd.get()] { return ::write(fd, "x", 1); },
                             [](JobResult<ssize_t>) {});
    });
    scheduler.advance(10s);
    EXPECT_EQ(readAt, 3s);
}

TEST(VirtualScheduler, TheClocksMoveWithVirtualTime) {
    const auto start = std::chrono::sys_days{std::chrono::year{2026} / 1 / 1};
    VirtualScheduler scheduler(start);
    const auto monotonic = scheduler.clock().monotonicNow();
    EXPECT_EQ(scheduler.clock().wallNow(), start);
    scheduler.advance(18000s);
    EXPECT_EQ(scheduler.clock().wallNow(), start + 18000s);
    EXPECT_EQ(scheduler.clock().monotonicNow() - monotonic, 18000s);
}

} // namespace
