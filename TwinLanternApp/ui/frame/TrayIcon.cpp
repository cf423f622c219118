#include "TwinLanternApp/ui/frame/TrayIcon.h"

#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "core/base/Text.h"

#include <QSystemTrayIcon>

namespace twinlantern::ui {

TrayIcon::TrayIcon(app::ModelBridge& bridge, QObject* parent)
    : QObject(parent), bridge_(bridge), icon_(std::make_unique<QSystemTrayIcon>()) {
    connect(&bridge_, &app::ModelBridge::changed, this, [this](app::ModelField field) {
        if (field == app::ModelField::document) {
            update();
        }
    });
    update();
}

TrayIcon::~TrayIcon() = default;

std::string TrayIcon::labelText(const app::AppModel& model) {
    std::string text = "TwinLantern, terminal default ";
    const auto terminalDefault = model.terminalDefault();
    text += terminalDefault ? text::bidiIsolated(terminalDefault->name) : std::string("none");
    return text;
}

bool TrayIcon::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    icon_->show();
    return true;
}

bool TrayIcon::shown() const {
    return icon_->isVisible();
}

void TrayIcon::setMenu(QMenu* menu) {
    icon_->setContextMenu(menu);
}

void TrayIcon::update() {
    const app::AppModel& model = bridge_.model();
    const auto terminalDefault = model.terminalDefault();
    icon_->setIcon(
        MenuBarIcon::make(terminalDefault ? std::optional(terminalDefault->color) : std::nullopt));
    icon_->setToolTip(QString::fromStdString(labelText(model)));
}

} // namespace twinlantern::ui
