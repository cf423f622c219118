// Placeholders for the account operations until they are built.
#include "core/ClaudeCodeAdapter.h"

namespace twinlantern {

ToolStatus ClaudeCodeAdapter::status(const Profile&) const {
    return isInstalled() ? ToolStatus::notSetUp() : ToolStatus::notInstalled();
}

std::optional<SignInCommand> ClaudeCodeAdapter::setUp(const Profile& profile) const {
    createDataDirectory(profile);
    auto executable = binaryPath();
    if (!executable) {
        return std::nullopt;
    }
    SignInCommand command{*executable, {"auth", "login"}, environment(profile), {}};
    command.unset.assign(overridingVariables.begin(), overridingVariables.end());
    if (profile.storage == Profile::Storage::system) {
        command.unset.emplace_back(configVariable);
    }
    return command;
}

void ClaudeCodeAdapter::removeData(const Profile& profile) const {
    deleteDataDirectory(profile);
}

std::optional<ClaudeCodeAdapter::AuthStatus> ClaudeCodeAdapter::parseAuthStatus(std::string_view) {
    return std::nullopt;
}

Environment ClaudeCodeAdapter::helperEnvironment(const Profile& profile) const {
    return environment(profile);
}

} // namespace twinlantern
