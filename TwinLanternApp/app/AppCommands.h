#pragma once

#include <QObject>

#include <functional>

class QAction;

namespace twinlantern::app {

// The app's menu commands, as actions the windows place in their menus. Neither has a
// keyboard shortcut.
class AppCommands final : public QObject {
    Q_OBJECT
public:
    // "Check for Updates…" exists only when the bundle is configured for updates now;
    // openHelp opens the help window.
    AppCommands(std::function<void()> openHelp, bool updatesConfigured, QObject* parent = nullptr);

    // Null when updates aren't configured; does nothing without an updater.
    QAction* checkForUpdates() const { return checkForUpdates_; }
    // "TwinLantern Help": opens the help window.
    QAction* help() const { return help_; }

private:
    QAction* checkForUpdates_ = nullptr; // children
    QAction* help_ = nullptr;
};

} // namespace twinlantern::app
