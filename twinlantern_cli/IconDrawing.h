#pragma once

#include "twinlantern_cli/Cli.h"

#include <string>

namespace twinlantern::cli {

// While one stands, writeLauncherIcons (LauncherIcons.h) draws in the twinlantern-icons
// program, so this tool never loads Qt itself: only building launchers draws, and every
// other command starts as fast as the core allows.
class IconDrawing {
public:
    IconDrawing(std::string helper, Environment environment);
    ~IconDrawing();
    IconDrawing(const IconDrawing&) = delete;
    IconDrawing& operator=(const IconDrawing&) = delete;

    const std::string& helper() const { return helper_; }
    const Environment& environment() const { return environment_; }

private:
    std::string helper_;
    Environment environment_;
};

// The drawing program beside this one, else in the app bundle the shell install recorded
// (the installed copy of this tool in ~/.twinlantern/libexec has none beside it).
std::string iconHelperPath(const Cli& cli);

} // namespace twinlantern::cli
