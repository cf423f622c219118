#pragma once

#include "core/base/Paths.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern::cli {

// What every command shares: the environment, the user's paths, and the terminal.
struct Cli {
    Environment environment;
    Paths paths;
    bool colour = false; // stdout is a terminal, NO_COLOR is not set and TERM is not dumb

    explicit Cli(Environment environment);

    // Results go to standard output; a failed write throws.
    void out(std::string_view text) const;
    // `text` in an SGR style ("1" bold, "31" red, ...) when colour is on.
    std::string paint(std::string_view text, std::string_view style) const;

    // Asks on the terminal; false without one, at end of input, or for anything but yes.
    bool stdinIsTerminal() const;
    bool confirm(std::string_view question) const;

    // The environment the system's tools are looked up and run with, as the app builds it.
    Environment toolEnvironment() const;
};

// Text from files, folder names or profiles as it may reach the terminal, line by line:
// text::terminalSafe on each line, the line feeds between them kept.
std::string terminalSafeLines(std::string_view text);

// The programs beside this one, as the app bundle carries them.
struct BundledPrograms {
    std::string resolver;
    std::string cli;
    std::string launcher;
    std::optional<std::string> appPath; // the enclosing .app bundle, when there is one
};

// From /proc/self/exe; throws when this program's own path can't be read.
BundledPrograms bundledPrograms();

// The action a command's options chose, run after parsing succeeded. Returns the exit code.
using Action = std::function<int()>;

} // namespace twinlantern::cli
