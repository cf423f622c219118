#pragma once

#include "core/base/Paths.h"

#include <string>
#include <string_view>

namespace twinlantern {

// What puts a launcher bundle in docks, app grids and menus: none of them lists ".app"
// folders, all of them list desktop entries.
namespace LauncherDesktopEntry {

// $XDG_DATA_HOME/applications when that is an absolute path, else
// home/.local/share/applications.
std::string applicationsDirectory(const Environment& environment, const std::string& home);

// "app.twinlantern.launcher.<profile id>.desktop" in that folder.
std::string path(const std::string& applicationsDirectory, std::string_view profileID);

// A value of the string type: backslash, newline, tab and return escaped, a leading
// space as "\s".
std::string escapedString(std::string_view value);

// One Exec argument, always quoted: '"', '`', '$' and '\' behind a backslash and '%' as
// "%%", then escaped as a string, since readers undo the string escapes first.
std::string quotedExecArgument(std::string_view argument);

// The entry's text: Type=Application, Name, Exec (the program alone, through
// /usr/bin/env when its path holds "%"), Icon,
// StartupNotify=false, X-TwinLantern-Profile.
std::string text(std::string_view name, std::string_view program, std::string_view icon,
                 std::string_view profileID);

// Writes the entry atomically (0644), creating the folder. Throws
// "Couldn't write <path>: <reason>".
void write(const std::string& entryPath, const std::string& entryText);

// Lets the menus' cache see a changed folder: update-desktop-database on it when that
// program is installed. Its failure changes nothing and is not reported.
void noteChanged(const std::string& applicationsDirectory, const Environment& environment);

} // namespace LauncherDesktopEntry
} // namespace twinlantern
