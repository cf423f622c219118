#pragma once

#include <optional>
#include <string>

namespace twinlantern {

// A small file that names one path (app-path, codex-app-path), read as UTF-8 and trimmed
// of white space and line ends at both ends; nothing when it cannot be read, is not a
// regular file, is over 64 KiB or is not UTF-8. An empty text is returned as such.
std::optional<std::string> readPathHint(const std::string& file);

} // namespace twinlantern
