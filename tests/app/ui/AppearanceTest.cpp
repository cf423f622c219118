#include "TwinLanternApp/ui/Appearance.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace twinlantern::ui;

namespace {

double contrast(const QColor& a, const QColor& b) {
    auto luminance = [](const QColor& c) {
        auto channel = [](double v) {
            return v <= 0.03928 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) +
               0.0722 * channel(c.blueF());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

TEST(Appearance, LightAndDarkPalettesAreReadable) {
    for (const Look look : {Look::light, Look::dark}) {
        const QPalette p = appearance::palette(look);
        EXPECT_EQ(appearance::isDark(p), look == Look::dark);
        const QColor window = p.color(QPalette::Window);
        // Text, dimmed captions and the orange warning all read on the window and on
        // buttons (dark buttons stay near the window colour).
        EXPECT_GE(contrast(appearance::label(p), window), 7.0);
        EXPECT_GE(contrast(appearance::secondaryLabel(p), window), 4.5);
        EXPECT_GE(contrast(appearance::orange(p), window), 3.0);
        EXPECT_GE(contrast(p.color(QPalette::ButtonText), p.color(QPalette::Button)), 7.0);
        EXPECT_GE(contrast(p.color(QPalette::Text), p.color(QPalette::Base)), 7.0);
    }
    EXPECT_LT(appearance::palette(Look::dark).color(QPalette::Window).lightness() + 150,
              appearance::palette(Look::light).color(QPalette::Window).lightness());
}

TEST(Appearance, NoTextStyleIsSmallerThanNinePoints) {
    const QFont saved = QApplication::font();
    QFont tiny = saved;
    tiny.setPointSizeF(6);
    QApplication::setFont(tiny);
    for (const auto style : {appearance::TextStyle::title, appearance::TextStyle::headline,
                             appearance::TextStyle::body, appearance::TextStyle::callout,
                             appearance::TextStyle::caption, appearance::TextStyle::footnote}) {
        EXPECT_GE(appearance::font(style).pointSizeF(), 9.0);
    }
    EXPECT_GE(appearance::monospace().pointSizeF(), 9.0);
    QApplication::setFont(saved);
    EXPECT_GT(appearance::font(appearance::TextStyle::title).pointSizeF(),
              appearance::font(appearance::TextStyle::body).pointSizeF());
}

TEST(Appearance, ThePortalsSchemeChoosesThePalette) {
    const QPalette saved = QApplication::palette();
    AppearanceFollower follower;
    follower.apply(1);
    EXPECT_EQ(follower.look(), Look::dark);
    EXPECT_TRUE(appearance::isDark(QApplication::palette()));
    follower.apply(2);
    EXPECT_EQ(follower.look(), Look::light);
    EXPECT_FALSE(appearance::isDark(QApplication::palette()));
    follower.apply(0); // no preference reads as light
    EXPECT_EQ(follower.look(), Look::light);
    QApplication::setPalette(saved);
}

} // namespace
