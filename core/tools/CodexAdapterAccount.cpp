// The account side of Codex: what `codex login status` says, sign-in, sign-out.
#include "core/tools/CodexAdapter.h"

#include "core/base/Text.h"
#include "core/tools/TerminalToolCommand.h"

#include <vector>

namespace twinlantern {

namespace {

// Lines split at every line end (LF, VT, FF, CR, CR LF, NEL, LS, PS); empty ones dropped.
std::vector<std::string_view> nonEmptyLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    std::size_t i = 0;
    auto cut = [&](std::size_t end, std::size_t width) {
        if (end > start) {
            lines.push_back(text.substr(start, end - start));
        }
        i = end + width;
        start = i;
    };
    while (i < text.size()) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '\n' || c == '\v' || c == '\f') {
            cut(i, 1);
        } else if (c == '\r') {
            cut(i, i + 1 < text.size() && text[i + 1] == '\n' ? 2 : 1);
        } else if (text.substr(i, 2) == "\xC2\x85") {
            cut(i, 2);
        } else if (text.substr(i, 3) == "\xE2\x80\xA8" || text.substr(i, 3) == "\xE2\x80\xA9") {
            cut(i, 3);
        } else {
            ++i;
        }
    }
    cut(text.size(), 0);
    return lines;
}

} // namespace

ToolStatus CodexAdapter::status(const Profile& profile) const {
    auto executable = binaryPath();
    if (auto early = TerminalToolCommand::statusBeforeAsking(*this, profile, executable)) {
        return *early;
    }
    ProcessResult result = ProcessRunner::runSync(*executable, {"login", "status"},
                                                  helperEnvironment(profile), commandTimeout_);
    if (result.timedOut) {
        return ToolStatus::needsAttention("`codex login status` didn't answer in time.");
    }
    // The answer may come on either stream.
    LoginState state = parseLoginStatus(result.combinedOutput());
    switch (state.state) {
    case LoginState::Case::signedIn: {
        AccountInfo account;
        account.method = state.method;
        return ToolStatus::signedIn(account);
    }
    case LoginState::Case::signedOut:
        return TerminalToolCommand::signedOut(profile);
    case LoginState::Case::unknown:
        break;
    }
    return ToolStatus::needsAttention("Couldn't read `codex login status` (exit " +
                                      std::to_string(result.exitCode) + ").");
}

std::optional<SignInCommand> CodexAdapter::setUp(const Profile& profile) const {
    return TerminalToolCommand::setUp(*this, profile, binaryPath(), {"login"},
                                      TerminalToolCommand::OverridingVariables::kept);
}

void CodexAdapter::removeData(const Profile& profile) const {
    if (profile.storage == Profile::Storage::system) {
        return;
    }
    TerminalToolCommand::signOutBeforeRemoval(binaryPath(), {"logout"}, dataDirectory(profile),
                                              context().paths, helperEnvironment(profile),
                                              commandTimeout_);
    deleteDataDirectory(profile);
}

CodexAdapter::LoginState CodexAdapter::parseLoginStatus(std::string_view text) {
    constexpr std::string_view signedInPrefix = "Logged in using ";
    for (std::string_view line : nonEmptyLines(text)) {
        line = text::trimSpacesTabs(line);
        if (line.starts_with(signedInPrefix)) {
            std::string_view method = line.substr(signedInPrefix.size());
            if (method.starts_with("an ")) {
                method.remove_prefix(3);
            }
            if (auto dash = method.find(" - "); dash != std::string_view::npos) {
                method = method.substr(0, dash);
            }
            return {LoginState::Case::signedIn, std::string(method)};
        }
        // What codex 0.169 says after an API-key sign-in, with the masked key after it.
        if (line.starts_with("API key configured")) {
            return {LoginState::Case::signedIn, "API key"};
        }
        if (line.starts_with("Not logged in")) {
            return {LoginState::Case::signedOut, {}};
        }
    }
    return {};
}

Environment CodexAdapter::helperEnvironment(const Profile& profile) const {
    return TerminalToolCommand::environment(context().environment, environment(profile));
}

} // namespace twinlantern
