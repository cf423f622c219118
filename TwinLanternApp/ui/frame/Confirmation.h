#pragma once

class QColor;
class QMessageBox;
class QPalette;
class QPushButton;

namespace twinlantern::ui {

// The room a window manager takes around a title besides its text: the title bar's
// buttons, its icon and borders.
inline constexpr int titleBarDecorations = 160;

// The width the title bar needs to show the box's title whole (with a bold title font).
int titleBarWidth(const QMessageBox* box);

// Keeps a confirmation at least as wide as its title needs in the title bar (Qt sizes a
// message box by its texts and measures the title too narrowly for a real title bar).
// Call after the title is set.
void fitTitle(QMessageBox* box);

// The destructive role's red for the palette it is drawn on.
QColor destructiveRed(const QPalette& palette);

// Draws a destructive button's text in red, again whenever the look changes, and says
// so to assistive technology (Fusion draws the destructive role like any other).
void markDestructive(QPushButton* button);

} // namespace twinlantern::ui
