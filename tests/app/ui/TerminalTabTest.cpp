#include "TwinLanternApp/ui/terminal/TerminalTab.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ProfileLook.h"
#include "TwinLanternApp/ui/terminal/FolderAnswer.h"

#include "core/profiles/ProfileStore.h"
#include "core/shell/ShellIntegration.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/ShownNames.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <map>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::UiModel;

namespace {

const Profile work = tltest::profile("work-1", "Work");
const Profile personal = [] {
    Profile p = tltest::profile("home-1", "Personal");
    p.color = ProfileColor::green;
    return p;
}();

// A real model over a temporary home whose bundle holds the built resolver, so turning
// the integration on and off writes the real shell files.
struct TerminalTabTest : ::testing::Test {
    UiModel ui;
    std::unique_ptr<TerminalTab> tab;

    void start(const ProfileDocument& document = {}) {
        ui.fixture.makeBundle();
        ui.fixture.writeDocument(document);
        ui.start();
        tab = std::make_unique<TerminalTab>(*ui.model);
        tab->resize(620, 500);
        test::showActive(tab.get());
    }
    void TearDown() override { tab.reset(); }

    std::string home() const { return ui.fixture.home.home(); }
    std::string read(const char* file) const { return tltest::readFile(home() + "/" + file); }
    void type(const QString& text) {
        tab->folderField()->clear();
        QTest::keyClicks(tab->folderField(), text);
    }
    QString why() const { return tab->result()->whyLabel()->text(); }
    QString name() const { return tab->result()->nameLabel()->text(); }
    // The confirmation that turning the switch off opens, once it is on screen.
    QMessageBox* switchOff() {
        tab->shellSwitch()->click();
        QMessageBox* box = tab->confirmation();
        EXPECT_NE(box, nullptr);
        if (box) {
            EXPECT_TRUE(QTest::qWaitForWindowExposed(box, tltest::patienceMs));
        }
        return box;
    }
    static QAbstractButton* buttonNamed(QMessageBox* box, const QString& text) {
        for (QAbstractButton* button : box->buttons()) {
            if (button->text() == text) {
                return button;
            }
        }
        return nullptr;
    }
};

TEST_F(TerminalTabTest, NothingInstalledAndBinariesWithoutABlockBothReadOff) {
    start();
    const QString off = QStringLiteral("Off. claude and codex use your usual accounts everywhere.");
    EXPECT_FALSE(tab->shellSwitch()->isChecked());
    EXPECT_EQ(tab->statusLine()->text(), off);
    EXPECT_EQ(tab->statusLine()->textFormat(), Qt::PlainText);
    EXPECT_TRUE(tab->warningRow()->isHidden());
    EXPECT_TRUE(tab->result()->isHidden()); // an empty field shows no result

    tltest::writeFile(home() + "/.zshrc", "export A=1\n");
    tab->shellSwitch()->click();
    ASSERT_FALSE(ui.model->alert()) << *ui.model->alert();
    EXPECT_TRUE(tab->shellSwitch()->isChecked());
    EXPECT_EQ(tab->statusLine()->text(),
              QStringLiteral("On. Open a new terminal window to pick it up."));

    // The shortcuts stay, the block goes: installed means both.
    tltest::writeFile(home() + "/.zshrc", "export A=1\n");
    ui.model->reload();
    ASSERT_TRUE(ui.model->shellStatus()->binariesInstalled);
    EXPECT_FALSE(tab->shellSwitch()->isChecked());
    EXPECT_EQ(tab->statusLine()->text(), off);
    EXPECT_TRUE(tab->warningRow()->isHidden());
}

TEST_F(TerminalTabTest, ALineAfterTheSecondFilesBlockShowsTheWarningUntilFix) {
    tltest::writeFile(ui.fixture.home.home() + "/.bashrc", "alias ll='ls -l'\n");
    start();
    tab->shellSwitch()->click();
    ASSERT_TRUE(ui.model->shellStatus()->isInstalled());
    EXPECT_TRUE(tab->warningRow()->isHidden());

    tltest::writeFile(home() + "/.bashrc", read(".bashrc") + "export PATH=/opt/bin:$PATH\n");
    ui.model->reload();
    const auto& blocks = ui.model->shellStatus()->blocks;
    ASSERT_EQ(blocks.size(), 2u);
    EXPECT_TRUE(blocks[0].isLast);
    EXPECT_FALSE(blocks[1].isLast);
    EXPECT_FALSE(tab->warningRow()->isHidden());
    EXPECT_EQ(tab->warningText()->text(),
              QStringLiteral("Something in your shell file now comes after TwinLantern's line"));
    EXPECT_EQ(tab->warningText()->palette().color(QPalette::WindowText),
              appearance::orange(tab->palette()));
    EXPECT_TRUE(tab->shellSwitch()->isChecked()); // still installed

    tab->fixButton()->click();
    for (const auto& block : ui.model->shellStatus()->blocks) {
        EXPECT_TRUE(block.isLast) << block.path;
    }
    EXPECT_TRUE(ShellIntegration::blockIsLast(read(".bashrc")));
    EXPECT_TRUE(ShellIntegration::blockIsLast(read(".zshrc")));
    EXPECT_TRUE(tab->warningRow()->isHidden());
}

TEST_F(TerminalTabTest, OffAsksFirstCancelChangesNothingTurnOffGivesTheFilesBack) {
    const std::map<std::string, std::string> before{
        {".zshrc", "export A=1\n# no newline at the end"}, {".bashrc", "alias ll='ls -l'\n"}};
    for (const auto& [file, bytes] : before) {
        tltest::writeFile(ui.fixture.home.home() + "/" + file, bytes);
    }
    start();
    tab->shellSwitch()->click();
    ASSERT_TRUE(ui.model->shellStatus()->isInstalled());
    const std::string zshInstalled = read(".zshrc");
    const std::string bashInstalled = read(".bashrc");

    QMessageBox* box = switchOff();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(tab->shellSwitch()->isChecked()); // on while the question is open
    EXPECT_EQ(box->text(), QStringLiteral("Turn off profiles in the terminal?"));
    EXPECT_GE(box->width(), test::titleBarNeed(box)); // the title shows whole
    EXPECT_EQ(box->informativeText(),
              QStringLiteral(
                  "Your shell file goes back exactly as it was. Profiles and sign-ins are kept."));
    QAbstractButton* cancel = box->button(QMessageBox::Cancel);
    ASSERT_NE(cancel, nullptr);
    ASSERT_NE(buttonNamed(box, QStringLiteral("Turn Off")), nullptr);
    EXPECT_EQ(box->buttonRole(buttonNamed(box, QStringLiteral("Turn Off"))),
              QMessageBox::AcceptRole);
    cancel->click();
    QApplication::processEvents();
    EXPECT_EQ(tab->confirmation(), nullptr);
    EXPECT_TRUE(tab->shellSwitch()->isChecked());
    EXPECT_TRUE(ui.model->shellStatus()->isInstalled());
    EXPECT_EQ(read(".zshrc"), zshInstalled);
    EXPECT_EQ(read(".bashrc"), bashInstalled);

    // Escape is Cancel too.
    box = switchOff();
    ASSERT_NE(box, nullptr);
    QTest::keyClick(box, Qt::Key_Escape);
    QApplication::processEvents();
    EXPECT_EQ(tab->confirmation(), nullptr);
    EXPECT_TRUE(tab->shellSwitch()->isChecked());
    EXPECT_EQ(read(".zshrc"), zshInstalled);

    box = switchOff();
    ASSERT_NE(box, nullptr);
    buttonNamed(box, QStringLiteral("Turn Off"))->click();
    QApplication::processEvents();
    EXPECT_FALSE(ui.model->alert()) << *ui.model->alert();
    EXPECT_FALSE(tab->shellSwitch()->isChecked());
    for (const auto& [file, bytes] : before) {
        EXPECT_EQ(read(file.c_str()), bytes) << file;
    }
}

TEST_F(TerminalTabTest, ThePickerShowsTheDefaultAndMyUsualAccountsWritesNone) {
    start({1, {work, personal}, {}, personal.id});
    QComboBox* picker = tab->defaultPicker();
    ASSERT_EQ(picker->count(), 3);
    EXPECT_EQ(picker->itemText(0), QStringLiteral("My usual accounts"));
    EXPECT_EQ(picker->itemText(1), test::alone("Work"));
    EXPECT_EQ(picker->itemText(2), test::alone("Personal"));
    EXPECT_EQ(picker->currentIndex(), 2);

    picker->setFocus();
    QTest::keyClick(picker, Qt::Key_Home);
    EXPECT_EQ(ProfileStore(ui.fixture.home.paths).load().cliDefault, std::nullopt);
    EXPECT_EQ(ui.model->document().cliDefault, std::nullopt);
    EXPECT_EQ(picker->currentIndex(), 0);

    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_EQ(ProfileStore(ui.fixture.home.paths).load().cliDefault, work.id);
    EXPECT_EQ(picker->currentIndex(), 1);

    // Another process renames a profile: the entries follow.
    ProfileStore(ui.fixture.home.paths).update([](ProfileDocument& document) {
        document.profiles[1].name = "<b>R&D</b>";
    });
    ui.model->reload();
    EXPECT_EQ(picker->itemText(2), test::alone("<b>R&D</b>"));
    EXPECT_EQ(picker->currentIndex(), 1);

    // A change that can't be saved: the alert, and the picker shows what is stored.
    tltest::removeTree(ui.fixture.home.paths.profilesFile());
    tltest::makeDirs(ui.fixture.home.paths.profilesFile());
    QTest::keyClick(picker, Qt::Key_Down);
    EXPECT_TRUE(ui.model->alert());
    EXPECT_EQ(picker->currentIndex(), 1);
}

TEST_F(TerminalTabTest, EachReasonFollowsTheTypedFolderAndTheDocument) {
    tltest::makeDirs(ui.fixture.home.home() + "/Work/project");
    tltest::makeDirs(ui.fixture.home.home() + "/Side/deep");
    tltest::makeDirs(ui.fixture.home.home() + "/Elsewhere");
    tltest::writeFile(ui.fixture.home.home() + "/Side/.twinlantern", "# mine\nPersonal\n");
    start({1, {work, personal}, {FolderRule("~/Work/**", work.id)}, {}});

    struct Case {
        QString typed, name, why;
        std::optional<ProfileColor> color;
    };
    const Case cases[] = {
        {"~/Work/project", "Work", "because of ~/Work", work.color},
        {home().c_str() + QStringLiteral("/Work/project/"), "Work", "because of ~/Work",
         work.color},
        {"~/Side/deep", "Personal", "because of ~/Side/.twinlantern", personal.color},
        {"~/Elsewhere", "Usual accounts", "(no profile applies)", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        type(c.typed);
        EXPECT_FALSE(tab->result()->isHidden());
        EXPECT_EQ(name(), c.color ? test::alone(c.name.toStdString()) : c.name);
        EXPECT_EQ(why(), c.why);
        EXPECT_EQ(tab->result()->dot()->color(), c.color);
        EXPECT_EQ(tab->result()->nameLabel()->textFormat(), Qt::PlainText);
        EXPECT_EQ(tab->result()->whyLabel()->textFormat(), Qt::PlainText);
        EXPECT_TRUE(tab->result()->warnings().isEmpty());
        EXPECT_EQ(tab->result()->answerRow()->accessibleName(), c.name + " " + c.why);
    }

    // The default is set elsewhere: the same field now reads it, with no keystroke.
    ProfileStore(ui.fixture.home.paths).update([](ProfileDocument& document) {
        document.cliDefault = personal.id;
    });
    ui.model->reload();
    EXPECT_EQ(name(), test::alone("Personal"));
    EXPECT_EQ(why(), QStringLiteral("(default)"));
    EXPECT_EQ(tab->result()->dot()->color(), personal.color);

    tab->folderField()->clear();
    EXPECT_TRUE(tab->result()->isHidden());
}

TEST_F(TerminalTabTest, AFileNamingNoProfileGivesAnOrangeRowVerbatim) {
    tltest::makeDirs(ui.fixture.home.home() + "/Odd/inner");
    tltest::writeFile(ui.fixture.home.home() + "/Odd/.twinlantern", "<b>Nobody</b> & co\n");
    start({1, {work}, {}, {}});
    type(QStringLiteral("~/Odd/inner"));
    const Resolution expected =
        RuleResolver{ui.model->document(), home()}.resolve("~/Odd/inner", home());
    ASSERT_FALSE(expected.warnings.empty());
    QStringList texts;
    for (const std::string& warning : expected.warnings) {
        texts.append(QString::fromStdString(warning));
    }
    EXPECT_EQ(tab->result()->warnings(), texts);
    for (QLabel* label : tab->result()->warningLabels()) {
        EXPECT_EQ(label->textFormat(), Qt::PlainText);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), appearance::orange(tab->palette()));
        EXPECT_TRUE(label->isVisible());
    }
    EXPECT_EQ(name(), QStringLiteral("Usual accounts"));

