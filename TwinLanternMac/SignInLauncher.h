#pragma once

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

// Writes the script into the scratch folder (made 0700 when missing) as
// "sign-in-XXXXXXXX.command", mode 0700, and opens it in a terminal; its path. Throws
// TwinLanternError; a script the terminal refused stays.
std::string openTerminal(platform::Workspace& workspace, const SignInCommand& command,
                         std::string_view title, std::string_view searchPath,
                         const std::string& scratchDirectory);

} // namespace twinlantern::SignInLauncher
