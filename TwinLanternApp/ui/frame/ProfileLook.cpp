#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/frame/Appearance.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QGuiApplication>
#include <QPainter>

namespace twinlantern::ui {

QColor profileColor(ProfileColor color) {
    const RGB c = rgb(color);
    return QColor::fromRgbF(float(c.r / 255.0), float(c.g / 255.0), float(c.b / 255.0), 1.0f);
}

namespace DotImage {
QPixmap make(std::optional<ProfileColor> color, double diameter, double ratio) {
    if (ratio <= 0) {
        ratio = qApp != nullptr ? qApp->devicePixelRatio() : 1.0;
    }
    const int pixels = std::max(1, int(std::lround(diameter * ratio)));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color ? profileColor(*color)
                           : appearance::tertiaryLabel(QApplication::palette()));
    painter.drawEllipse(QRectF(0.5, 0.5, diameter - 1.0, diameter - 1.0));
    return pixmap;
}

void drawRing(QPainter& painter, const QRectF& rect, const QColor& ring) {
    constexpr double width = 1.5;
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(ring, width));
    const double inset = 0.5 + width / 2;
    painter.drawEllipse(rect.adjusted(inset, inset, -inset, -inset));
    painter.restore();
}

QIcon menuIcon(std::optional<ProfileColor> color, double diameter) {
    QIcon icon;
    const QColor ring = QApplication::palette().color(QPalette::HighlightedText);
    for (const double ratio : {1.0, 2.0}) {
        icon.addPixmap(make(color, diameter, ratio), QIcon::Normal);
        QPixmap ringed = make(color, diameter, ratio);
        QPainter painter(&ringed);
        drawRing(painter, QRectF(0, 0, diameter, diameter), ring);
        painter.end();
        icon.addPixmap(ringed, QIcon::Active);
        icon.addPixmap(ringed, QIcon::Selected);
    }
    return icon;
}
} // namespace DotImage

namespace MenuBarIcon {
QImage image(std::optional<ProfileColor> color, double ratio) {
    QImage image(int(std::lround(width * ratio)), int(std::lround(height * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    // A mask is tinted by the desktop from its alpha; with a colour the glyph takes the
    // label colour so the dot keeps its own.
    const QColor glyph = color ? appearance::label(QApplication::palette()) : QColor(Qt::black);
    const QSizeF glyphSize = symbols::size(symbols::Symbol::branch, 13);
    symbols::draw(painter, symbols::Symbol::branch,
                  QRectF(QPointF(0, (height - glyphSize.height()) * 0.5), glyphSize), glyph);
    if (color) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(profileColor(*color));
        painter.drawEllipse(QRectF(width - 7, height - 1 - 7, 7, 7));
    }
    return image;
}

QIcon make(std::optional<ProfileColor> color) {
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(image(color, 1)));
    icon.addPixmap(QPixmap::fromImage(image(color, 2)));
    icon.setIsMask(!color.has_value());
    return icon;
}
} // namespace MenuBarIcon

QIcon symbolIcon(symbols::Symbol symbol, const QColor& color, int size) {
    QIcon icon;
    for (const int ratio : {1, 2}) {
        QPixmap pixmap(size * ratio, size * ratio);
        pixmap.setDevicePixelRatio(ratio);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        const QSizeF natural = symbols::size(symbol, size);
        symbols::draw(
            painter, symbol,
            QRectF(QPointF((size - natural.width()) / 2, (size - natural.height()) / 2), natural),
            color);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

namespace {

// What a screen reader is told of a dot: nothing; it is invisible to it.
class HiddenDot final : public QAccessibleWidget {
public:
    explicit HiddenDot(QWidget* widget) : QAccessibleWidget(widget, QAccessible::NoRole) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.invisible = true;
        return s;
    }
    QString text(QAccessible::Text) const override { return {}; }
};

QAccessibleInterface* dotFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("twinlantern::ui::ProfileDot") && object != nullptr &&
        object->isWidgetType()) {
        return new HiddenDot(static_cast<QWidget*>(object));
    }
    return nullptr;
}

} // namespace

void hideDotsFromAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(dotFactory);
        return true;
    }();
    (void)installed;
}

ProfileDot::ProfileDot(std::optional<ProfileColor> color, int size, QWidget* parent)
    : QWidget(parent), color_(color), size_(size) {
    hideDotsFromAccessibility();
    setFixedSize(size_, size_);
}

void ProfileDot::setColor(std::optional<ProfileColor> color) {
    if (color_ != color) {
        color_ = color;
        update();
    }
}

QSize ProfileDot::sizeHint() const {
    return {size_, size_};
}

void ProfileDot::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QColor fill;
    if (color_) {
        fill = profileColor(*color_);
    } else {
        fill = appearance::secondaryLabel(palette());
        fill.setAlphaF(0.4f);
    }
    painter.setBrush(fill);
    const double side = std::min(width(), height());
    painter.drawEllipse(QRectF((width() - side) / 2, (height() - side) / 2, side, side));
}

} // namespace twinlantern::ui
