#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/frame/PlainText.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyle>
#include <QStylePainter>

namespace twinlantern::ui {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent) : QLabel(parent), mode_(mode) {
    setTextFormat(Qt::PlainText);
    setWordWrap(false);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidedLabel::setText(const QString& text) {
    setTextFormat(Qt::PlainText);
    QLabel::setText(text);
    setToolTip(plainToolTip(text));
    updateGeometry();
}

QString ElidedLabel::shownText() const {
    return fontMetrics().elidedText(text(), mode_, contentsRect().width());
}

QSize ElidedLabel::sizeHint() const {
    const QMargins m = contentsMargins();
    return {fontMetrics().horizontalAdvance(text()) + m.left() + m.right() + 1,
            fontMetrics().height() + m.top() + m.bottom()};
}

QSize ElidedLabel::minimumSizeHint() const {
    // Room for a letter each side of the "…"; a shorter text asks for its own width.
    const QMargins m = contentsMargins();
    const int least = fontMetrics().horizontalAdvance(QStringLiteral("W…W"));
    return {std::min(sizeHint().width(), least + m.left() + m.right()), sizeHint().height()};
}

void ElidedLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), int(alignment()) | Qt::TextSingleLine,
                          palette(), isEnabled(), shownText(), foregroundRole());
}

ElidedComboBox::ElidedComboBox(QWidget* parent) : QComboBox(parent) {
    view()->setTextElideMode(Qt::ElideMiddle);
    connect(this, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { setToolTip(plainToolTip(text)); });
}

void ElidedComboBox::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    const QRect field =
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
    int room = field.width() - 2;
    if (!option.currentIcon.isNull()) {
        room -= option.iconSize.width() + 4;
    }
    option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, room);
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

} // namespace twinlantern::ui
