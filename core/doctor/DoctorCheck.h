#pragma once

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

// One finding of the doctor. Findings are values; the doctor never throws one.
struct DoctorCheck {
    // Declared in order of severity, so the built-in comparisons order them.
    enum class Level { ok, info, warning, failure };

    std::string id;
    Level level = Level::ok;
    std::string title;
    std::optional<std::string> detail;
    std::optional<std::string> fix;

    friend bool operator==(const DoctorCheck&, const DoctorCheck&) = default;
};

const char* rawValue(DoctorCheck::Level level);
std::optional<DoctorCheck::Level> doctorLevelFromRawValue(std::string_view raw);

void to_json(nlohmann::json& j, const DoctorCheck::Level& level);
void from_json(const nlohmann::json& j, DoctorCheck::Level& level);
void to_json(nlohmann::json& j, const DoctorCheck& check);
void from_json(const nlohmann::json& j, DoctorCheck& check);

} // namespace twinlantern

template <> struct std::hash<twinlantern::DoctorCheck::Level> {
    std::size_t operator()(twinlantern::DoctorCheck::Level level) const noexcept {
        return std::hash<std::string_view>{}(twinlantern::rawValue(level));
    }
};
