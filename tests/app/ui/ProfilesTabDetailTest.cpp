#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/profiles/ColourPicker.h"
#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfileFolderChooser.h"
#include "TwinLanternApp/ui/profiles/ProfilesTabList.h"
#include "TwinLanternApp/ui/profiles/ToolRow.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "tests/app/ui/ProfilesTabFixture.h"
#include "tests/support/Profiles.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using namespace std::chrono_literals;
using test::ProfilesTabWindow;
using test::ProfileViewsFixture;

namespace {

ProfileDocument documentOf(std::vector<Profile> profiles) {
    ProfileDocument document;
    document.profiles = std::move(profiles);
    return document;
}

void retype(QLineEdit* field, const QString& text) {
    field->setFocus();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
}

TEST(ProfilesTabDetail, ABlankOrUnchangedNameSavesNothingAndPutsTheStoredNameBack) {
    const ProfileDocument document = documentOf({tltest::profile("work-1", "Work")});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    QLineEdit* name = w.detail()->nameField();
    EXPECT_EQ(name->placeholderText(), QStringLiteral("e.g. Codex Work"));
    const std::string before = tltest::readFile(f.app.home.paths.profilesFile());
    for (const QString& typed :
         {QStringLiteral("  Work  "), QString(), QStringLiteral(" \t "), QStringLiteral("Work")}) {
        SCOPED_TRACE(utf8(typed));
        retype(name, typed);
        QTest::keyClick(name, Qt::Key_Return);
        EXPECT_EQ(name->text(), QStringLiteral("Work"));
        EXPECT_EQ(tltest::readFile(f.app.home.paths.profilesFile()), before);
        EXPECT_EQ(f.model->alert(), std::nullopt);
    }
}

TEST(ProfilesTabDetail, ARenameReplacesAnyBadgeWithTheNewNamesInitials) {
    Profile codex = tltest::profile("codex-work-1", "Codex Work");
    codex.badge = "XY";
    const ProfileDocument document = documentOf({codex});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    QLineEdit* name = w.detail()->nameField();
    retype(name, QStringLiteral(" Personal Mac  "));
    QTest::keyClick(name, Qt::Key_Return);
    const Profile stored = f.stored().profiles.at(0);
    EXPECT_EQ(stored.name, "Personal Mac");
    EXPECT_EQ(stored.badge, "PM");
    EXPECT_EQ(stored.id, codex.id);
    // The field keeps what was typed; the sidebar shows the saved name.
    EXPECT_EQ(name->text(), QStringLiteral(" Personal Mac  "));
    EXPECT_EQ(w.tab->rows()->index(0).data(Qt::DisplayRole).toString(),
              QStringLiteral("Personal Mac"));
}

// Leaving the editor saves its name: another profile, another tab, the window hidden.
TEST(ProfilesTabDetail, LeavingTheEditorCommitsTheName) {
    using Leave = std::function<void(ProfilesTabWindow&)>;
    const std::vector<std::pair<std::string, Leave>> ways{
        {"another profile",
         [](ProfilesTabWindow& w) {
             const QRect row = w.tab->list()->visualRect(w.tab->rows()->index(1));
             QTest::mouseClick(w.tab->list()->viewport(), Qt::LeftButton, {}, row.center());
         }},
        {"another tab",
         [](ProfilesTabWindow& w) {
             w.window->tabs()->setCurrentIndex(1);
         }},
        {"the window closed",
         [](ProfilesTabWindow& w) {
             w.window->close();
         }},
        {"the window hidden",
         [](ProfilesTabWindow& w) {
             w.window->hide();
         }},
    };
    for (const auto& [way, leave] : ways) {
        SCOPED_TRACE(way);
        const ProfileDocument document =
            documentOf({tltest::profile("work-1", "Work"), tltest::profile("home-1", "Home")});
        ProfileViewsFixture f(false, &document);
        ProfilesTabWindow w(f);
        ASSERT_EQ(w.tab->selection(), ProfileID("work-1"));
        retype(w.detail()->nameField(), QStringLiteral("Office"));
        leave(w);
        const ProfileDocument stored = f.stored();
        EXPECT_EQ(stored.profiles.at(0).name, "Office");
        EXPECT_EQ(stored.profiles.at(0).badge, "O");
        EXPECT_EQ(stored.profiles.at(1).name, "Home");
        if (way == "another profile") {
            EXPECT_EQ(w.tab->selection(), ProfileID("home-1"));
            EXPECT_EQ(w.detail()->nameField()->text(), QStringLiteral("Home"));
        }
    }
}

// Leaving an editor whose field was never edited must not rename the profile back.
TEST(ProfilesTabDetail, ARenameFromElsewhereShowsInAnUntouchedFieldAndStays) {
    const ProfileDocument document =
        documentOf({tltest::profile("work-1", "Work"), tltest::profile("home-1", "Home")});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    f.elsewhere([](ProfileDocument& d) { d.profiles[0].name = "Job"; });
    EXPECT_EQ(w.detail()->nameField()->text(), QStringLiteral("Job"));
    w.tab->select(ProfileID("home-1"));
    w.window->close();
    const ProfileDocument stored = f.stored();
    EXPECT_EQ(stored.profiles.at(0).name, "Job");
    EXPECT_EQ(stored.profiles.at(1).name, "Home");
}

TEST(ProfilesTabDetail, ARejectedNameStaysInTheFieldUnderTheAlert) {
    const ProfileDocument document =
        documentOf({tltest::profile("work-1", "Work"), tltest::profile("home-1", "Home")});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    QLineEdit* name = w.detail()->nameField();
    retype(name, QStringLiteral("home"));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_TRUE(f.model->alert());
    EXPECT_EQ(f.model->alert()->rfind("There's already a profile called", 0), 0u);
    EXPECT_NE(w.window->alerts(), nullptr);
    EXPECT_EQ(name->text(), QStringLiteral("home"));
    EXPECT_EQ(f.stored(), document);
}

TEST(ProfilesTabDetail, AColourClickAndEveryToolUntickedAreSavedAtOnce) {
    const ProfileDocument document = documentOf({tltest::profile(
        "work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop, ToolKind::codex})});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    ProfileDetailView* detail = w.detail();
    EXPECT_TRUE(detail->colours()->swatch(ProfileColor::blue)->isChecked());
    QTest::mouseClick(detail->colours()->swatch(ProfileColor::purple), Qt::LeftButton);
    EXPECT_EQ(f.stored().profiles.at(0).color, ProfileColor::purple);
    EXPECT_TRUE(detail->colours()->swatch(ProfileColor::purple)->isChecked());
    EXPECT_FALSE(detail->colours()->swatch(ProfileColor::blue)->isChecked());

    UseForPicker* tools = detail->tools();
    EXPECT_EQ(tools->tools(), (std::set<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
    QTest::mouseClick(tools->checkBox(ToolKind::claudeCode), Qt::LeftButton);
    EXPECT_EQ(
        f.stored().profiles.at(0).tools(),
        (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::claudeCode, ToolKind::codex}));
    for (ToolKind kind : {ToolKind::codex, ToolKind::claudeDesktop, ToolKind::claudeCode}) {
        QTest::mouseClick(tools->checkBox(kind), Qt::LeftButton);
    }
    EXPECT_TRUE(f.stored().profiles.at(0).tools().empty());
    EXPECT_EQ(f.model->alert(), std::nullopt);
    EXPECT_TRUE(detail->toolRows().empty());
    EXPECT_EQ(w.tab->rows()->index(0).data(ProfileListModel::secondLineRole).toString(),
              QStringLiteral("Nothing yet"));
}

std::vector<ToolKind> rowsShown(const ProfileDetailView* detail) {
    std::vector<ToolKind> shown;
    for (const ToolRow* row : detail->toolRows()) {
        shown.push_back(row->tool());
    }
    return shown;
}

TEST(ProfilesTabDetail, AToolFoundNotInstalledHasNoRowButOneNotYetReadHas) {
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeDesktop, ToolKind::codex});
    const ProfileDocument document = documentOf({work});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    EXPECT_EQ(rowsShown(w.detail()),
              (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
    ToolRow* codexRow = w.detail()->toolRows().back();
    f.model->storeStatus(work.id, ToolKind::claudeDesktop, ToolStatus::notInstalled());
    EXPECT_EQ(rowsShown(w.detail()), std::vector<ToolKind>{ToolKind::codex});
    EXPECT_EQ(w.detail()->toolRows().back(), codexRow); // kept, not made anew
    f.model->storeStatus(work.id, ToolKind::claudeDesktop, ToolStatus::notSetUp());
    EXPECT_EQ(rowsShown(w.detail()),
              (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
}

TEST(ProfilesTabDetail, FolderRowsDropTheirEndingShowMissingAndRemoveTheirRule) {
    const Profile work = tltest::profile("work-1", "Work");
    const Profile home = tltest::profile("home-1", "Home");
    ProfileDocument document = documentOf({work, home});
    document.rules = {{"~/code/**", work.id}, {"~/elsewhere", home.id}, {"~/gone/**", work.id}};
    ProfileViewsFixture f(false, &document);
    tltest::makeDirs(f.app.home.home() + "/code");
    ProfilesTabWindow w(f);
    const std::vector<FolderRow>& rows = w.detail()->folderRows();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].path->text(), QStringLiteral("~/code"));
    EXPECT_EQ(rows[1].path->text(), QStringLiteral("~/gone"));
    EXPECT_FALSE(rows[0].missing->isVisible());
    EXPECT_TRUE(rows[1].missing->isVisible());
    EXPECT_EQ(rows[1].missing->text(), QStringLiteral("missing"));
    EXPECT_EQ(rows[1].missing->palette().color(QPalette::WindowText),
              appearance::orange(rows[1].missing->palette()));
    EXPECT_EQ(rows[1].remove->accessibleName(), QStringLiteral("Remove ~/gone"));

    QTest::mouseClick(rows[1].remove, Qt::LeftButton);
    EXPECT_EQ(f.stored().rules,
              (std::vector<FolderRule>{{"~/code/**", work.id}, {"~/elsewhere", home.id}}));
    ASSERT_EQ(w.detail()->folderRows().size(), 1u);
    EXPECT_EQ(w.detail()->folderRows()[0].path->text(), QStringLiteral("~/code"));

    // A folder that goes away is "missing" from the next change of the model on, and
    // comes back with the window.
    tltest::removeTree(f.app.home.home() + "/code");
    f.model->storeStatus(work.id, ToolKind::codex, ToolStatus::notSetUp());
    EXPECT_TRUE(w.detail()->folderRows()[0].missing->isVisible());
    tltest::makeDirs(f.app.home.home() + "/code");
    w.window->hide();
    w.window->show();
    EXPECT_FALSE(w.detail()->folderRows()[0].missing->isVisible());
}

// The shown row follows its folder at the model's next tick, with no other change and
// without the editor being shown again.
TEST(ProfilesTabDetail, AFolderDeletedOrMadeWhileItsRowShowsChangesAtTheNextRefresh) {
    const Profile work = tltest::profile("work-1", "Work");
    ProfileDocument document = documentOf({work});
    document.rules = {{"~/code/**", work.id}};
    ProfileViewsFixture f(false, &document);
    const std::string code = f.app.home.home() + "/code";
    tltest::makeDirs(code);
    // The model as the app runs it, with its timers.
    f.bridge.reset();
    f.model = f.app.model(true);
    f.bridge = std::make_unique<app::ModelBridge>(*f.model);
    ProfilesTabWindow w(f);
    f.app.scheduler.settle();
    const FolderRow& row = w.detail()->folderRows().at(0);
    ASSERT_FALSE(row.missing->isVisible());
    for (const bool there : {false, true}) {
        SCOPED_TRACE(there ? "made again" : "deleted");
        there ? tltest::makeDirs(code) : tltest::removeTree(code);
        EXPECT_EQ(row.missing->isVisible(), there) << "not before the refresh";
        f.app.scheduler.advance(5s);
        EXPECT_EQ(row.missing->isVisible(), !there);
    }
}

QFileDialog* openFolderChooser(ProfilesTabWindow& w) {
    QTest::mouseClick(w.detail()->addFolderButton(), Qt::LeftButton);
    QFileDialog* panel = w.window->findChild<QFileDialog*>();
    EXPECT_NE(panel, nullptr);
    if (panel != nullptr) {
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
        EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Choose"));
        EXPECT_EQ(utf8(panel->windowTitle()), profileFolderMessage);
    }
    return panel;
}

TEST(ProfilesTabDetail, TheFolderChooserOpensInTheHomeFolderWhereverTheAppWasStarted) {
    const ProfileDocument document = documentOf({tltest::profile("work-1", "Work")});
    ProfileViewsFixture f(false, &document);
    tltest::TempDir elsewhere;
    const tltest::WorkingFolder startedIn(elsewhere.path());
    ProfilesTabWindow w(f);
    QFileDialog* panel = openFolderChooser(w);
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->directory().absolutePath().toStdString(), f.app.home.home());
    panel->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(ProfilesTabDetail, TheFolderChooserAddsTheChosenFolderAndCancellingAddsNothing) {
    const ProfileDocument document = documentOf({tltest::profile("work-1", "Work")});
    ProfileViewsFixture f(false, &document);
    const std::string folder = f.app.home.home() + "/Projects/site";
    tltest::makeDirs(folder);
    ProfilesTabWindow w(f);
    EXPECT_EQ(w.detail()->addFolderButton()->text(), QStringLiteral("Add folder\u2026"));

    QFileDialog* panel = openFolderChooser(w);
    ASSERT_NE(panel, nullptr);
    panel->setDirectory(qs(f.app.home.home() + "/Projects"));
    panel->selectFile(qs(folder));
    panel->reject();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(f.stored().rules.empty());
    EXPECT_EQ(w.window->findChild<QFileDialog*>(), nullptr);

    panel = openFolderChooser(w);
    ASSERT_NE(panel, nullptr);
    panel->setDirectory(qs(f.app.home.home() + "/Projects"));
    panel->selectFile(qs(folder));
    static_cast<QDialog*>(panel)->accept(); // QFileDialog hides it
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(f.stored().rules,
              (std::vector<FolderRule>{{"~/Projects/site", ProfileID("work-1")}}));
    ASSERT_EQ(w.detail()->folderRows().size(), 1u);
    EXPECT_EQ(w.detail()->folderRows()[0].path->text(), QStringLiteral("~/Projects/site"));
    EXPECT_FALSE(w.detail()->folderRows()[0].missing->isVisible());
}

// The running refresh, a status refresh and reloads (one with a change from another
// process) redraw the editor in place: the Name field keeps its text, cursor and focus,
// and open dialogs stay open.
TEST(ProfilesTabDetail, ModelChangesWhileTypingKeepTheNameFieldAndOpenDialogs) {
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeCode, ToolKind::codex});
    const ProfileDocument document = documentOf({work});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    ProfileDetailView* detail = w.detail();
    QLineEdit* name = detail->nameField();
    name->setFocus();
    QTest::keyClick(name, Qt::Key_End);
    QTest::keyClicks(name, QStringLiteral(" Mac"));
    QTest::keyClick(name, Qt::Key_Left);
    const auto unchanged = [&](const char* after) {
        SCOPED_TRACE(after);
        EXPECT_EQ(w.detail(), detail);
        EXPECT_EQ(name->text(), QStringLiteral("Work Mac"));
        EXPECT_EQ(name->cursorPosition(), 7);
        EXPECT_TRUE(name->hasFocus());
    };

    f.app.scheduler.advance(5s); // the running refresh
    unchanged("the running refresh");
    f.model->refreshStatuses();
    f.app.scheduler.settle();
    unchanged("a status refresh");
    f.elsewhere([&](ProfileDocument& d) {
        d.rules.emplace_back("~/side", work.id);
        d.profiles[0].color = ProfileColor::pink;
    });
    unchanged("a reload with a change");
    EXPECT_EQ(detail->folderRows().size(), 1u);
    EXPECT_TRUE(detail->colours()->swatch(ProfileColor::pink)->isChecked());

    // Open dialogs survive the same.
    QTest::mouseClick(detail->deleteButton(), Qt::LeftButton);
    QMessageBox* box = detail->deleteConfirmation();
    ASSERT_NE(box, nullptr);
    f.model->reload();
    f.app.scheduler.advance(5s);
    EXPECT_TRUE(box->isVisible());
    box->reject();
    w.tab->showNewProfile();
    NewProfileSheet* sheet = w.tab->newProfileSheet();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClicks(sheet->nameField(), QStringLiteral("Side"));
    f.elsewhere([](ProfileDocument& d) { d.profiles[0].name = "Job"; });
    f.app.scheduler.advance(5s);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->nameField()->text(), QStringLiteral("Side"));
    EXPECT_EQ(w.detail(), detail);
    EXPECT_EQ(name->text(), QStringLiteral("Work Mac"));
    sheet->reject();
}

} // namespace
