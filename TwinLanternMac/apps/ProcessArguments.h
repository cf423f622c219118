#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// Reads other processes' command lines to tell one profile's app instance from another.
namespace ProcessArguments {

// The process's arguments, argument 0 first; nothing when they can't be read (no such
// process, another user's, a zombie or kernel thread with an empty command line, pid <= 0).
std::optional<std::vector<std::string>> arguments(pid_t pid);

// The kernel-style buffer: a 32-bit count in host order, the executable's path, NUL,
// optional NUL padding, then the argument strings each ending in NUL.
std::optional<std::vector<std::string>> parse(std::string_view buffer);

// The buffer that `parse` reads, assembled from /proc/<pid>/cmdline and the executable's
// path. The count is the number of strings in cmdline, an unterminated last one included.
std::string layout(std::string_view cmdline, std::string_view executable);

// The normalised value of "--user-data-dir=<v>", or of "--user-data-dir" and the next
// argument; argument 0 is never looked at; the first match wins.
std::optional<std::string> userDataDirectory(const std::vector<std::string>& arguments);

} // namespace ProcessArguments
} // namespace twinlantern
