#include "TwinLanternMac/services/LoginShellEnvironment.h"

#include "core/tools/ProcessRunner.h"

#include <algorithm>

namespace twinlantern {

std::string LoginShellEnvironment::shell(const Environment& environment) {
    auto it = environment.find("SHELL");
    if (it != environment.end() && !it->second.empty() && it->second.front() == '/') {
        return it->second;
    }
    return "/bin/zsh";
}

Environment LoginShellEnvironment::childEnvironment(const Environment& environment,
                                                    const std::string& home) {
    auto user = environment.find("USER");
    return Environment{
        {"HOME", home},
        {"USER", user == environment.end() ? std::string() : user->second},
        {"SHELL", shell(environment)},
        {"TERM", "dumb"},
        {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"},
    };
}

std::optional<std::string> LoginShellEnvironment::captured(std::string_view output) {
    const auto first = output.find(marker);
    if (first == std::string_view::npos) {
        return std::nullopt;
    }
    const auto start = first + marker.size();
    const auto second = output.find(marker, start);
    if (second == std::string_view::npos || second == start) {
        return std::nullopt;
    }
    return std::string(output.substr(start, second - start));
}

std::vector<std::string> LoginShellEnvironment::fallbackFolders(const std::string& home) {
    return {
        home + "/.local/bin", "/opt/homebrew/bin",
        "/usr/local/bin",     home + "/.npm-global/bin",
        home + "/.volta/bin", home + "/.bun/bin",
        "/usr/bin",           "/bin",
        "/usr/sbin",          "/sbin",
    };
}

std::string LoginShellEnvironment::merged(const std::optional<std::string>& capturedPath,
                                          const std::string& home) {
    std::vector<std::string> pieces;
    std::string_view rest = capturedPath ? std::string_view(*capturedPath) : std::string_view();
    while (!rest.empty()) {
        const auto colon = rest.find(':');
        const auto piece = rest.substr(0, colon);
        if (!piece.empty()) {
            pieces.emplace_back(piece);
        }
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    for (auto& folder : fallbackFolders(home)) {
        if (std::find(pieces.begin(), pieces.end(), folder) == pieces.end()) {
            pieces.push_back(std::move(folder));
        }
    }
    std::string joined;
    for (const auto& piece : pieces) {
        if (!joined.empty()) {
            joined += ':';
        }
        joined += piece;
    }
    return joined;
}

std::string LoginShellEnvironment::path(const Environment& environment, const std::string& home,
                                        double timeoutSeconds) {
    // An interactive shell would take over the caller's terminal and shrug off
    // SIGTERM; in a session of its own it has no terminal, and the timeout reaches
    // everything its start-up files started.
    ProcessOptions options;
    options.ownSession = true;
    const ProcessResult result =
        ProcessRunner::runSync(shell(environment), {"-l", "-i", "-c", std::string(command)},
                               childEnvironment(environment, home), timeoutSeconds, options);
    return merged(captured(result.stdoutText), home);
}

} // namespace twinlantern
