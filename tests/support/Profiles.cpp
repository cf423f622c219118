#include "tests/support/Profiles.h"

#include <optional>

namespace twinlantern::testing {

Profile profile(const std::string& id, const std::string& name, Profile::Storage storage,
                std::vector<ToolKind> tools) {
    return Profile(ProfileID(id), name, ProfileColor::blue, std::nullopt, std::move(tools),
                   storage);
}

Profile profile(const std::string& id, Profile::Storage storage, std::vector<ToolKind> tools) {
    return profile(id, "Work", storage, std::move(tools));
}

} // namespace twinlantern::testing
