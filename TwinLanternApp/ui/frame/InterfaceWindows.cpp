#include "TwinLanternApp/ui/frame/InterfaceWindows.h"
#include "TwinLanternApp/ui/frame/AppMenu.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/frame/SnapshotRenderer.h"

#include "TwinLanternApp/app/AppCommands.h"
#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/app/SettingsOpener.h"
#include "platform/SystemLog.h"

#include <QCoreApplication>
#include <QEvent>
#include <QMenu>

namespace twinlantern::ui {
namespace {

// Out of the Dock or another app's way: shown, unminimised, on top and focused.
void bringForward(QWidget& window) {
    window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.show();
    window.raise();
    window.activateWindow();
}

} // namespace

InterfaceWindows::InterfaceWindows(app::ModelBridge& bridge, app::AppCommands& commands,
                                   std::function<void()> quit, bool trayAvailable)
    : bridge_(bridge), commands_(commands), trayAvailable_(trayAvailable) {
    // The tray takes the menu before start-up prepares the windows.
    menu_ = std::make_unique<AppMenu>(
        bridge_, AppMenu::Handlers{[] { app::SettingsOpener::open(); },
                                   [this] { showOnboarding(); }, std::move(quit)});
}

InterfaceWindows::~InterfaceWindows() {
    app::SettingsOpener::setAction({});
    // The first-run window deletes itself on close; it must not outlive the bridge.
    if (QWidget* onboarding = OnboardingWindow::window()) {
        onboarding->close();
        QCoreApplication::sendPostedEvents(onboarding, QEvent::DeferredDelete);
    }
}

void InterfaceWindows::prepare() {
    // Made now, hidden, so the model's alert shows even before the window is opened (a
    // failed choice in the tray menu) and the menu bar holds the menu without a tray.
    AdvancedTabServices advanced;
    advanced.openHelp = [this] {
        showHelp();
    };
    settings_ = std::make_unique<SettingsWindow>(bridge_, std::move(advanced));
    if (!trayAvailable_) {
        settings_->setAppMenu(menu_->menu());
    }
    QMenu* help = owned<QMenu>(settings_.get(), QStringLiteral("Help"));
    if (QAction* updates = commands_.checkForUpdates()) {
        help->addAction(updates);
    }
    help->addAction(commands_.help());
    settings_->addMenu(help);
    app::SettingsOpener::setAction([this] { openSettings(); });
}

void InterfaceWindows::openSettings() {
    if (settings_) {
        bringForward(*settings_);
    }
}

QMenu* InterfaceWindows::trayMenu() {
    return trayAvailable_ ? menu_->menu() : nullptr;
}

void InterfaceWindows::showOnboarding() {
    if (trayAvailable_) {
        OnboardingWindow::show(bridge_, Tray::available);
        return;
    }
    // Without a tray nothing else would be left on screen to come back to.
    OnboardingWindow::show(bridge_, Tray::none, [] { app::SettingsOpener::open(); });
}

void InterfaceWindows::showHelp() {
    help_.show();
}

bool InterfaceWindows::renderSnapshots(const std::string& folder) {
    const auto log = platform::makeStandardErrorLog();
    return SnapshotRenderer::renderAll(folder, platform::Logger(*log, "snapshots"));
}

} // namespace twinlantern::ui
