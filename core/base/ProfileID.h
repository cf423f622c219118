#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>

namespace twinlantern {

// A profile's identifier, which also names its data folders.
struct ProfileID {
    std::string rawValue;

    ProfileID() = default;
    explicit ProfileID(std::string raw) : rawValue(std::move(raw)) {}

    // 1-40 characters of a-z, 0-9 and "-", no "-" at either end, no "--".
    bool isValid() const;
    const std::string& description() const { return rawValue; }

    // A new identifier from the name plus "-" and four secure random characters.
    static ProfileID generate(std::string_view name, const std::set<ProfileID>& avoiding);

    friend bool operator==(const ProfileID&, const ProfileID&) = default;
    friend auto operator<=>(const ProfileID& a, const ProfileID& b) {
        return a.rawValue <=> b.rawValue;
    }
};

void to_json(nlohmann::json& j, const ProfileID& id);

} // namespace twinlantern

template <> struct std::hash<twinlantern::ProfileID> {
    std::size_t operator()(const twinlantern::ProfileID& id) const noexcept {
        return std::hash<std::string>{}(id.rawValue);
    }
};
