#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/Appearance.h"

#include "tests/app/ui/Accessibility.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <memory>

using namespace twinlantern::ui;

namespace {

const QString hostile = QStringLiteral("<b>R&D</b>");

TEST(PlainText, LabelsShowDataVerbatimNeverAsRichText) {
    ASSERT_TRUE(Qt::mightBeRichText(hostile)); // what Qt would otherwise guess
    std::unique_ptr<QLabel> label(plainLabel(hostile));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    EXPECT_EQ(label->text(), hostile);
    EXPECT_TRUE(test::hasNode(label.get(), QAccessible::StaticText, hostile));
}

TEST(PlainText, ButtonAndActionTextsKeepTheirAmpersand) {
    QPushButton button;
    setButtonText(&button, hostile);
    EXPECT_TRUE(test::hasNode(&button, QAccessible::PushButton, hostile));
    QCheckBox box;
    setButtonText(&box, QStringLiteral("A & B"));
    EXPECT_TRUE(test::hasNode(&box, QAccessible::CheckBox, QStringLiteral("A & B")));
    // A mnemonic would have taken the D as a shortcut and dropped the "&".
    QMenu menu;
    menu.addAction(mnemonicSafe(std::string_view("<b>R&D</b>")));
    EXPECT_TRUE(test::hasNode(&menu, QAccessible::MenuItem, hostile));
    EXPECT_EQ(mnemonicSafe(QStringLiteral("a\tb&&")), QStringLiteral("a b&&&&"));
}

TEST(PlainText, TooltipsThatLookRichAreEscaped) {
    EXPECT_EQ(plainToolTip(QStringLiteral("Opens this profile's Claude")),
              QStringLiteral("Opens this profile's Claude"));
    QTextDocument shown;
    shown.setHtml(plainToolTip(hostile));
    EXPECT_EQ(shown.toPlainText(), hostile);
}

TEST(PlainText, MessageBoxesShowPlainText) {
    QMessageBox box;
    box.setText(hostile);
    makePlain(&box);
    EXPECT_EQ(box.textFormat(), Qt::PlainText);
    auto labels = box.findChildren<QLabel*>();
    bool found = false;
    for (QLabel* l : labels) {
        if (l->text() == hostile) {
            found = true;
            EXPECT_EQ(l->textFormat(), Qt::PlainText);
        }
    }
    EXPECT_TRUE(found);
}

TEST(PlainText, InvalidUtf8BecomesReplacementCharacters) {
    EXPECT_EQ(qs(std::string_view("ok\xff", 3)), QStringLiteral("ok\uFFFD"));
    EXPECT_EQ(utf8(qs("Zoë")), "Zoë");
}

} // namespace
