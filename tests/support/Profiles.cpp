#include "tests/support/Profiles.h"

#include "core/base/Json.h"

#include <optional>
#include <stdexcept>

namespace twinlantern::testing {

Profile profile(const std::string& id, const std::string& name, Profile::Storage storage,
                std::vector<ToolKind> tools) {
    return Profile(ProfileID(id), name, ProfileColor::blue, std::nullopt, std::move(tools),
                   storage);
}

Profile profile(const std::string& id, Profile::Storage storage, std::vector<ToolKind> tools) {
    return profile(id, "Work", storage, std::move(tools));
}

ProfileDocument documentOfSize(std::size_t bytes, std::size_t profiles) {
    ProfileDocument document;
    for (std::size_t i = 0; i < profiles; ++i) {
        document.profiles.push_back(profile("p-" + std::to_string(i), "P" + std::to_string(i)));
    }
    document.rules.push_back({"/x", ProfileID("p-0")});
    const std::size_t base = jsonText(nlohmann::json(document)).size();
    if (base > bytes) {
        throw std::invalid_argument("the profiles don't fit in that size");
    }
    document.rules.back().path += std::string(bytes - base, 'x');
    return document;
}

} // namespace twinlantern::testing
