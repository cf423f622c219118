#include "core/tools/TerminalToolCommand.h"

#include "core/base/PathUtil.h"
#include "core/base/ToolKind.h"

#include <sys/stat.h>

#include <utility>

namespace twinlantern {

Environment TerminalToolCommand::environment(const Environment& context,
                                             const Environment& profileVariables) {
    Environment result = ProcessRunner::baseEnvironment(context);
    for (const auto& [name, value] : profileVariables) {
        result[name] = value;
    }
    return result;
}

std::optional<ToolStatus>
TerminalToolCommand::statusBeforeAsking(const ToolAdapter& adapter, const Profile& profile,
                                        const std::optional<std::string>& executable) {
    if (!executable) {
        return ToolStatus::notInstalled();
    }
    if (profile.storage == Profile::Storage::managed) {
        auto folder = adapter.dataDirectory(profile);
        if (!folder || !PathUtil::isDirectory(*folder)) {
            return ToolStatus::notSetUp();
        }
    }
    return std::nullopt;
}

std::optional<SignInCommand>
TerminalToolCommand::setUp(const ToolAdapter& adapter, const Profile& profile,
                           const std::optional<std::string>& executable,
                           std::vector<std::string> arguments, OverridingVariables overriding) {
    adapter.prepare(profile);
    if (!executable) {
        return std::nullopt;
    }
    const ToolInfo& info = toolInfo(adapter.kind());
    SignInCommand command{*executable, std::move(arguments), adapter.environment(profile), {}};
    if (overriding == OverridingVariables::unset) {
        command.unset.assign(info.overridingVariables.begin(), info.overridingVariables.end());
    }
    if (profile.storage == Profile::Storage::system) {
        command.unset.emplace_back(info.configVariable);
    }
    return command;
}

ToolStatus TerminalToolCommand::signedOut(const Profile& profile) {
    return profile.storage == Profile::Storage::managed
               ? ToolStatus::needsAttention("Signed out. Sign in again.")
               : ToolStatus::notSetUp();
}

void TerminalToolCommand::signOutBeforeRemoval(const std::optional<std::string>& executable,
                                               const std::vector<std::string>& arguments,
                                               const std::optional<std::string>& folder,
                                               const Paths& paths, const Environment& environment,
                                               double timeoutSeconds) {
    if (!executable || !folder || !paths.isInsideSupportDirectory(*folder)) {
        return;
    }
    struct stat st {};
    if (::lstat(folder->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        return;
    }
    ProcessRunner::runSync(*executable, arguments, environment, timeoutSeconds);
}

} // namespace twinlantern
