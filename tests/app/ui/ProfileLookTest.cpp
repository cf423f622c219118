#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "tests/app/ui/Accessibility.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <cmath>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

double coveredArea(const QImage& image) {
    double area = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            area += qAlpha(image.pixel(x, y)) / 255.0;
        }
    }
    return area;
}

TEST(DotImage, AColourlessTenPointDotIsANinePointOval) {
    const QPixmap dot = DotImage::make(std::nullopt, 10, 1);
    const QImage image = dot.toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(10, 10));
    // π · 4.5²: a 9-point oval, not the 10-point square's own circle (78.5).
    EXPECT_NEAR(coveredArea(image), 63.6, 2.0);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(image.pixel(9, 9)), 0);
    const QColor centre = image.pixelColor(5, 5);
    const QColor tertiary = appearance::tertiaryLabel(QApplication::palette());
    EXPECT_EQ(centre.rgb(), tertiary.rgb());
    // At a 2× screen the pixmap has twice the pixels and the same size in points.
    const QPixmap sharp = DotImage::make(ProfileColor::purple, 10, 2);
    EXPECT_EQ(sharp.size(), QSize(20, 20));
    EXPECT_EQ(sharp.deviceIndependentSize(), QSizeF(10, 10));
    EXPECT_EQ(sharp.toImage().pixelColor(10, 10).name(), QStringLiteral("#7c3aed"));
}

TEST(MenuBarIcon, PurpleIsNoMaskWithItsDotColourlessIsAMaskClearThere) {
    const QImage purple = MenuBarIcon::image(ProfileColor::purple);
    ASSERT_EQ(purple.size(), QSize(22, 16));
    // The dot: x 15 to 22, 1 point above the bottom, so rows 8 to 15 from the top.
    EXPECT_EQ(purple.pixelColor(18, 11).name(), QStringLiteral("#7c3aed"));
    EXPECT_EQ(qAlpha(purple.pixel(18, 11)), 255);
    EXPECT_EQ(qAlpha(purple.pixel(18, 15)), 0); // the row under the dot stays clear
    EXPECT_EQ(qAlpha(purple.pixel(21, 2)), 0);  // above it too
    EXPECT_FALSE(MenuBarIcon::make(ProfileColor::purple).isMask());

    const QImage none = MenuBarIcon::image(std::nullopt);
    EXPECT_EQ(qAlpha(none.pixel(18, 11)), 0);
    EXPECT_TRUE(MenuBarIcon::make(std::nullopt).isMask());
    // The glyph is there, on the left, in both.
    double glyph = 0;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 14; ++x) {
            glyph += qAlpha(none.pixel(x, y)) / 255.0;
        }
    }
    EXPECT_GT(glyph, 15.0);
    EXPECT_EQ(MenuBarIcon::image(ProfileColor::blue, 2).size(), QSize(44, 32));
}

TEST(ProfileDot, IsPaintedAndNotInTheAccessibilityTree) {
    QWidget row;
    auto* layout = new QHBoxLayout(&row);
    auto* dot = new ProfileDot(ProfileColor::green, 10);
    layout->addWidget(dot);
    layout->addWidget(new QLabel(QStringLiteral("Work")));
    row.show();
    QApplication::processEvents();
    EXPECT_EQ(dot->size(), QSize(10, 10));
    const QImage painted = dot->grab().toImage();
    EXPECT_EQ(painted.pixelColor(5, 5).name(), QStringLiteral("#16a34a"));
    for (const auto& node : test::accessibleNodes(&row)) {
        EXPECT_NE(node.role, QAccessible::NoRole) << node.path;
    }
    EXPECT_EQ(test::accessibleNodes(&row).size(), 2u); // the row and its label
}

TEST(UseForPicker, AppsOnTheFirstRowTerminalToolsOnTheSecond) {
    UseForPicker picker;
    picker.setInstalled({ToolKind::claudeDesktop, ToolKind::claudeCode});
    picker.setTools({ToolKind::claudeCode});
    picker.show();
    QApplication::processEvents();
    QCheckBox* claude = picker.checkBox(ToolKind::claudeDesktop);
    QCheckBox* chatgpt = picker.checkBox(ToolKind::chatGPTApp);
    QCheckBox* code = picker.checkBox(ToolKind::claudeCode);
    QCheckBox* codex = picker.checkBox(ToolKind::codex);
    EXPECT_EQ(claude->y(), chatgpt->y());
    EXPECT_EQ(code->y(), codex->y());
    EXPECT_LT(claude->y(), code->y());
    EXPECT_LT(claude->x(), chatgpt->x());
    EXPECT_EQ(claude->text(), QStringLiteral("Claude app"));
    EXPECT_EQ(codex->text(), QStringLiteral("Codex (terminal)"));
    // Missing tools say so, as part of the checkbox's name; the note is dimmed.
    EXPECT_TRUE(test::hasNode(&picker, QAccessible::CheckBox,
                              QStringLiteral("Codex (terminal) (not installed)")));
    EXPECT_TRUE(test::hasNode(&picker, QAccessible::CheckBox, QStringLiteral("Claude app")));
    EXPECT_TRUE(test::unnamedControls(&picker).empty());
    EXPECT_TRUE(code->isChecked());
    EXPECT_FALSE(codex->isChecked());

    QSignalSpy changed(&picker, &UseForPicker::toolsChanged);
    QTest::mouseClick(codex, Qt::LeftButton); // not installed, still tickable
    EXPECT_EQ(picker.tools(), (std::set<ToolKind>{ToolKind::claudeCode, ToolKind::codex}));
    QTest::mouseClick(code, Qt::LeftButton);
    EXPECT_EQ(picker.tools(), (std::set<ToolKind>{ToolKind::codex}));
    EXPECT_EQ(changed.count(), 2);
    // A click on the dimmed note under the box ticks it too.
    QLabel* note = nullptr;
    for (QLabel* label : picker.findChildren<QLabel*>()) {
        if (label->isVisible() && label->x() == chatgpt->x() &&
            label->y() >= chatgpt->geometry().bottom() && label->y() < codex->y()) {
            note = label;
        }
    }
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral(" (not installed)"));
    EXPECT_NE(note->palette().color(QPalette::WindowText),
              picker.palette().color(QPalette::WindowText));
    QTest::mouseClick(note, Qt::LeftButton);
    EXPECT_TRUE(chatgpt->isChecked());
    EXPECT_TRUE(picker.tools().count(ToolKind::chatGPTApp));
}

} // namespace
