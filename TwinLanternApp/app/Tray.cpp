#include "TwinLanternApp/app/Tray.h"

#include "TwinLanternApp/app/AppWindows.h"
#include "TwinLanternApp/app/ModelBridge.h"
#include "core/base/Text.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

namespace twinlantern::app {

namespace {

// A dot in the colour, grey without one, until the windows draw the proper image.
QIcon plainDot(const std::optional<ProfileColor>& colour) {
    QPixmap pixmap(22, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill(128, 128, 128);
    if (colour) {
        const RGB value = rgb(*colour);
        fill = QColor(value.r, value.g, value.b);
    }
    painter.setBrush(fill);
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QRectF(5, 2, 12, 12));
    return QIcon(pixmap);
}

} // namespace

Tray::Tray(ModelBridge& bridge, AppWindows& windows, QObject* parent)
    : QObject(parent), bridge_(bridge), windows_(windows),
      icon_(std::make_unique<QSystemTrayIcon>()) {
    connect(&bridge_, &ModelBridge::changed, this, [this](ModelField field) {
        if (field == ModelField::document) {
            update();
        }
    });
    update();
}

Tray::~Tray() = default;

std::string Tray::labelText(const AppModel& model) {
    std::string text = "TwinLantern, terminal default ";
    const auto terminalDefault = model.terminalDefault();
    text += terminalDefault ? text::bidiIsolated(terminalDefault->name) : std::string("none");
    return text;
}

bool Tray::show() {
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        return false;
    }
    icon_->show();
    return true;
}

bool Tray::shown() const {
    return icon_->isVisible();
}

void Tray::setMenu(QMenu* menu) {
    icon_->setContextMenu(menu);
}

void Tray::update() {
    const AppModel& model = bridge_.model();
    const auto terminalDefault = model.terminalDefault();
    const std::optional<ProfileColor> colour =
        terminalDefault ? std::optional(terminalDefault->color) : std::nullopt;
    QIcon image = windows_.trayIcon(colour);
    icon_->setIcon(image.isNull() ? plainDot(colour) : image);
    icon_->setToolTip(QString::fromStdString(labelText(model)));
}

} // namespace twinlantern::app
