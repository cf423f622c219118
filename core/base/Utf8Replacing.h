#pragma once

#include <string>
#include <string_view>

namespace twinlantern {

// Bytes as UTF-8 text, each maximal invalid subpart replaced by U+FFFD.
std::string utf8Replacing(std::string_view bytes);

} // namespace twinlantern
