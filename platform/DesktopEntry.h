#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Desktop Entry files: the quoting of Exec and the reading of a key.
namespace twinlantern::DesktopEntry {

// A string value as the file holds it: backslash, line feed, tab and carriage return
// escaped, a leading space as "\s".
std::string escaped(std::string_view value);

// One argument as Exec holds it: double-quoted only when it has a reserved character
// (with " ` $ \ escaped), % doubled, then escaped as a string. Nothing for an argument
// with a control character other than a line feed, tab or carriage return, which no
// string value can carry.
std::optional<std::string> execArgument(std::string_view argument);

// The one Exec writer: the program and its arguments, then the field code ("%u") when
// given. GLib looks for the program's path as it stands, "%%" included, before it expands
// field codes, so a program whose path holds "%" is started through /bin/sh, which takes
// it as one argument whatever else it holds. Nothing when a piece can't be carried.
std::optional<std::string> exec(std::string_view program,
                                const std::vector<std::string>& arguments = {},
                                std::string_view fieldCode = {});

// Exec's arguments by the inverse rules, field codes left as they stand ("%u"); nothing
// for a value the rules refuse (an unclosed quote, a bad escape).
std::optional<std::vector<std::string>> execArguments(std::string_view value);

// What an Exec value runs: its arguments with exec's /bin/sh wrapper taken off.
std::optional<std::vector<std::string>> command(std::string_view value);

// A key file line's piece without the spaces and tabs around it (and a CR at its end).
std::string_view trimmed(std::string_view s);

// The value of key in the [Desktop Entry] group; nothing when it isn't there.
std::optional<std::string> value(std::string_view text, std::string_view key);

} // namespace twinlantern::DesktopEntry
