#pragma once

#include "core/base/Paths.h"
#include "core/tools/ToolStatus.h"
#include "platform/Workspace.h"

#include <string>
#include <string_view>

namespace twinlantern::SignInLauncher {

// The title as it may reach a terminal (text::terminalSafe), so an imported name's escape
// sequences show instead of acting.
std::string inertTitle(std::string_view title);

// The self-deleting script that runs the command under the title and PATH.
std::string scriptText(const SignInCommand& command, std::string_view title,
                       std::string_view searchPath);

// The scratch folder for the scripts, whose path no terminal splits or expands (Debian's
// xfce4-terminal takes "-e <script>" as a command line and splits it at spaces):
// "$XDG_RUNTIME_DIR/twinlantern-sign-in" when the runtime folder is the user's own,
// private and its path plain; else "$XDG_CACHE_HOME/twinlantern/sign-in" (~/.cache)
// when that path is plain; else a new private folder in $TMPDIR (plain) or /tmp. Throws
// TwinLanternError when even that can't be made.
std::string scriptDirectory(const Environment& environment, const std::string& home);

// Whether a path holds only what every terminal passes on as it is.
bool isPlainPath(std::string_view path);

// Writes the script into the scratch folder (made 0700 when missing) as
// "sign-in-XXXXXXXX.command", mode 0700, and opens it in a terminal; its path. Throws
// TwinLanternError; a script the terminal refused stays.
std::string openTerminal(platform::Workspace& workspace, const SignInCommand& command,
                         std::string_view title, std::string_view searchPath,
                         const std::string& scratchDirectory);

} // namespace twinlantern::SignInLauncher
