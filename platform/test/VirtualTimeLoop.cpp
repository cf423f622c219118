#include "platform/test/VirtualTimeLoop.h"

#include <algorithm>

namespace twinlantern::platform::test {

// A watch whose descriptor stays readable would otherwise keep one instant for ever.
constexpr int maxRoundsPerInstant = 10'000;

MainLoop::Handle VirtualTimeLoop::postAfter(Duration delay, Callback callback) {
    return engine_.addTimer(now_ + std::max(delay, Duration::zero()), std::move(callback));
}

bool VirtualTimeLoop::settle() {
    bool any = false;
    for (int round = 0; round < maxRoundsPerInstant; ++round) {
        bool ran = engine_.runDueTimer(now_);
        ran = engine_.pollOnce(0) || ran;
        if (!ran) {
            break;
        }
        any = true;
    }
    return any;
}

void VirtualTimeLoop::advance(Duration duration, const std::function<void()>& settleEach) {
    const auto settleHere = [&] {
        if (settleEach) {
            settleEach();
        } else {
            settle();
        }
    };
    const TimePoint target = now_ + std::max(duration, Duration::zero());
    settleHere();
    while (auto next = engine_.nextTimer()) {
        if (*next > target) {
            break;
        }
        now_ = std::max(now_, *next);
        settleHere();
    }
    now_ = target;
    settleHere();
}

} // namespace twinlantern::platform::test
