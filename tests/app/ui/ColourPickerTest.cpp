#include "TwinLanternApp/ui/profiles/ColourPicker.h"

#include "tests/app/ui/Accessibility.h"

#include <QAccessible>
#include <QImage>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// Whether the swatch shows its ring: a pixel on the ring, outside the dot, is painted.
bool ringShows(ColourSwatch* swatch) {
    QImage image(swatch->size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    swatch->render(&image, QPoint(), QRegion(), QWidget::RenderFlags()); // no background
    return qAlpha(image.pixel(11, 1)) > 0; // top of the ring, 2 points above the dot
}

TEST(ColourPicker, ShowsExactlyOneRingAndReportsOnlyTheSelectionChecked) {
    ColourPicker picker(ProfileColor::purple, {});
    picker.show();
    for (ProfileColor color : allProfileColors) {
        ColourSwatch* swatch = picker.swatch(color);
        const bool selected = color == ProfileColor::purple;
        EXPECT_EQ(ringShows(swatch), selected) << rawValue(color);
        QAccessibleInterface* node = QAccessible::queryAccessibleInterface(swatch);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node->text(QAccessible::Name), colourName(color));
        EXPECT_EQ(bool(node->state().checked), selected) << rawValue(color);
    }
    EXPECT_EQ(colourName(ProfileColor::graphite), QStringLiteral("Graphite"));
    EXPECT_TRUE(test::unnamedControls(&picker).empty());
}

TEST(ColourPicker, AClickAlwaysReportsAndTheLookWaitsForTheCaller) {
    std::vector<ProfileColor> picked;
    ColourPicker picker(ProfileColor::blue, [&](ProfileColor c) { picked.push_back(c); });
    picker.show();
    QTest::mouseClick(picker.swatch(ProfileColor::blue), Qt::LeftButton);
    QTest::mouseClick(picker.swatch(ProfileColor::pink), Qt::LeftButton);
    EXPECT_EQ(picked, (std::vector<ProfileColor>{ProfileColor::blue, ProfileColor::pink}));
    // Nothing saved the pick, so the selection is still blue.
    EXPECT_TRUE(picker.swatch(ProfileColor::blue)->isChecked());
    EXPECT_FALSE(picker.swatch(ProfileColor::pink)->isChecked());
    EXPECT_TRUE(ringShows(picker.swatch(ProfileColor::blue)));
    EXPECT_FALSE(ringShows(picker.swatch(ProfileColor::pink)));

    picker.setSelection(ProfileColor::pink);
    EXPECT_FALSE(ringShows(picker.swatch(ProfileColor::blue)));
    EXPECT_TRUE(ringShows(picker.swatch(ProfileColor::pink)));
    // The keyboard reaches and presses a swatch as well.
    picker.swatch(ProfileColor::green)->setFocus();
    QTest::keyClick(picker.swatch(ProfileColor::green), Qt::Key_Space);
    EXPECT_EQ(picked.back(), ProfileColor::green);
}

} // namespace
