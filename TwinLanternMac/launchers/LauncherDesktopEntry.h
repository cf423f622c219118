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

// The entry's text: Type=Application, Name, Exec (the program alone, written by
// DesktopEntry::exec), Icon, StartupNotify=false, X-TwinLantern-Profile. Throws
// TwinLanternError for a program path with a control character no entry can carry.
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