    // Gone with the next keystroke that leaves the folder.
    type(QStringLiteral("~"));
    EXPECT_TRUE(tab->result()->warnings().isEmpty());
}

TEST_F(TerminalTabTest, SpacesAndRelativePathsResolveFromTheHomeFolder) {
    tltest::makeDirs(ui.fixture.home.home() + "/Work/project");
    tltest::writeFile(ui.fixture.home.home() + "/.twinlantern", "Personal\n");
    start({1, {work, personal}, {FolderRule("~/Work/**", work.id)}, {}});
    type(QStringLiteral("   "));
    EXPECT_FALSE(tab->result()->isHidden());
    EXPECT_EQ(name(), test::alone("Personal"));
    EXPECT_EQ(why(), QStringLiteral("because of ~/.twinlantern"));

    type(QStringLiteral("Work/project"));
    EXPECT_EQ(name(), test::alone("Work"));
    EXPECT_EQ(why(), QStringLiteral("because of ~/Work"));
}

TEST_F(TerminalTabTest, ThePanelFillsTheFieldAbbreviatedAndCancelKeepsIt) {
    start();
    tltest::makeDirs(home() + "/Work");
    type(QStringLiteral("typed"));
    tab->chooseButton()->click();
    QFileDialog* panel = tab->folderPanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
    EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Choose"));
    panel->reject();
    QApplication::processEvents();
    EXPECT_EQ(tab->folderField()->text(), QStringLiteral("typed"));

    for (const auto& [folder, shown] :
         {std::pair<std::string, QString>{home(), "~"}, {home() + "/Work", "~/Work"}}) {
        tab->chooseButton()->click();
        panel = tab->folderPanel();
        ASSERT_NE(panel, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(panel, tltest::patienceMs));
        panel->setDirectory(QString::fromStdString(folder));
        QPushButton* choose = nullptr;
        for (QPushButton* button : panel->findChildren<QPushButton*>()) {
            choose = button->text() == QStringLiteral("Choose") ? button : choose;
        }
        ASSERT_NE(choose, nullptr);
        choose->click();
        QApplication::processEvents();
        EXPECT_EQ(tab->folderField()->text(), shown);
        EXPECT_FALSE(tab->result()->isHidden());
    }
}

