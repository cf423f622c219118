#include "TwinLanternApp/app/AppCommands.h"

#include "TwinLanternApp/app/UpdaterService.h"

#include <QAction>

namespace twinlantern::app {

AppCommands::AppCommands(std::function<void()> openHelp, bool updatesConfigured, QObject* parent)
    : QObject(parent) {
    if (updatesConfigured) {
        checkForUpdates_ = new QAction(QStringLiteral("Check for Updates…"), this);
        checkForUpdates_->setMenuRole(QAction::NoRole);
        connect(checkForUpdates_, &QAction::triggered, this, [] {
            if (auto& controller = UpdaterService::shared().controller) {
                controller->checkForUpdates();
            }
        });
    }
    help_ = new QAction(QStringLiteral("TwinLantern Help"), this);
    help_->setMenuRole(QAction::NoRole);
    connect(help_, &QAction::triggered, this, [openHelp = std::move(openHelp)] { openHelp(); });
}

} // namespace twinlantern::app
