#include "TwinLanternApp/ui/frame/Symbols.h"

#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <numbers>

namespace twinlantern::ui::symbols {
namespace {

// Symbols are drawn on a 16 × 16 grid scaled into the rectangle.
void onGrid(QPainter& painter, const QRectF& rect, double grid) {
    painter.translate(rect.topLeft());
    painter.scale(rect.width() / grid, rect.height() / grid);
}

QPen strokePen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

void arrowHead(QPainterPath& path, QPointF tip, QPointF from, double length) {
    const QPointF d = tip - from;
    const double norm = std::hypot(d.x(), d.y());
    const QPointF u = d / norm;
    const QPointF n(-u.y(), u.x());
    path.moveTo(tip - u * length + n * length * 0.8);
    path.lineTo(tip);
    path.lineTo(tip - u * length - n * length * 0.8);
}

void drawBranch(QPainter& p, const QColor& color) {
    // A stem rising from the bottom, parting into a straight path and one bending
    // right, both ending in arrows.
    QPainterPath path;
    path.moveTo(5, 15.2);
    path.lineTo(5, 1.6);
    arrowHead(path, QPointF(5, 1.2), QPointF(5, 8), 2.6);
    path.moveTo(5, 10.5);
    path.cubicTo(5, 7.5, 11.5, 7.5, 11.5, 3.2);
    path.lineTo(11.5, 1.6);
    arrowHead(path, QPointF(11.5, 1.2), QPointF(11.5, 8), 2.6);
    p.setPen(strokePen(color, 1.7));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void drawChevron(QPainter& p, const QColor& color) {
    QPainterPath path;
    path.moveTo(5.5, 2.5);
    path.lineTo(11, 8);
    path.lineTo(5.5, 13.5);
    p.setPen(strokePen(color, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

void drawPeople(QPainter& p, const QColor& color) {
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(5.5, 5), 2.4, 2.4);
    p.drawEllipse(QPointF(11, 5.5), 2.1, 2.1);
    QPainterPath body;
    body.moveTo(1, 14);
    body.cubicTo(1, 9.5, 10, 9.5, 10, 14);
    body.closeSubpath();
    QPainterPath second;
    second.moveTo(11.3, 14);
    second.lineTo(15, 14);
    second.cubicTo(15, 10.5, 11.5, 9.8, 9.6, 10.6);
    p.drawPath(body);
    p.drawPath(second);
}

void drawTerminal(QPainter& p, const QColor& color) {
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(1, 2, 14, 12), 2, 2);
    QPainterPath prompt;
    prompt.moveTo(4, 6);
    prompt.lineTo(6.5, 8);
    prompt.lineTo(4, 10);
    prompt.moveTo(8, 10.5);
    prompt.lineTo(12, 10.5);
    p.drawPath(prompt);
}

void drawGear(QPainter& p, const QColor& color) {
    QPainterPath outline;
    const QPointF c(8, 8);
    constexpr int teeth = 8;
    for (int i = 0; i < teeth * 4; ++i) {
        const double angle = (i / double(teeth * 4)) * 2 * std::numbers::pi;
        const double r = (i % 4 == 0 || i % 4 == 1) ? 7.2 : 5.6;
        const QPointF at = c + QPointF(std::cos(angle) * r, std::sin(angle) * r);
        if (i == 0) {
            outline.moveTo(at);
        } else {
            outline.lineTo(at);
        }
    }
    outline.closeSubpath();
    outline.addEllipse(c, 2.3, 2.3);
    outline.setFillRule(Qt::OddEvenFill);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(outline);
}

void drawWarning(QPainter& p, const QColor& color) {
    QPainterPath triangle;
    triangle.moveTo(8, 1.5);
    triangle.lineTo(15, 14.5);
    triangle.lineTo(1, 14.5);
    triangle.closeSubpath();
    p.setPen(strokePen(color, 1.3));
    p.setBrush(Qt::NoBrush);
    p.drawPath(triangle);
    p.setPen(strokePen(color, 1.6));
    p.drawLine(QPointF(8, 6), QPointF(8, 9.8));
    p.drawPoint(QPointF(8, 12.3));
}

} // namespace

QSizeF size(Symbol symbol, double pointSize) {
    // The branch is taller than wide, like a letter; the others are square.
    if (symbol == Symbol::branch) {
        return {pointSize, pointSize * 16.0 / 15.0};
    }
    return {pointSize, pointSize};
}

void draw(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    onGrid(painter, rect, 16.0);
    switch (symbol) {
    case Symbol::branch:
        drawBranch(painter, color);
        break;
    case Symbol::chevron:
        drawChevron(painter, color);
        break;
    case Symbol::people:
        drawPeople(painter, color);
        break;
    case Symbol::terminal:
        drawTerminal(painter, color);
        break;
    case Symbol::gear:
        drawGear(painter, color);
        break;
    case Symbol::warning:
        drawWarning(painter, color);
        break;
    }
    painter.restore();
}

} // namespace twinlantern::ui::symbols
