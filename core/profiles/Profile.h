#pragma once

#include "core/base/ProfileID.h"
#include "core/base/ToolKind.h"

#include <nlohmann/json_fwd.hpp>

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

enum class ProfileColor { blue, green, orange, purple, pink, graphite };

inline constexpr std::array<ProfileColor, 6> allProfileColors = {
    ProfileColor::blue,   ProfileColor::green, ProfileColor::orange,
    ProfileColor::purple, ProfileColor::pink,  ProfileColor::graphite};

struct RGB {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const RGB&, const RGB&) = default;
};

const char* rawValue(ProfileColor color);
const char* hex(ProfileColor color);
RGB rgb(ProfileColor color);
std::optional<ProfileColor> profileColorFromRawValue(std::string_view raw);

class Profile {
public:
    enum class Storage { managed, system };

    Profile() = default;
    Profile(ProfileID id, std::string name, ProfileColor color, std::optional<std::string> badge,
            std::vector<ToolKind> tools, Storage storage);

    static std::string defaultBadge(std::string_view name);

    ProfileID id;
    std::string name;
    ProfileColor color = ProfileColor::graphite;
    std::string badge;
    Storage storage = Storage::managed;

    const std::vector<ToolKind>& tools() const { return tools_; }
    // Every change of the tool list goes through these so it stays sorted and unique.
    void setTools(std::vector<ToolKind> tools);
    void addTool(ToolKind kind);
    void removeTool(ToolKind kind);
    bool uses(ToolKind kind) const;

    friend bool operator==(const Profile&, const Profile&) = default;

private:
    std::vector<ToolKind> tools_;
};

const char* rawValue(Profile::Storage storage);
std::optional<Profile::Storage> storageFromRawValue(std::string_view raw);

// Written with nlohmann; read with ProfileDocumentReader.
void to_json(nlohmann::json& j, const Profile& profile);

} // namespace twinlantern

template <> struct std::hash<twinlantern::Profile> {
    std::size_t operator()(const twinlantern::Profile& p) const noexcept {
        std::size_t h = std::hash<twinlantern::ProfileID>{}(p.id);
        auto mix = [&h](std::size_t v) {
            h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        };
        mix(std::hash<std::string>{}(p.name));
        mix(static_cast<std::size_t>(p.color));
        mix(std::hash<std::string>{}(p.badge));
        for (auto t : p.tools()) {
            mix(static_cast<std::size_t>(t));
        }
        mix(static_cast<std::size_t>(p.storage));
        return h;
    }
};
