#pragma once

#include <string>

class QMenu;

namespace twinlantern::app {

// The app's windows, as the start-up and the commands reach them. The interface
// library implements it over the real windows; tests use a recording stand-in.
// Main thread only.
class AppWindows {
public:
    virtual ~AppWindows() = default;

    // Called once at start-up, before any window is asked for (not in snapshot mode).
    // Makes what must exist early; the settings window's opener goes into
    // SettingsOpener::setAction here or whenever the window is made, tray or not.
    virtual void prepare() = 0;
    // The onboarding window (no profiles yet).
    virtual void showOnboarding() = 0;
    // The single "TwinLantern Help" window.
    virtual void showHelp() = 0;
    // Renders every snapshot into folder; false when that failed.
    virtual bool renderSnapshots(const std::string& folder) = 0;
    // The menu the tray icon opens; null for none (yet). Owned by the windows.
    virtual QMenu* trayMenu() { return nullptr; }
};

} // namespace twinlantern::app
