#pragma once

#include "TwinLanternApp/app/AppWindows.h"

#include <QObject>

#include <functional>
#include <memory>

class QWidget;

namespace twinlantern::app {

class AppCommands;
class AppModel;

// Plain windows for the app until the interface's own take their place: a settings
// window, an onboarding window and the help window with a line of text each, and a tray
// menu with Settings… and Quit. No snapshots: rendering makes the folder and says so.
class BasicWindows final : public QObject, public AppWindows {
    Q_OBJECT
public:
    BasicWindows(AppModel& model, AppCommands& commands, std::function<void()> quit);
    ~BasicWindows() override;

    void prepare() override;
    void showOnboarding() override;
    void showHelp() override;
    bool renderSnapshots(const std::string& folder) override;
    QMenu* trayMenu() override { return menu_.get(); }

    QWidget* settingsWindow() const { return settings_.get(); }

private:
    AppModel& model_;
    AppCommands& commands_;
    std::function<void()> quit_;
    std::unique_ptr<QWidget> settings_;
    std::unique_ptr<QWidget> onboarding_;
    std::unique_ptr<QWidget> help_;
    std::unique_ptr<QMenu> menu_;
};

} // namespace twinlantern::app
