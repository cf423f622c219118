#pragma once

#include "core/base/Paths.h"
#include "core/base/PropertyList.h"

#include <optional>
#include <string>

namespace twinlantern {

// What a launcher bundle's Info.plist tells the launcher program, with its fallbacks.
struct LauncherSettings {
    // TLUserDataDir when it is a non-empty string; nothing means the ordinary instance.
    std::optional<std::string> dataDir;
    // TLTargetBundleID when it is a string (even empty), else Claude Desktop's.
    std::string target;
    // TLLockDirectory when it is a string (even empty), else fallbackLockDirectory.
    std::string lockDir;

    friend bool operator==(const LauncherSettings&, const LauncherSettings&) = default;
};

// "<X>.app/Contents/Info.plist" when executable lies directly in "<X>.app/Contents/MacOS/".
std::optional<std::string> launcherInfoPlist(const std::string& executable);

// From the bundle's dictionary; none (no bundle, unreadable) gives every fallback.
LauncherSettings launcherSettings(const PropertyList* info, const Environment& environment);

// The lock folder of a launcher that names none: "twinlantern" in $XDG_RUNTIME_DIR when
// that is set and absolute, else the support folder's "desktop", where the app locks.
// Never a folder other users share, such as the temporary folder: one of them could
// make it first.
std::string fallbackLockDirectory(const Environment& environment);

// An empty lock folder would put the lock in "/" and a relative one wherever the launcher
// happens to start: both come only from a damaged bundle. Throws "This launcher has no
// lock folder. Rebuild it: twinlantern launchers install."
void requireLockDirectory(const LauncherSettings& settings);

} // namespace twinlantern
