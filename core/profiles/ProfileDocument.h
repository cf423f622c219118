#pragma once

#include "core/profiles/Profile.h"

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern {

struct FolderRule {
    std::string path; // as the user gave it: "/…" or "~…", maybe ending in "/**"
    ProfileID profileID;

    FolderRule() = default;
    FolderRule(std::string path_, ProfileID id)
        : path(std::move(path_)), profileID(std::move(id)) {}

    // The folder without a trailing "/**" or trailing slashes; "/" when nothing is left.
    std::string folderPath() const;
    // folderPath lower-cased: rules differing only in case share it.
    std::string id() const;

    friend bool operator==(const FolderRule&, const FolderRule&) = default;
};

struct ProfileDocument {
    static constexpr std::int64_t currentVersion = 1;
    static ProfileDocument empty() { return {}; }

    std::int64_t version = currentVersion;
    std::vector<Profile> profiles;
    std::vector<FolderRule> rules;
    std::optional<ProfileID> cliDefault;

    const Profile* profile(const ProfileID& id) const;
    Profile* profile(const ProfileID& id);
    // By name (caseless, trimmed query), then by identifier (caseless).
    const Profile* profileNamed(std::string_view query) const;
    std::vector<FolderRule> rulesFor(const ProfileID& id) const;

    // Throws TwinLanternError::invalidProfile / invalidRule at the first problem. A name or
    // rule path with control characters is refused unless `stored` holds it already (the
    // same profile's name, the same rule): what an earlier version stored still saves.
    void validate(const ProfileDocument* stored = nullptr) const;

    friend bool operator==(const ProfileDocument&, const ProfileDocument&) = default;
};

void to_json(nlohmann::json& j, const FolderRule& rule);
void to_json(nlohmann::json& j, const ProfileDocument& document);

} // namespace twinlantern

template <> struct std::hash<twinlantern::FolderRule> {
    std::size_t operator()(const twinlantern::FolderRule& r) const noexcept {
        return std::hash<std::string>{}(r.path) ^
               (std::hash<twinlantern::ProfileID>{}(r.profileID) << 1);
    }
};
