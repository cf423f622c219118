#include "TwinLanternApp/ui/frame/WrappingLabel.h"

#include <QPainter>
#include <QTextLayout>

#include <cmath>

namespace twinlantern::ui {

WrappingLabel::WrappingLabel(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);
    setWordWrap(true);
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrappingLabel::layOut(QTextLayout& layout, int width) const {
    QTextOption option(alignment() & Qt::AlignHorizontal_Mask);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setFont(font());
    layout.beginLayout();
    qreal y = 0;
    const qreal lineWidth = std::max(1, width);
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(lineWidth);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return static_cast<int>(std::ceil(y));
}

int WrappingLabel::heightForWidth(int width) const {
    const QMargins m = contentsMargins();
    QTextLayout layout(text());
    return layOut(layout, width - m.left() - m.right()) + m.top() + m.bottom();
}

QSize WrappingLabel::sizeHint() const {
    // As wide as the text on one line, up to the width a plain wrapped label would take.
    const QMargins m = contentsMargins();
    const int oneLine = fontMetrics().horizontalAdvance(text()) + 1;
    const int width =
        std::min(oneLine, fontMetrics().averageCharWidth() * 80) + m.left() + m.right();
    return {width, heightForWidth(width)};
}

QSize WrappingLabel::minimumSizeHint() const {
    const QMargins m = contentsMargins();
    const int least = fontMetrics().horizontalAdvance(QStringLiteral("W")) + m.left() + m.right();
    return {least, fontMetrics().height() + m.top() + m.bottom()};
}

void WrappingLabel::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    const QRect box = contentsRect();
    QTextLayout layout(text());
    layOut(layout, box.width());
    layout.draw(&painter, box.topLeft());
}

} // namespace twinlantern::ui
