#pragma once

#include "TwinLanternApp/ui/frame/Symbols.h"

#include "core/profiles/Profile.h"

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QWidget>

class QPainter;

#include <optional>

// How a profile is recognised: its colour as a dot, in the menu, the tray and the
// windows.
namespace twinlantern::ui {

// The profile colour as an opaque sRGB colour.
QColor profileColor(ProfileColor color);

// A square dot of `diameter` points at the given pixel ratio (the screen's by
// default): an oval inset by half a point, in the profile's colour or, without one, the
// tertiary label colour of the application palette.
namespace DotImage {
QPixmap make(std::optional<ProfileColor> color, double diameter, double ratio = 0);
// The dot for a menu item: as above, and on the item's highlight (its active and
// selected modes) ringed in the highlight's text colour, so no colour vanishes there.
QIcon menuIcon(std::optional<ProfileColor> color, double diameter);
// Rings a dot drawn in `rect` in `ring`, 1.5 points wide, inside the dot's edge.
void drawRing(QPainter& painter, const QRectF& rect, const QColor& ring);
} // namespace DotImage

// The tray's image, 22 × 16 points: our branch glyph flush left and centred, and a 7 × 7
// dot flush right, 1 point above the bottom, in the terminal default's colour. Without
// a colour the dot is clear and the icon is a mask the desktop tints.
namespace MenuBarIcon {
inline constexpr int width = 22;
inline constexpr int height = 16;
QImage image(std::optional<ProfileColor> color, double ratio = 1);
QIcon make(std::optional<ProfileColor> color);
} // namespace MenuBarIcon

// An icon of one of our symbols in one colour, for tabs and menu items.
QIcon symbolIcon(symbols::Symbol symbol, const QColor& color, int size = 16);

// A painted dot of the profile's colour (the neutral one without), `size` × `size`
// points. Decoration only: not in the accessibility tree, the name beside it speaks.
class ProfileDot final : public QWidget {
    Q_OBJECT
public:
    explicit ProfileDot(std::optional<ProfileColor> color, int size = 10,
                        QWidget* parent = nullptr);
    void setColor(std::optional<ProfileColor> color);
    std::optional<ProfileColor> color() const { return color_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<ProfileColor> color_;
    int size_;
};

// Keeps ProfileDot out of the accessibility tree; installed by the first dot made.
void hideDotsFromAccessibility();

} // namespace twinlantern::ui
