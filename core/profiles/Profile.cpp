#include "core/profiles/Profile.h"

#include "core/base/Text.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace twinlantern {

namespace {

struct ColorInfo {
    const char* raw;
    const char* hex;
};

constexpr std::array<ColorInfo, 6> colorTable = {{
    {"blue", "#2563EB"},
    {"green", "#16A34A"},
    {"orange", "#EA580C"},
    {"purple", "#7C3AED"},
    {"pink", "#DB2777"},
    {"graphite", "#4B5563"},
}};

std::vector<ToolKind> normalizedTools(std::vector<ToolKind> tools) {
    std::sort(tools.begin(), tools.end());
    tools.erase(std::unique(tools.begin(), tools.end()), tools.end());
    return tools;
}

} // namespace

const char* rawValue(ProfileColor color) {
    return colorTable[static_cast<std::size_t>(color)].raw;
}
const char* hex(ProfileColor color) {
    return colorTable[static_cast<std::size_t>(color)].hex;
}

RGB rgb(ProfileColor color) {
    unsigned long value = std::stoul(hex(color) + 1, nullptr, 16);
    return {static_cast<int>((value >> 16) & 0xFF), static_cast<int>((value >> 8) & 0xFF),
            static_cast<int>(value & 0xFF)};
}

std::optional<ProfileColor> profileColorFromRawValue(std::string_view raw) {
    for (std::size_t i = 0; i < colorTable.size(); ++i) {
        if (raw == colorTable[i].raw) {
            return static_cast<ProfileColor>(i);
        }
    }
    return std::nullopt;
}

const char* rawValue(Profile::Storage storage) {
    return storage == Profile::Storage::system ? "system" : "managed";
}

std::optional<Profile::Storage> storageFromRawValue(std::string_view raw) {
    if (raw == "managed") {
        return Profile::Storage::managed;
    }
    if (raw == "system") {
        return Profile::Storage::system;
    }
    return std::nullopt;
}

Profile::Profile(ProfileID id_, std::string name_, ProfileColor color_,
                 std::optional<std::string> badge_, std::vector<ToolKind> tools, Storage storage_)
    : id(std::move(id_)), name(std::move(name_)), color(color_),
      badge(badge_ ? std::move(*badge_) : defaultBadge(name)), storage(storage_),
      tools_(normalizedTools(std::move(tools))) {}

std::string Profile::defaultBadge(std::string_view name) {
    std::string badge;
    int words = 0;
    std::size_t i = 0;
    auto isSeparator = [](char c) {
        return c == ' ' || c == '-' || c == '_';
    };
    while (i < name.size() && words < 2) {
        while (i < name.size() && isSeparator(name[i])) {
            ++i;
        }
        if (i >= name.size()) {
            break;
        }
        std::size_t end = i;
        while (end < name.size() && !isSeparator(name[end])) {
            ++end;
        }
        badge += text::uppercased(text::firstCharacter(name.substr(i, end - i)));
        ++words;
        i = end;
    }
    return words == 0 ? "?" : badge;
}

void Profile::setTools(std::vector<ToolKind> tools) {
    tools_ = normalizedTools(std::move(tools));
}

void Profile::addTool(ToolKind kind) {
    auto tools = tools_;
    tools.push_back(kind);
    setTools(std::move(tools));
}

void Profile::removeTool(ToolKind kind) {
    std::erase(tools_, kind);
}

bool Profile::uses(ToolKind kind) const {
    return std::find(tools_.begin(), tools_.end(), kind) != tools_.end();
}

void to_json(nlohmann::json& j, const Profile& p) {
    nlohmann::json tools = nlohmann::json::array();
    for (auto t : p.tools()) {
        tools.push_back(rawValue(t));
    }
    // Member by member: an initializer list would copy every value once more, and a
    // profiles file may hold thousands of profiles.
    j = nlohmann::json::object();
    j["badge"] = p.badge;
    j["color"] = rawValue(p.color);
    j["id"] = p.id.rawValue;
    j["name"] = p.name;
    j["storage"] = rawValue(p.storage);
    j["tools"] = std::move(tools);
}

} // namespace twinlantern
