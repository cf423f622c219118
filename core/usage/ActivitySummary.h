#pragma once

#include "core/profiles/Profile.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <string>

namespace twinlantern {

// Window lengths in seconds.
inline constexpr double fiveHours = 18000;
inline constexpr double sevenDays = 604800;

// One tool's usage over one window.
struct ActivitySummary {
    ToolKind tool = ToolKind::claudeCode;
    double window = 0;
    std::int64_t sessions = 0;
    std::int64_t inputTokens = 0;
    std::int64_t outputTokens = 0;
    std::int64_t cacheTokens = 0;

    std::int64_t workTokens() const;
    std::int64_t totalTokens() const;
    // "12k tokens · 2 sessions (+1.5k cached)"
    std::string summary() const;

    friend bool operator==(const ActivitySummary&, const ActivitySummary&) = default;
};

// 999, 1.2k, 12k, 1.2M, 123M, 12B.
std::string compactTokenCount(std::int64_t count);

void to_json(nlohmann::json& j, const ActivitySummary& summary);
// Throws JsonDecodeError; all six keys are required.
void from_json(const nlohmann::json& j, ActivitySummary& summary);

} // namespace twinlantern
