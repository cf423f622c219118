#pragma once

#include <string>
#include <string_view>

namespace twinlantern::ShellQuote {

// The one POSIX-shell quoting rule for every command line we write or show: bare when
// every scalar is a letter, a number or one of - _ . / : = @ % + , and single-quoted
// otherwise.
std::string quote(std::string_view s);

} // namespace twinlantern::ShellQuote
