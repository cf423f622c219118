#pragma once

#include "core/base/Paths.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// The PATH the user's login shell builds from its start-up files, which a program
// started from the desktop does not inherit, completed with the usual tool folders.
namespace LoginShellEnvironment {

inline constexpr std::string_view marker = "__TWINLANTERN_PATH__";
// Printed by the shell between two markers.
inline constexpr std::string_view command =
    "printf '__TWINLANTERN_PATH__%s__TWINLANTERN_PATH__' \"$PATH\"";

// Blocking; call off the main thread. Runs the shell ("SHELL" when absolute, else
// /bin/zsh) as an interactive login shell in a session of its own, and never fails:
// whatever goes wrong gives the fallback folders alone.
std::string path(const Environment& environment, const std::string& home, double timeoutSeconds);

// The steps of `path`, for the callers that need one.
std::string shell(const Environment& environment);
Environment childEnvironment(const Environment& environment, const std::string& home);
// The text between the first two markers; nothing when a marker is missing or the
// text between them is empty.
std::optional<std::string> captured(std::string_view output);

std::vector<std::string> fallbackFolders(const std::string& home);
// The captured PATH's non-empty pieces in order, duplicates kept, then each fallback
// folder it lacks; joined with ":".
std::string merged(const std::optional<std::string>& capturedPath, const std::string& home);

} // namespace LoginShellEnvironment
} // namespace twinlantern
