// Placeholders for the account operations until they are built.
#include "core/CodexAdapter.h"

namespace twinlantern {

ToolStatus CodexAdapter::status(const Profile&) const {
    return isInstalled() ? ToolStatus::notSetUp() : ToolStatus::notInstalled();
}

std::optional<SignInCommand> CodexAdapter::setUp(const Profile& profile) const {
    prepare(profile);
    auto executable = binaryPath();
    if (!executable) {
        return std::nullopt;
    }
    SignInCommand command{*executable, {"login"}, environment(profile), {}};
    if (profile.storage == Profile::Storage::system) {
        command.unset.emplace_back(configVariable);
    }
    return command;
}

void CodexAdapter::removeData(const Profile& profile) const {
    deleteDataDirectory(profile);
}

CodexAdapter::LoginState CodexAdapter::parseLoginStatus(std::string_view) {
    return {};
}

Environment CodexAdapter::helperEnvironment(const Profile& profile) const {
    return environment(profile);
}

} // namespace twinlantern
