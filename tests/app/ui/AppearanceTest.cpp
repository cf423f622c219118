#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/AppearanceStyle.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "tests/app/ui/Contrast.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstdio>

using namespace twinlantern::ui;
using twinlantern::ui::test::contrast;

namespace {

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

namespace {

// The contrast of a control's frame with the window beside it: the window a few pixels
// left of `rect`, against the strongest pixel of the band where the frame is drawn.
double frameContrast(const QImage& image, const QRect& rect) {
    const int y = rect.center().y();
    const QColor window = image.pixelColor(rect.left() - 4, y);
    double best = 1.0;
    for (int x = rect.left() - 1; x <= rect.left() + 2; ++x) {
        best = std::max(best, contrast(image.pixelColor(x, y), window));
    }
    return best;
}

struct FrameFigures {
    double checkbox = 0, field = 0, button = 0, picker = 0;
};

// The real widgets in one look, drawn with the app's style as the app draws them.
FrameFigures measure(Look look) {
    QApplication::setPalette(appearance::palette(look));
    QWidget window;
    window.setPalette(appearance::palette(look));
    window.setAutoFillBackground(true);
    auto* rows = twinlantern::ui::owned<QVBoxLayout>(&window);
    rows->setContentsMargins(12, 12, 12, 12);
    auto* checkbox =
        twinlantern::ui::owned<QCheckBox>(&window, QStringLiteral("Use profiles in the terminal"));
    auto* field = twinlantern::ui::owned<QLineEdit>(&window);
    field->setPlaceholderText(QStringLiteral("e.g. Codex Work"));
    auto* button = twinlantern::ui::owned<QPushButton>(&window, QStringLiteral("Choose…"));
    auto* picker = twinlantern::ui::owned<QComboBox>(&window);
    picker->addItem(QStringLiteral("None"));
    for (QWidget* control : std::initializer_list<QWidget*>{checkbox, field, button, picker}) {
        rows->addWidget(control, 0, Qt::AlignLeft);
    }
    window.resize(320, 200);
    rows->activate();
    const QImage image = window.grab().toImage();

    QStyleOptionButton option;
    option.initFrom(checkbox);
    const QRect indicator = checkbox->style()
                                ->subElementRect(QStyle::SE_CheckBoxIndicator, &option, checkbox)
                                .translated(checkbox->pos());
    return {frameContrast(image, indicator), frameContrast(image, field->geometry()),
            frameContrast(image, button->geometry()), frameContrast(image, picker->geometry())};
}

TEST(Appearance, ControlFramesStandOutInTheDarkLookAsInTheLight) {
    const QPalette saved = QApplication::palette();
    appearance::installStyle();
    const FrameFigures light = measure(Look::light);
    const FrameFigures dark = measure(Look::dark);
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(saved);

    const struct {
        const char* control;
        double light, dark;
    } figures[] = {{"unticked checkbox", light.checkbox, dark.checkbox},
                   {"text field", light.field, dark.field},
                   {"button", light.button, dark.button},
                   {"picker", light.picker, dark.picker}};
    for (const auto& f : figures) {
        SCOPED_TRACE(f.control);
        std::printf("frame contrast of the %s: light %.2f:1, dark %.2f:1\n", f.control, f.light,
                    f.dark);
        EXPECT_GE(f.dark, 3.0);
        EXPECT_GE(f.dark, f.light);
    }
}

} // namespace
