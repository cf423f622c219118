#include "TwinLanternApp/ui/frame/AppearanceStyle.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace twinlantern::ui {

namespace {

QColor frameFor(const QStyleOption& option) {
    const bool focused = (option.state & QStyle::State_HasFocus) != 0;
    if (focused && (option.state & QStyle::State_Enabled) != 0) {
        return appearance::accent(option.palette);
    }
    QColor frame = appearance::controlFrame(option.palette);
    if ((option.state & QStyle::State_Enabled) == 0) {
        // Still drawn, fainter, so a disabled row keeps its shape.
        const QColor window = option.palette.color(QPalette::Window);
        frame = QColor((frame.red() + window.red()) / 2, (frame.green() + window.green()) / 2,
                       (frame.blue() + window.blue()) / 2);
    }
    return frame;
}

} // namespace

AppearanceStyle::AppearanceStyle() : QProxyStyle(QStringLiteral("Fusion")) {}

void AppearanceStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    if (option == nullptr || !appearance::isDark(option->palette)) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    switch (element) {
    case PE_IndicatorCheckBox: {
        // Fusion's fill and mark, then our frame over its own (the same square).
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->translate(0.5, 0.5);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(frameFor(*option)));
        painter->drawRect(option->rect.adjusted(0, 0, -1, -1));
        painter->restore();
        return;
    }
    case PE_FrameLineEdit: {
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->translate(0.5, 0.5);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(frameFor(*option)));
        painter->drawRoundedRect(option->rect.adjusted(0, 0, -1, -1), 2, 2);
        painter->restore();
        return;
    }
    case PE_PanelButtonCommand: {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        const auto* button = qstyleoption_cast<const QStyleOptionButton*>(option);
        if (button != nullptr && (button->features & QStyleOptionButton::Flat) != 0) {
            return;
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->translate(0.5, -0.5);
        painter->setBrush(Qt::NoBrush);
        painter->setPen(QPen(frameFor(*option)));
        painter->drawRoundedRect(option->rect.adjusted(0, 1, -1, 0), 2.0, 2.0);
        painter->restore();
        return;
    }
    default:
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }
}

namespace appearance {
void installStyle() {
    QApplication::setStyle(handedOver<AppearanceStyle>());
}
} // namespace appearance

} // namespace twinlantern::ui
