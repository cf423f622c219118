#include "twinlantern_cli/Cli.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace twinlantern::cli {

Cli::Cli(Environment environment_)
    : environment(std::move(environment_)), paths(Paths::forCurrentUser(environment)) {
    // NO_COLOR in the environment, whatever its value, turns colour off; a dumb terminal
    // shows escapes as text.
    const auto term = environment.find("TERM");
    colour = ::isatty(STDOUT_FILENO) == 1 && !environment.contains("NO_COLOR") &&
             (term == environment.end() || term->second != "dumb");
}

void Cli::out(std::string_view text) const {
    if (!writeAll(STDOUT_FILENO, text)) {
        throw TwinLanternError::ioErrno("write the output", errno);
    }
}

std::string Cli::paint(std::string_view text, std::string_view style) const {
    if (!colour || text.empty()) {
        return std::string(text);
    }
    return "\033[" + std::string(style) + "m" + std::string(text) + "\033[0m";
}

bool Cli::stdinIsTerminal() const {
    return ::isatty(STDIN_FILENO) == 1;
}

bool Cli::confirm(std::string_view question) const {
    if (!stdinIsTerminal()) {
        return false;
    }
    // The question is not a result, so it goes where a piped stdout can't swallow it.
    (void)writeAll(STDERR_FILENO, std::string(question) + " [y/N] ");
    std::string answer;
    char c = 0;
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, &c, 1);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0 || c == '\n' || answer.size() > 16) {
            break;
        }
        answer += c;
    }
    while (!answer.empty() && (answer.back() == '\r' || answer.back() == ' ')) {
        answer.pop_back();
    }
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

Environment Cli::toolEnvironment() const {
    Environment env = environment;
    env["HOME"] = paths.home;
    if (!env.contains("PATH")) {
        env["PATH"] = "/usr/bin:/bin";
    }
    return env;
}

std::string terminalSafeLines(std::string_view text) {
    std::string out;
    for (;;) {
        const auto lineFeed = text.find('\n');
        out += text::terminalSafe(text.substr(0, lineFeed));
        if (lineFeed == std::string_view::npos) {
            return out;
        }
        out += '\n';
        text.remove_prefix(lineFeed + 1);
    }
}

BundledPrograms bundledPrograms() {
    char exe[4097];
    const ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof exe) {
        throw TwinLanternError::ioErrno("find this program's own folder",
                                        n < 0 ? errno : ENAMETOOLONG);
    }
    const std::string self(exe, static_cast<std::size_t>(n));
    const std::string folder = PathUtil::parent(self);
    BundledPrograms programs{folder + "/twinlantern-resolve", self,
                             folder + "/twinlantern-launcher", std::nullopt};
    constexpr std::string_view helpers = "/Contents/Helpers";
    if (folder.ends_with(helpers)) {
        const std::string bundle = folder.substr(0, folder.size() - helpers.size());
        if (bundle.ends_with(".app")) {
            programs.appPath = bundle;
        }
    }
    return programs;
}

} // namespace twinlantern::cli
