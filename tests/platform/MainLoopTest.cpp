#include "platform/PollMainLoop.h"
#include "platform/test/VirtualTimeLoop.h"

#include "core/base/UniqueFd.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <thread>

using namespace twinlantern;
using namespace twinlantern::platform;
using namespace std::chrono_literals;
using platform::test::VirtualTimeLoop;

namespace {

struct Pipe {
    UniqueFd read, write;
    Pipe() {
        int ends[2];
        EXPECT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
        read.reset(ends[0]);
        write.reset(ends[1]);
    }
    void put(char c) { EXPECT_EQ(::write(write.get(), &c, 1), 1); }
    std::string drain() {
        std::string got;
        char buffer[64];
        for (ssize_t n; (n = ::read(read.get(), buffer, sizeof buffer)) > 0;) {
            got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }
};

TEST(VirtualTimeLoop, TimersRunAtTheirOwnVirtualTimesInOrder) {
    VirtualTimeLoop loop;
    std::vector<std::pair<std::string, MainLoop::Duration>> ran;
    auto note = [&](std::string what) {
        return [&ran, &loop, what] {
            ran.emplace_back(what, loop.elapsed());
        };
    };
    auto late = loop.postAfter(300ms, note("late"));
    auto early = loop.postAfter(100ms, note("early"));
    auto tie = loop.postAfter(100ms, note("tie, made second"));
    // A timer that starts another from inside.
    MainLoop::Handle chained;
    auto first = loop.postAfter(50ms, [&] {
        ran.emplace_back("first", loop.elapsed());
        chained = loop.postAfter(200ms, note("chained"));
    });
    loop.advance(99ms);
    EXPECT_EQ(ran.size(), 1u);
    loop.advance(1s);
    EXPECT_EQ(ran,
              (std::vector<std::pair<std::string, MainLoop::Duration>>{{"first", 50ms},
                                                                       {"early", 100ms},
                                                                       {"tie, made second", 100ms},
                                                                       {"chained", 250ms},
                                                                       {"late", 300ms}}));
    EXPECT_EQ(loop.elapsed(), 1099ms);
}

TEST(VirtualTimeLoop, ADroppedHandleCancelsAndMayOutliveTheLoop) {
    MainLoop::Handle outlives;
    {
        VirtualTimeLoop loop;
        int runs = 0;
        auto kept = loop.postAfter(10ms, [&] { ++runs; });
        {
            auto dropped = loop.postAfter(10ms, [&] { ++runs; });
        }
        auto cancelled = loop.postAfter(10ms, [&] { ++runs; });
        cancelled.reset();
        // A timer cancelling another due at the same time.
        MainLoop::Handle victim;
        auto killer = loop.postAfter(5ms, [&] { victim.reset(); });
        victim = loop.postAfter(5ms, [&] { ++runs; });
        outlives = loop.postAfter(1h, [] { ADD_FAILURE(); });
        loop.advance(1s);
        EXPECT_EQ(runs, 1);
    }
    outlives.reset();
}

TEST(VirtualTimeLoop, RealDescriptorsAreReadAtTheVirtualTimeTheyBecameReady) {
    VirtualTimeLoop loop;
    Pipe pipe;
    std::vector<std::pair<std::string, MainLoop::Duration>> got;
    auto watch = loop.watchReadable(pipe.read.get(),
                                    [&] { got.emplace_back(pipe.drain(), loop.elapsed()); });
    pipe.put('a');
    loop.advance(40ms);
    pipe.put('b');
    pipe.put('c');
    loop.advance(40ms);
    watch.reset();
    pipe.put('d');
    loop.advance(40ms);
    EXPECT_EQ(got,
              (std::vector<std::pair<std::string, MainLoop::Duration>>{{"a", 0ms}, {"bc", 40ms}}));
}

TEST(VirtualTimeLoop, AWatchMayRemoveItselfAndOthersFromItsCallback) {
    VirtualTimeLoop loop;
    Pipe one, two;
    int calls = 0;
    MainLoop::Handle first, second;
    first = loop.watchReadable(one.read.get(), [&] {
        ++calls;
        first.reset();
        second.reset();
    });
    second = loop.watchReadable(two.read.get(), [&] { ++calls; });
    one.put('x');
    two.put('y');
    loop.advance(10ms);
    EXPECT_EQ(calls, 1);
}

TEST(PollMainLoop, PostsFromOtherThreadsRunOnTheLoopThread) {
    PollMainLoop loop;
    const auto loopThread = std::this_thread::get_id();
    int runs = 0;
    bool onLoop = true;
    std::vector<std::thread> posters;
    for (int k = 0; k < 4; ++k) {
        posters.emplace_back([&] {
            std::this_thread::sleep_for(20ms);
            loop.post([&] {
                ++runs;
                onLoop = onLoop && loop.onLoopThread() && std::this_thread::get_id() == loopThread;
            });
        });
    }
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(loop.runUntil([&] { return runs == 4; }, 60s));
    // Woken by the posts, not by the end of the wait.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 20s);
    for (auto& t : posters) {
        t.join();
    }
    EXPECT_TRUE(onLoop);
    std::thread([&] { EXPECT_FALSE(loop.onLoopThread()); }).join();
}

TEST(PollMainLoop, TimersAndDescriptorsInRealTime) {
    using Clock = std::chrono::steady_clock;
    PollMainLoop loop;
    Pipe pipe;
    const auto start = Clock::now();
    Clock::duration timerAt{}, readAt{};
    auto timer = loop.postAfter(100ms, [&] {
        timerAt = Clock::now() - start;
        pipe.put('x');
    });
    auto watch = loop.watchReadable(pipe.read.get(), [&] {
        pipe.drain();
        readAt = Clock::now() - start;
        loop.quit();
    });
    auto never = loop.postAfter(50ms, [] { ADD_FAILURE(); });
    never.reset();
    loop.run();
    EXPECT_GE(timerAt, 100ms);
    EXPECT_GE(readAt, timerAt);
    EXPECT_LT(readAt, 20s);
}

} // namespace
