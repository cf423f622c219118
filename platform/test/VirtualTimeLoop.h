#pragma once

#include "platform/LoopEngine.h"
#include "platform/MainLoop.h"

#include <chrono>
#include <functional>

namespace twinlantern::platform::test {

// The main queue on a virtual clock that moves only when the test says so. Watched
// descriptors are real and polled without waiting, so real events arrive at exact
// virtual times.
class VirtualTimeLoop final : public MainLoop {
public:
    using TimePoint = LoopEngine::TimePoint;

    void post(Callback callback) override { engine_.post(std::move(callback)); }
    [[nodiscard]] Handle postAfter(Duration delay, Callback callback) override;
    [[nodiscard]] Handle watchReadable(int fd, Callback callback) override {
        return engine_.addWatch(fd, std::move(callback));
    }
    bool onLoopThread() const override { return engine_.onLoopThread(); }

    TimePoint now() const { return now_; }
    // Time since the loop was made.
    Duration elapsed() const { return now_ - TimePoint{}; }
    // Runs what is ready now, then every timer due within `duration` at its own time,
    // and leaves the clock `duration` later. `settleEach`, when given, runs at each of
    // those instants in place of settle(), for a caller with work elsewhere to wait for.
    void advance(Duration duration, const std::function<void()>& settleEach = {});
    // Runs what is ready now without moving the clock; true when anything ran.
    bool settle();
    // Waits up to `timeout` of real time for a watched descriptor or a post, then runs
    // what is ready; true when anything ran.
    bool waitOnce(std::chrono::milliseconds timeout) {
        return engine_.pollOnce(static_cast<int>(timeout.count()));
    }
    bool hasTimers() const { return engine_.nextTimer().has_value(); }

private:
    LoopEngine engine_;
    TimePoint now_{};
};

} // namespace twinlantern::platform::test
