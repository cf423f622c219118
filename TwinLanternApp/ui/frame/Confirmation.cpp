#include "TwinLanternApp/ui/frame/Confirmation.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QApplication>
#include <QColor>
#include <QEvent>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QPalette>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace twinlantern::ui {
namespace {

// Re-colours its button when the look changes: the red follows light and dark.
class DestructiveLook final : public QObject {
public:
    explicit DestructiveLook(QPushButton* button) : QObject(button), button_(button) { apply(); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == button_ && event->type() == QEvent::PaletteChange) {
            apply(); // setting the same colours again changes nothing, so this settles
        }
        return false;
    }

private:
    void apply() {
        QPalette p = button_->palette();
        const QColor red = destructiveRed(p);
        for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
            p.setColor(group, QPalette::ButtonText, red);
        }
        button_->setPalette(p);
    }

    QPushButton* button_;
};

} // namespace

int titleBarWidth(const QMessageBox* box) {
    // The window manager's font is its own: the widest of those Qt knows for titles.
    int text = 0;
    for (QFont font : {QApplication::font(), QApplication::font("QMdiSubWindowTitleBar"),
                       QFontDatabase::systemFont(QFontDatabase::TitleFont)}) {
        font.setBold(true);
        text = std::max(text, QFontMetrics(font).horizontalAdvance(box->windowTitle()));
    }
    return text + titleBarDecorations;
}

void fitTitle(QMessageBox* box) {
    int width = titleBarWidth(box);
    if (const QScreen* screen = box->screen()) {
        // Qt caps a message box at this width whatever its content asks for.
        const int available = screen->availableGeometry().width();
        width = std::min(width, available <= 1024 ? available : std::min(available - 480, 1000));
    }
    // The box is as wide as its layout's minimum: the text label carries the title's.
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        label->setMinimumWidth(width);
    }
}

QColor destructiveRed(const QPalette& palette) {
    return appearance::isDark(palette) ? QColor(0xff, 0x45, 0x3a) : QColor(0xd7, 0x2c, 0x20);
}

void markDestructive(QPushButton* button) {
    button->installEventFilter(owned<DestructiveLook>(button));
    button->setAccessibleDescription(QStringLiteral("Destructive"));
}

} // namespace twinlantern::ui
