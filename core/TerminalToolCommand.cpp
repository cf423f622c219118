#include "core/TerminalToolCommand.h"

#include <sys/stat.h>

namespace twinlantern {

Environment TerminalToolCommand::environment(const Environment& context,
                                             const Environment& profileVariables) {
    Environment result = ProcessRunner::baseEnvironment(context);
    for (const auto& [name, value] : profileVariables) {
        result[name] = value;
    }
    return result;
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
