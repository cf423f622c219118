#include "core/usage/ActivitySummary.h"

#include "core/base/JsonDecode.h"
#include "core/base/SaturatingMath.h"

#include <nlohmann/json.hpp>

#include <cstdio>

namespace twinlantern {

std::int64_t ActivitySummary::workTokens() const {
    return saturatingAdd(inputTokens, outputTokens);
}

std::int64_t ActivitySummary::totalTokens() const {
    return saturatingAdd(workTokens(), cacheTokens);
}

std::string ActivitySummary::summary() const {
    std::string text = compactTokenCount(workTokens()) + " tokens · " + std::to_string(sessions) +
                       " session" + (sessions == 1 ? "" : "s");
    if (cacheTokens > 0) {
        text += " (+" + compactTokenCount(cacheTokens) + " cached)";
    }
    return text;
}

std::string compactTokenCount(std::int64_t n) {
    struct Step {
        std::int64_t below;
        double divisor;
        const char* format;
    };
    static constexpr Step steps[] = {
        {10000, 1e3, "%.1fk"},      {1000000, 1e3, "%.0fk"},     {10000000, 1e6, "%.1fM"},
        {1000000000, 1e6, "%.0fM"}, {10000000000, 1e9, "%.1fB"},
    };
    if (n < 1000) {
        return std::to_string(n);
    }
    const Step* step = nullptr;
    for (const Step& s : steps) {
        if (n < s.below) {
            step = &s;
            break;
        }
    }
    double value = static_cast<double>(n) / (step != nullptr ? step->divisor : 1e9);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, step != nullptr ? step->format : "%.0fB", value);
    return buffer;
}

void to_json(nlohmann::json& j, const ActivitySummary& s) {
    j = nlohmann::json{{"tool", rawValue(s.tool)},       {"window", s.window},
                       {"sessions", s.sessions},         {"inputTokens", s.inputTokens},
                       {"outputTokens", s.outputTokens}, {"cacheTokens", s.cacheTokens}};
}

namespace {
std::int64_t integer(const nlohmann::json& object, const char* key) {
    const nlohmann::json& value = json_decode::required(object, key, "An activity summary");
    if (!value.is_number_integer() ||
        (value.is_number_unsigned() && value.get<std::uint64_t>() > INT64_MAX)) {
        throw JsonDecodeError(std::string("An activity summary's \"") + key +
                              "\" should be an integer but is " + json_decode::typeName(value));
    }
    return value.get<std::int64_t>();
}
} // namespace

void from_json(const nlohmann::json& j, ActivitySummary& s) {
    const std::string where = "An activity summary";
    const std::string tool =
        json_decode::string(json_decode::required(j, "tool", where), where + "'s \"tool\"");
    std::optional<ToolKind> kind = toolKindFromRawValue(tool);
    if (!kind) {
        throw JsonDecodeError(where + " names an unknown tool \"" + tool + "\"");
    }
    const nlohmann::json& window = json_decode::required(j, "window", where);
    if (!window.is_number()) {
        throw JsonDecodeError(where + "'s \"window\" should be a number but is " +
                              json_decode::typeName(window));
    }
    ActivitySummary decoded;
    decoded.tool = *kind;
    decoded.window = window.get<double>();
    decoded.sessions = integer(j, "sessions");
    decoded.inputTokens = integer(j, "inputTokens");
    decoded.outputTokens = integer(j, "outputTokens");
    decoded.cacheTokens = integer(j, "cacheTokens");
    s = decoded;
}

} // namespace twinlantern
