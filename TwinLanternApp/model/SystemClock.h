#pragma once

#include "TwinLanternApp/model/Scheduler.h"

namespace twinlantern::app {

// The real clocks.
class SystemClock final : public Clock {
public:
    std::chrono::steady_clock::time_point monotonicNow() const override {
        return std::chrono::steady_clock::now();
    }
    std::chrono::system_clock::time_point wallNow() const override {
        return std::chrono::system_clock::now();
    }
};

} // namespace twinlantern::app
