// The account side of Claude Code: what `claude auth status` says, sign-in, sign-out.
#include "core/tools/ClaudeCodeAdapter.h"

#include "core/tools/TerminalToolCommand.h"

#include <nlohmann/json.hpp>

namespace twinlantern {

ToolStatus ClaudeCodeAdapter::status(const Profile& profile) const {
    auto executable = binaryPath();
    if (auto early = TerminalToolCommand::statusBeforeAsking(*this, profile, executable)) {
        return *early;
    }
    ProcessResult result = ProcessRunner::runSync(*executable, {"auth", "status"},
                                                  helperEnvironment(profile), commandTimeout_);
    if (result.timedOut) {
        return ToolStatus::needsAttention("`claude auth status` didn't answer in time.");
    }
    // Only standard output counts; a non-zero exit with a valid answer is that answer.
    auto parsed = parseAuthStatus(result.stdoutText);
    if (!parsed) {
        return ToolStatus::needsAttention("Couldn't read `claude auth status` (exit " +
                                          std::to_string(result.exitCode) + ").");
    }
    if (parsed->loggedIn) {
        return ToolStatus::signedIn(parsed->account);
    }
    return TerminalToolCommand::signedOut(profile);
}

std::optional<SignInCommand> ClaudeCodeAdapter::setUp(const Profile& profile) const {
    return TerminalToolCommand::setUp(*this, profile, binaryPath(), {"auth", "login"},
                                      TerminalToolCommand::OverridingVariables::unset);
}

void ClaudeCodeAdapter::removeData(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
        return;
    }
    TerminalToolCommand::signOutBeforeRemoval(binaryPath(), {"auth", "logout"},
                                              dataDirectory(profile), context().paths,
                                              helperEnvironment(profile), commandTimeout_);
    deleteDataDirectory(profile);
}

std::optional<ClaudeCodeAdapter::AuthStatus>
ClaudeCodeAdapter::parseAuthStatus(std::string_view text) {
    // Banners and warnings around the JSON object are skipped.
    const auto first = text.find('{');
    const auto last = text.rfind('}');
    if (first == std::string_view::npos || last == std::string_view::npos || last < first) {
        return std::nullopt;
    }
    const auto json = nlohmann::json::parse(text.substr(first, last - first + 1), nullptr, false);
    if (!json.is_object()) {
        return std::nullopt;
    }
    const auto loggedIn = json.find("loggedIn");
    if (loggedIn == json.end() || !loggedIn->is_boolean()) {
        return std::nullopt;
    }
    auto string = [&json](const char* key) -> std::optional<std::string> {
        auto it = json.find(key);
        if (it == json.end() || !it->is_string()) {
            return std::nullopt;
        }
        return it->get<std::string>();
    };
    return AuthStatus{loggedIn->get<bool>(),
                      AccountInfo{string("email"), string("orgName"), string("orgId"),
                                  string("subscriptionType"), string("authMethod")}};
}

Environment ClaudeCodeAdapter::helperEnvironment(const Profile& profile) const {
    return TerminalToolCommand::environment(context().environment, environment(profile));
}

} // namespace twinlantern
