#include "core/tools/ClaudeCodeAdapter.h"

namespace twinlantern {

bool ClaudeCodeAdapter::isInstalled() const {
    return binaryPath().has_value();
}

std::optional<std::string> ClaudeCodeAdapter::binaryPath() const {
    return context().locator().find(binaryName);
}

Environment ClaudeCodeAdapter::environment(const Profile& profile) const {
    if (auto folder = dataDirectory(profile)) {
        return {{configVariable, *folder}};
    }
    return {};
}

void ClaudeCodeAdapter::prepare(const Profile& profile) const {
    createDataDirectory(profile);
}

} // namespace twinlantern
