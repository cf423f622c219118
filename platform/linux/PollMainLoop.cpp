#include "platform/PollMainLoop.h"

#include <algorithm>

namespace twinlantern::platform {

using Clock = std::chrono::steady_clock;

MainLoop::Handle PollMainLoop::postAfter(Duration delay, Callback callback) {
    return engine_.addTimer(Clock::now() + std::max(delay, Duration::zero()), std::move(callback));
}

void PollMainLoop::runOnce(LoopEngine::TimePoint limit) {
    bool ran = false;
    while (engine_.runDueTimer(Clock::now())) {
        ran = true;
        if (quit_) {
            return;
        }
    }
    // After a timer the caller looks at its condition again before anything waits.
    auto until = ran ? Clock::now() : limit;
    if (auto next = engine_.nextTimer()) {
        until = std::min(until, *next);
    }
    auto now = Clock::now();
    long long wait =
        until <= now ? 0 : std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
    engine_.pollOnce(static_cast<int>(std::min<long long>(wait, 60'000)));
}

void PollMainLoop::run() {
    quit_ = false;
    while (!quit_) {
        runOnce(Clock::time_point::max());
    }
}

void PollMainLoop::runFor(Duration duration) {
    runUntil([] { return false; }, duration);
}

bool PollMainLoop::runUntil(const std::function<bool()>& done, Duration timeout) {
    quit_ = false;
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (quit_ || Clock::now() >= deadline) {
            return done();
        }
        runOnce(deadline);
    }
    return true;
}

} // namespace twinlantern::platform
