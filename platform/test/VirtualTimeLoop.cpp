#include "platform/test/VirtualTimeLoop.h"

#include <algorithm>

namespace twinlantern::platform::test {

// A watch whose descriptor stays readable would otherwise keep one instant for ever.
constexpr int maxRoundsPerInstant = 10'000;

MainLoop::Handle VirtualTimeLoop::postAfter(Duration delay, Callback callback) {
    return engine_.addTimer(now_ + std::max(delay, Duration::zero()), std::move(callback));
}

void VirtualTimeLoop::settle() {
    for (int round = 0; round < maxRoundsPerInstant; ++round) {
        bool ran = engine_.runDueTimer(now_);
        ran = engine_.pollOnce(0) || ran;
        if (!ran) {
            return;
        }
    }
}

void VirtualTimeLoop::advance(Duration duration) {
    const TimePoint target = now_ + std::max(duration, Duration::zero());
    settle();
    while (auto next = engine_.nextTimer()) {
        if (*next > target) {
            break;
        }
        now_ = std::max(now_, *next);
        settle();
    }
    now_ = target;
    settle();
}

} // namespace twinlantern::platform::test
