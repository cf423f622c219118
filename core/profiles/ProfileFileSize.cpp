#include "core/profiles/ProfileFileSize.h"

#include "core/base/Json.h"

#include <algorithm>

namespace twinlantern {

namespace {

// An element of "profiles" or "rules" sits two levels deep: each of its lines is
// indented by four more spaces than on its own.
constexpr std::size_t elementIndent = 4;

std::size_t elementBytes(const nlohmann::json& value) {
    const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    const auto lines = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) + 1;
    return text.size() + lines * elementIndent;
}

} // namespace

std::size_t ProfileFileSize::Array::bytes() const {
    // "[]" when empty, else "[\n", the elements joined by ",\n", then "\n  ]".
    return count == 0 ? 2 : elements + 2 * count + 4;
}

ProfileFileSize::ProfileFileSize(const ProfileDocument& document) {
    ProfileDocument frame = document;
    frame.version = ProfileDocument::currentVersion;
    frame.profiles.clear();
    frame.rules.clear();
    fixed_ = jsonText(nlohmann::json(frame)).size() - 2 * Array{}.bytes();
    for (const Profile& profile : document.profiles) {
        add(profile);
    }
    for (const FolderRule& rule : document.rules) {
        add(rule);
    }
}

void ProfileFileSize::add(const Profile& profile) {
    ++profiles_.count;
    profiles_.elements += elementBytes(nlohmann::json(profile));
}

void ProfileFileSize::add(const FolderRule& rule) {
    ++rules_.count;
    rules_.elements += elementBytes(nlohmann::json(rule));
}

std::size_t ProfileFileSize::bytes() const {
    return fixed_ + profiles_.bytes() + rules_.bytes();
}

} // namespace twinlantern