TEST_F(TerminalTabTest, DetailsStartClosedAndShowTheBlockPlainWithoutOuterBreaks) {
    start();
    EXPECT_FALSE(tab->disclosure()->isChecked());
    EXPECT_TRUE(tab->details()->isHidden());
    tab->disclosure()->click();
    EXPECT_TRUE(tab->details()->isVisible());
    QLabel* block = tab->blockText();
    const QString text = block->text();
    EXPECT_FALSE(text.startsWith('\n'));
    EXPECT_FALSE(text.endsWith('\n'));
    EXPECT_EQ(text.trimmed(), QString::fromStdString(ShellIntegration::block()).trimmed());
    EXPECT_TRUE(text.startsWith(QString::fromUtf8(ShellIntegration::beginMarker.data(),
                                                  ShellIntegration::beginMarker.size())));
    EXPECT_EQ(block->textFormat(), Qt::PlainText);
    // Drawn in the system's fixed font, monospaced: fontconfig gives some monospace
    // fonts no spacing flag, so the advances show it, not QFontInfo::fixedPitch().
    EXPECT_EQ(QFontInfo(block->font()).family(),
              QFontInfo(QFontDatabase::systemFont(QFontDatabase::FixedFont)).family());
    const QFontMetrics metrics(block->font());
    EXPECT_EQ(metrics.horizontalAdvance(QLatin1Char('i')),
              metrics.horizontalAdvance(QLatin1Char('W')));
    EXPECT_TRUE(block->textInteractionFlags() & Qt::TextSelectableByMouse);
    tab->disclosure()->click();
    EXPECT_TRUE(tab->details()->isHidden());
}

TEST_F(TerminalTabTest, EveryControlIsNamedAndReachedByTab) {
    tltest::writeFile(ui.fixture.home.home() + "/.bashrc", "alias ll='ls -l'\n");
    start({1, {work}, {}, {}});
    tab->shellSwitch()->click();
    tltest::writeFile(home() + "/.bashrc", read(".bashrc") + "export B=2\n");
    ui.model->reload();
    tab->disclosure()->click();
    tltest::makeDirs(home() + "/Odd");
    tltest::writeFile(home() + "/Odd/.twinlantern", "Nobody\n");
    type(QStringLiteral("~/Odd"));
    ASSERT_FALSE(tab->warningRow()->isHidden());
    ASSERT_FALSE(tab->result()->warnings().isEmpty());
    EXPECT_EQ(test::unnamedControls(tab.get()), std::vector<std::string>{});
    test::expectTabReachesEveryControl(tab.get());
}

} // namespace
