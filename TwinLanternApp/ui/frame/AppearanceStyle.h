#pragma once

#include <QProxyStyle>

namespace twinlantern::ui {

// Fusion with control frames that stand out in the dark look. Fusion draws every frame
// a shade darker than the window, which reads on a light window and vanishes on a dark
// one; there checkboxes, text fields and buttons take the look's frame colour instead.
class AppearanceStyle final : public QProxyStyle {
    Q_OBJECT
public:
    AppearanceStyle();
    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;
};

namespace appearance {
// Makes the app's style the application's (it takes ownership).
void installStyle();
} // namespace appearance

} // namespace twinlantern::ui
