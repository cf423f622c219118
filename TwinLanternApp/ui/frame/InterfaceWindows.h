#pragma once

#include "TwinLanternApp/app/AppWindows.h"
#include "TwinLanternApp/ui/frame/HelpWindow.h"

#include <QObject>
#include <QSystemTrayIcon>

#include <functional>
#include <memory>

class QWidget;

namespace twinlantern::app {
class AppCommands;
class ModelBridge;
} // namespace twinlantern::app

namespace twinlantern::ui {

class AppMenu;
class SettingsWindow;

// The app's windows over the interface: the one settings window, the menu (in the tray,
// or in the settings window's menu bar where there is no tray), the tray's image, the
// onboarding and help windows. Main thread only.
class InterfaceWindows final : public QObject, public app::AppWindows {
    Q_OBJECT
public:
    // `quit` asks the app to quit; `trayAvailable` says whether the menu goes to a tray.
    InterfaceWindows(app::ModelBridge& bridge, app::AppCommands& commands,
                     std::function<void()> quit,
                     bool trayAvailable = QSystemTrayIcon::isSystemTrayAvailable());
    ~InterfaceWindows() override;

    void prepare() override;
    void showOnboarding() override;
    void showHelp() override;
    bool renderSnapshots(const std::string& folder) override;
    // The menu when there is a tray; none without (it is in the settings window then).
    QMenu* trayMenu() override;

    AppMenu& appMenu() const { return *menu_; }
    // Null until prepare().
    SettingsWindow* settingsWindow() const { return settings_.get(); }

private:
    void openSettings();

    app::ModelBridge& bridge_;
    app::AppCommands& commands_;
    bool trayAvailable_;
    // Before the windows: the settings window's menu bar may show the menu.
    std::unique_ptr<AppMenu> menu_;
    std::unique_ptr<SettingsWindow> settings_;
    HelpWindow help_;
};

} // namespace twinlantern::ui
