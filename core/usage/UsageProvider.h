#pragma once

#include "core/usage/ActivitySummary.h"
#include "core/profiles/Profile.h"

#include <chrono>
#include <string>

namespace twinlantern {

using Instant = std::chrono::system_clock::time_point;

// A source of usage totals. activity() blocks on file input and output: call it off
// the main thread.
class UsageProvider {
public:
    virtual ~UsageProvider() = default;
    virtual std::string displayName() const = 0;
    virtual bool reportsPlanLimits() const = 0;
    virtual ActivitySummary activity(const Profile& profile, ToolKind tool, double window,
                                     Instant now) const = 0;
};

} // namespace twinlantern
