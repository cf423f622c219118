#include "core/doctor/DoctorCheck.h"

#include "core/base/JsonDecode.h"

#include <array>
#include <utility>

namespace twinlantern {

namespace {
constexpr std::array<std::pair<DoctorCheck::Level, const char*>, 4> levelNames = {{
    {DoctorCheck::Level::ok, "ok"},
    {DoctorCheck::Level::info, "info"},
    {DoctorCheck::Level::warning, "warning"},
    {DoctorCheck::Level::failure, "failure"},
}};

std::optional<std::string> optionalString(const nlohmann::json& j, const char* key) {
    const nlohmann::json* value = json_decode::member(j, key, "a check");
    if (value == nullptr || value->is_null()) {
        return std::nullopt;
    }
    return json_decode::string(*value, std::string("a check's \"") + key + "\"");
}
} // namespace

const char* rawValue(DoctorCheck::Level level) {
    for (const auto& [value, name] : levelNames) {
        if (value == level) {
            return name;
        }
    }
    return "ok";
}

std::optional<DoctorCheck::Level> doctorLevelFromRawValue(std::string_view raw) {
    for (const auto& [value, name] : levelNames) {
        if (raw == name) {
            return value;
        }
    }
    return std::nullopt;
}

void to_json(nlohmann::json& j, const DoctorCheck::Level& level) {
    j = rawValue(level);
}

void from_json(const nlohmann::json& j, DoctorCheck::Level& level) {
    const std::string raw = json_decode::string(j, "a check's \"level\"");
    auto decoded = doctorLevelFromRawValue(raw);
    if (!decoded) {
        throw JsonDecodeError("a check's \"level\" is \"" + raw +
                              "\", not one of ok, info, warning, failure");
    }
    level = *decoded;
}

void to_json(nlohmann::json& j, const DoctorCheck& check) {
    j = nlohmann::json::object();
    j["id"] = check.id;
    j["level"] = check.level;
    j["title"] = check.title;
    if (check.detail) {
        j["detail"] = *check.detail;
    }
    if (check.fix) {
        j["fix"] = *check.fix;
    }
}

void from_json(const nlohmann::json& j, DoctorCheck& check) {
    using namespace json_decode;
    const std::string where = "a check";
    DoctorCheck out;
    out.id = string(required(j, "id", where), "a check's \"id\"");
    out.level = required(j, "level", where).get<DoctorCheck::Level>();
    out.title = string(required(j, "title", where), "a check's \"title\"");
    out.detail = optionalString(j, "detail");
    out.fix = optionalString(j, "fix");
    check = std::move(out);
}

} // namespace twinlantern
