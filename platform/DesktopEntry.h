#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Desktop Entry files: the quoting of Exec and the reading of a key.
namespace twinlantern::DesktopEntry {

// One argument as Exec holds it: double-quoted only when it has a reserved character
// (with " ` $ \ escaped), % doubled, then backslashes doubled for the file's string
// escaping. Nothing for an argument with a line break or another control character, which
// Exec can't carry.
std::optional<std::string> execArgument(std::string_view argument);

// Exec's arguments by the inverse rules, field codes left as they stand ("%u"); nothing
// for a value the rules refuse (an unclosed quote, a bad escape).
std::optional<std::vector<std::string>> execArguments(std::string_view value);

// A key file line's piece without the spaces and tabs around it (and a CR at its end).
std::string_view trimmed(std::string_view s);

// The value of key in the [Desktop Entry] group; nothing when it isn't there.
std::optional<std::string> value(std::string_view text, std::string_view key);

} // namespace twinlantern::DesktopEntry
