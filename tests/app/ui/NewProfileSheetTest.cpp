#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "tests/support/Profiles.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/ProfilesTabFixture.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::ProfileViewsFixture;

namespace {

struct Sheet {
    std::vector<Profile> created;
    std::unique_ptr<NewProfileSheet> owner;
    NewProfileSheet* sheet;
    explicit Sheet(ProfileViewsFixture& f)
        : owner(std::make_unique<NewProfileSheet>(
              *f.bridge, [this](const Profile& p) { created.push_back(p); })),
          sheet(owner.get()) {
        test::showActive(sheet);
    }
};

const std::set<ToolKind> bothApps{ToolKind::claudeDesktop, ToolKind::chatGPTApp};

TEST(NewProfileSheet, PreTicksTheInstalledAppsOrClaudeDesktopAndNeverATerminalTool) {
    {
        ProfileViewsFixture f; // claude and codex on PATH, no app
        ASSERT_TRUE(f.model->installedTools().contains(ToolKind::codex));
        Sheet s(f);
        EXPECT_EQ(s.sheet->tools()->tools(), std::set<ToolKind>{ToolKind::claudeDesktop});
    }
    {
        ProfileViewsFixture f(true);
        Sheet s(f);
        EXPECT_EQ(s.sheet->tools()->tools(), bothApps);
        EXPECT_EQ(s.sheet->width(), NewProfileSheet::sheetWidth);
    }
}

TEST(NewProfileSheet, CreateIsDisabledForABlankNameOrNoToolsAndReturnThenDoesNothing) {
    ProfileViewsFixture f;
    Sheet s(f);
    QPushButton* create = s.sheet->createButton();
    EXPECT_FALSE(create->isEnabled());
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral(" \t "));
    EXPECT_FALSE(create->isEnabled());
    QTest::keyClick(s.sheet->nameField(), Qt::Key_Return);
    EXPECT_TRUE(s.sheet->isVisible());

    s.sheet->nameField()->setText(QStringLiteral("Side"));
    EXPECT_TRUE(create->isEnabled());
    QTest::mouseClick(s.sheet->tools()->checkBox(ToolKind::claudeDesktop), Qt::LeftButton);
    EXPECT_TRUE(s.sheet->tools()->tools().empty());
    EXPECT_FALSE(create->isEnabled());
    QTest::keyClick(s.sheet->nameField(), Qt::Key_Return);
    EXPECT_TRUE(s.sheet->isVisible());
    EXPECT_TRUE(s.created.empty());
    EXPECT_TRUE(f.stored().profiles.empty());
}

TEST(NewProfileSheet, ReturnCreatesAManagedProfileReportsItAndCloses) {
    ProfileViewsFixture f;
    Sheet s(f);
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral("  Codex Work "));
    QTest::mouseClick(s.sheet->tools()->checkBox(ToolKind::codex), Qt::LeftButton);
    EXPECT_EQ(s.sheet->explanation()->text(),
              QStringLiteral("Gets its own separate logins. You'll sign in once for each."));
    QTest::keyClick(s.sheet->nameField(), Qt::Key_Return);

    const ProfileDocument stored = f.stored();
    ASSERT_EQ(stored.profiles.size(), 1u);
    const Profile made = stored.profiles[0];
    EXPECT_EQ(made.name, "Codex Work");
    EXPECT_EQ(made.color, ProfileColor::blue);
    EXPECT_EQ(made.storage, Profile::Storage::managed);
    EXPECT_EQ(made.tools(), (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
    EXPECT_EQ(s.created, std::vector<Profile>{made});
    EXPECT_FALSE(s.sheet->isVisible());
    EXPECT_EQ(s.sheet->result(), QDialog::Accepted);
}

TEST(NewProfileSheet, ADuplicateNameKeepsTheSheetAndItsInputUnderTheAlert) {
    ProfileDocument document;
    document.profiles.push_back(tltest::profile("work-1", "Work"));
    ProfileViewsFixture f(false, &document);
    Sheet s(f);
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral("work"));
    QTest::mouseClick(s.sheet->createButton(), Qt::LeftButton);
    EXPECT_TRUE(s.sheet->isVisible());
    EXPECT_EQ(s.sheet->nameField()->text(), QStringLiteral("work"));
    EXPECT_EQ(s.sheet->tools()->tools(), std::set<ToolKind>{ToolKind::claudeDesktop});
    EXPECT_TRUE(s.created.empty());
    ASSERT_TRUE(f.model->alert());
    EXPECT_EQ(f.model->alert()->rfind("There's already a profile called", 0), 0u);
    EXPECT_EQ(f.stored(), document);
}

TEST(NewProfileSheet, TheToggleMakesASystemProfileWithItsOwnExplanation) {
    ProfileViewsFixture f;
    Sheet s(f);
    ASSERT_TRUE(s.sheet->existingToggle()->isVisible());
    QTest::mouseClick(s.sheet->existingToggle(), Qt::LeftButton);
    EXPECT_EQ(s.sheet->explanation()->text(),
              QStringLiteral("Uses the logins you already have. Nothing to sign in to."));
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral("Home"));
    QTest::mouseClick(s.sheet->createButton(), Qt::LeftButton);
    ASSERT_EQ(f.stored().profiles.size(), 1u);
    EXPECT_EQ(f.stored().profiles[0].storage, Profile::Storage::system);
}

// A system profile that appears while the sheet is open (from the terminal) hides the
// ticked toggle; Create must then make a managed profile, not ask the store for a
// second system one that the user could no longer untick.
TEST(NewProfileSheet, ATickedToggleThatHidesNoLongerCounts) {
    ProfileViewsFixture f;
    Sheet s(f);
    QTest::mouseClick(s.sheet->existingToggle(), Qt::LeftButton);
    ASSERT_TRUE(s.sheet->existingToggle()->isChecked());
    f.elsewhere([](ProfileDocument& d) {
        d.profiles.push_back(tltest::profile("mine-1", "Mine", Profile::Storage::system));
    });
    EXPECT_FALSE(s.sheet->existingToggle()->isVisible());
    EXPECT_EQ(s.sheet->explanation()->text(),
              QStringLiteral("Gets its own separate logins. You'll sign in once for each."));
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral("Side"));
    QTest::mouseClick(s.sheet->createButton(), Qt::LeftButton);
    EXPECT_EQ(f.model->alert(), std::nullopt);
    const ProfileDocument stored = f.stored();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[1].name, "Side");
    EXPECT_EQ(stored.profiles[1].storage, Profile::Storage::managed);
    EXPECT_FALSE(s.sheet->isVisible());
}

TEST(NewProfileSheet, EscapeCancelsAndCreatesNothing) {
    ProfileViewsFixture f;
    Sheet s(f);
    QTest::keyClicks(s.sheet->nameField(), QStringLiteral("Side"));
    QTest::keyClick(s.sheet->nameField(), Qt::Key_Escape);
    EXPECT_FALSE(s.sheet->isVisible());
    EXPECT_EQ(s.sheet->result(), QDialog::Rejected);
    EXPECT_TRUE(f.stored().profiles.empty());
}

TEST(NewProfileSheet, EveryControlIsNamedAndReachedByTab) {
    ProfileViewsFixture f;
    Sheet s(f);
    EXPECT_EQ(test::unnamedControls(s.sheet), std::vector<std::string>{});
    test::expectTabReachesEveryControl(s.sheet);
}

} // namespace
