#pragma once

#include <QColor>
#include <QRectF>
#include <QSizeF>

class QPainter;

// The few symbols the interface shows, drawn by our own code so they look the same on
// every desktop (no icon theme is asked).
namespace twinlantern::ui::symbols {

enum class Symbol {
    branch,   // two paths parting, with arrows: the app's mark in the tray
    chevron,  // ">" of a submenu
    people,   // two heads: the Profiles tab
    terminal, // a prompt in a window: the Terminal tab
    gear,     // the Advanced tab
    warning,  // a triangle with "!"
};

// The natural size of a symbol drawn at `pointSize`.
QSizeF size(Symbol symbol, double pointSize);
// Draws the symbol into rect in one colour.
void draw(QPainter& painter, Symbol symbol, const QRectF& rect, const QColor& color);

} // namespace twinlantern::ui::symbols
