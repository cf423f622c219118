#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/profiles/NewProfileSheet.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/profiles/ProfilesTabList.h"

#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/Contrast.h"
#include "tests/app/ui/ProfilesTabFixture.h"
#include "tests/app/ui/ShownNames.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/Profiles.h"

#include "platform/Workspace.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWindow>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::ProfilesTabWindow;
using test::ProfileViewsFixture;

namespace {

const std::vector<ToolKind> terminalTools{ToolKind::claudeCode, ToolKind::codex};

ProfileDocument documentOf(std::vector<Profile> profiles) {
    ProfileDocument document;
    document.profiles = std::move(profiles);
    return document;
}

std::vector<std::string> namesIn(const ProfileDocument& document) {
    std::vector<std::string> names;
    for (const Profile& p : document.profiles) {
        names.push_back(p.name);
    }
    return names;
}

std::vector<std::string> namesShown(const ProfilesTab* tab) {
    std::vector<std::string> names;
    for (int row = 0; row < tab->rows()->rowCount(); ++row) {
        names.push_back(utf8(tab->rows()->index(row).data(Qt::DisplayRole).toString()));
    }
    return names;
}

QString selectedRowName(const ProfilesTab* tab) {
    return tab->list()->currentIndex().data(Qt::DisplayRole).toString();
}

void clickRow(ProfilesTab* tab, int row) {
    const QRect box = tab->list()->visualRect(tab->rows()->index(row));
    QTest::mouseClick(tab->list()->viewport(), Qt::LeftButton, {}, box.center());
}

QPushButton* buttonWithRole(QMessageBox* box, QMessageBox::ButtonRole role) {
    for (QAbstractButton* button : box->buttons()) {
        if (box->buttonRole(button) == role) {
            return qobject_cast<QPushButton*>(button);
        }
    }
    return nullptr;
}

QLabel* informativeLabel(QMessageBox* box) {
    return box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
}

TEST(ProfilesTab, WithNoProfilesBothAddButtonsOpenTheSheetAndACreatedProfileIsSelected) {
    ProfileViewsFixture f;
    ProfilesTabWindow w(f);
    ProfilesTab* tab = w.tab;
    EXPECT_EQ(tab->rows()->rowCount(), 0);
    EXPECT_EQ(tab->detail(), nullptr);
    EXPECT_EQ(tab->emptyText()->text(), QStringLiteral("No profiles yet"));
    EXPECT_TRUE(tab->emptyAddButton()->isVisible());
    EXPECT_TRUE(tab->addButton()->isVisible());
    EXPECT_EQ(tab->addButton()->accessibleName(), QStringLiteral("Add profile"));
    EXPECT_EQ(tab->list()->parentWidget()->width(), ProfilesTab::sidebarWidth);

    QTest::mouseClick(tab->emptyAddButton(), Qt::LeftButton);
    ASSERT_NE(tab->newProfileSheet(), nullptr);
    EXPECT_TRUE(tab->newProfileSheet()->isVisible());
    QTest::keyClick(tab->newProfileSheet()->nameField(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(tab->newProfileSheet(), nullptr);
    EXPECT_TRUE(f.stored().profiles.empty());

    QTest::mouseClick(tab->addButton(), Qt::LeftButton);
    NewProfileSheet* sheet = tab->newProfileSheet();
    ASSERT_NE(sheet, nullptr);
    QTest::keyClicks(sheet->nameField(), QStringLiteral("Side"));
    QTest::keyClick(sheet->nameField(), Qt::Key_Return);
    const ProfileDocument stored = f.stored();
    ASSERT_EQ(namesIn(stored), std::vector<std::string>{"Side"});
    EXPECT_EQ(tab->selection(), stored.profiles[0].id);
    ASSERT_NE(tab->detail(), nullptr);
    EXPECT_EQ(tab->detail()->nameField()->text(), QStringLiteral("Side"));
    EXPECT_EQ(selectedRowName(tab), QStringLiteral("Side"));
    EXPECT_FALSE(tab->emptyState()->isVisible());

    // A second profile from the sheet is selected too; the sheet starts empty again even
    // while the first one still awaits its deletion.
    QTest::mouseClick(tab->addButton(), Qt::LeftButton);
    ASSERT_NE(tab->newProfileSheet(), sheet);
    sheet = tab->newProfileSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->nameField()->text().isEmpty());
    QTest::keyClicks(sheet->nameField(), QStringLiteral("Home"));
    QTest::mouseClick(sheet->createButton(), Qt::LeftButton);
    ASSERT_EQ(namesIn(f.stored()), (std::vector<std::string>{"Side", "Home"}));
    EXPECT_EQ(tab->selection(), f.stored().profiles[1].id);
    EXPECT_EQ(selectedRowName(tab), QStringLiteral("Home"));
}

// Deletes what the tab shows through its confirmation and waits until the model is done.
void deleteSelected(ProfileViewsFixture& f, ProfilesTab* tab) {
    ASSERT_NE(tab->detail(), nullptr);
    QTest::mouseClick(tab->detail()->deleteButton(), Qt::LeftButton);
    QMessageBox* box = tab->detail()->deleteConfirmation();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(buttonWithRole(box, QMessageBox::DestructiveRole), Qt::LeftButton);
    EXPECT_FALSE(box->isVisible());
    const ProfileID id = *tab->selection();
    ASSERT_TRUE(f.app.scheduler.runUntil([&] { return f.model->document().profile(id) == nullptr; },
                                         std::chrono::seconds(40)));
    f.app.scheduler.settle();
}

TEST(ProfilesTab, TheFirstProfileIsSelectedAndADeletedOneLeavesNothingSelected) {
    const ProfileDocument document =
        documentOf({tltest::profile("work-1", "Work"), tltest::profile("home-1", "Home")});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    ProfilesTab* tab = w.tab;
    EXPECT_EQ(namesShown(tab), (std::vector<std::string>{"Work", "Home"}));
    EXPECT_EQ(tab->selection(), ProfileID("work-1"));
    EXPECT_EQ(selectedRowName(tab), QStringLiteral("Work"));

    deleteSelected(f, tab);
    EXPECT_EQ(namesIn(f.stored()), std::vector<std::string>{"Home"});
    EXPECT_EQ(tab->selection(), std::nullopt);
    EXPECT_EQ(tab->detail(), nullptr);
    EXPECT_TRUE(tab->emptyState()->isVisible());
    EXPECT_EQ(tab->emptyText()->text(), QStringLiteral("Select a profile"));
    EXPECT_FALSE(tab->emptyAddButton()->isVisible());
    EXPECT_FALSE(tab->list()->currentIndex().isValid());

    clickRow(tab, 0);
    EXPECT_EQ(tab->selection(), ProfileID("home-1"));
    // A click below the rows leaves nothing selected, as the list shows.
    QTest::mouseClick(tab->list()->viewport(), Qt::LeftButton, {},
                      QPoint(10, tab->list()->viewport()->height() - 5));
    EXPECT_EQ(tab->selection(), std::nullopt);
    EXPECT_EQ(tab->emptyText()->text(), QStringLiteral("Select a profile"));
    clickRow(tab, 0);
    ASSERT_EQ(tab->selection(), ProfileID("home-1"));
    deleteSelected(f, tab);
    EXPECT_TRUE(f.stored().profiles.empty());
    EXPECT_EQ(tab->emptyText()->text(), QStringLiteral("No profiles yet"));
    EXPECT_TRUE(tab->emptyAddButton()->isVisible());
}

TEST(ProfilesTab, SystemAndManagedProfilesReadTheirOwnLinesAndEscapeKeepsTheProfile) {
    const Profile usual = tltest::profile("usual-1", "Usual", Profile::Storage::system);
    const Profile work = tltest::profile("work-1", "Work");
    const ProfileDocument document = documentOf({usual, work});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    ProfilesTab* tab = w.tab;
    const auto second = [&](int row) {
        return tab->rows()->index(row).data(ProfileListModel::secondLineRole).toString();
    };
    EXPECT_EQ(second(0), QStringLiteral("Your existing accounts"));
    EXPECT_EQ(second(1), QStringLiteral("Claude Code (terminal) and Codex (terminal)"));

    struct Case {
        int row;
        bool note;
        QString message;
    };
    for (const Case& c : {Case{0, true, QStringLiteral("Your existing accounts aren't touched.")},
                          Case{1, false,
                               QStringLiteral("Signs ") + test::inTextQ("Work") +
                                   QStringLiteral(" out and deletes its data, including "
                                                  "its Claude Desktop chats.")}}) {
        clickRow(tab, c.row);
        ProfileDetailView* detail = tab->detail();
        ASSERT_NE(detail, nullptr);
        EXPECT_EQ(detail->systemNote()->isVisible(), c.note);
        EXPECT_EQ(detail->systemNote()->text(),
                  QStringLiteral("Uses the accounts you were already signed in to."));
        QTest::mouseClick(detail->deleteButton(), Qt::LeftButton);
        QMessageBox* box = detail->deleteConfirmation();
        ASSERT_NE(box, nullptr);
        EXPECT_TRUE(box->isVisible());
        EXPECT_EQ(informativeLabel(box)->text(), c.message);
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::Cancel));
        QTest::keyClick(box, Qt::Key_Escape);
        EXPECT_FALSE(box->isVisible());
        f.app.scheduler.settle();
        EXPECT_EQ(f.stored(), document);
        EXPECT_NE(tab->detail(), nullptr);
    }
}

TEST(ProfilesTab, TheDeleteConfirmationShowsItsTitleWholeAndDeleteLooksDestructive) {
    for (const std::string name : {"Work", "Acme Corporation Payments Gateway"}) {
        SCOPED_TRACE(name);
        const ProfileDocument document = documentOf({tltest::profile("work-1", name)});
        ProfileViewsFixture f(false, &document);
        ProfilesTabWindow w(f);
        QTest::mouseClick(w.tab->detail()->deleteButton(), Qt::LeftButton);
        QMessageBox* box = w.tab->detail()->deleteConfirmation();
        ASSERT_NE(box, nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(box, tltest::patienceMs));
        EXPECT_EQ(utf8(box->windowHandle()->title()), "Delete " + test::inText(name) + "?");
        EXPECT_GE(box->width(), test::titleBarNeed(box));
        QPushButton* remove = buttonWithRole(box, QMessageBox::DestructiveRole);
        ASSERT_NE(remove, nullptr);
        EXPECT_EQ(remove->text(), QStringLiteral("Delete"));
        EXPECT_FALSE(remove->accessibleDescription().isEmpty());
        // Drawn apart from Cancel: red text, readable on the button.
        const QColor text = remove->palette().color(QPalette::ButtonText);
        EXPECT_GT(text.red(), 2 * std::max(text.green(), text.blue())) << text.name().toStdString();
        EXPECT_GE(test::contrast(text, remove->palette().color(QPalette::Button)), 3.0);
        EXPECT_NE(box->button(QMessageBox::Cancel)->palette().color(QPalette::ButtonText), text);
        box->reject();
    }
}

TEST(ProfilesTab, ANameThatLooksLikeMarkupOrAMnemonicReadsVerbatim) {
    const std::string hostile = "<b>R&D</b>";
    const ProfileDocument document = documentOf({tltest::profile("r-d-1", hostile)});
    ProfileViewsFixture f(false, &document);
    ProfilesTabWindow w(f);
    ProfilesTab* tab = w.tab;
    EXPECT_EQ(utf8(tab->rows()->index(0).data(Qt::DisplayRole).toString()), hostile);
    EXPECT_TRUE(test::hasNode(tab, QAccessible::ListItem, qs(hostile)));
    EXPECT_EQ(utf8(tab->detail()->nameField()->text()), hostile);

    QTest::mouseClick(tab->detail()->deleteButton(), Qt::LeftButton);
    QMessageBox* box = tab->detail()->deleteConfirmation();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(utf8(box->text()), "Delete " + test::inText(hostile) + "?");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(utf8(informativeLabel(box)->text()),
              "Signs " + test::inText(hostile) +
                  " out and deletes its data, including its Claude Desktop chats.");
    EXPECT_EQ(informativeLabel(box)->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->textFormat(),
              Qt::PlainText);
    box->reject();
}

// A QDrag runs an event loop of its own; the list's drop ends in these two calls: the
// view's internal move (moveRow) or the model's drop of the drag's data.
TEST(ProfilesTab, TheThirdProfileDroppedAtTheTopMovesInTheFileAndTheList) {
    using Drop = std::function<bool(ProfileListModel*)>;
    const std::vector<std::pair<std::string, Drop>> drops{
        {"internal move",
         [](ProfileListModel* rows) {
             return rows->moveRow(QModelIndex(), 2, QModelIndex(), 0);
         }},
        {"drop of the drag's data",
         [](ProfileListModel* rows) {
             std::unique_ptr<QMimeData> data(rows->mimeData({rows->index(2)}));
             return rows->dropMimeData(data.get(), Qt::MoveAction, 0, 0, QModelIndex());
         }},
    };
    for (const auto& [name, drop] : drops) {
        SCOPED_TRACE(name);
        const ProfileDocument document =
            documentOf({tltest::profile("a-1", "A"), tltest::profile("b-1", "B"),
                        tltest::profile("c-1", "C")});
        ProfileViewsFixture f(false, &document);
        ProfilesTabWindow w(f);
        ProfilesTab* tab = w.tab;
        EXPECT_EQ(tab->list()->dragDropMode(), QAbstractItemView::InternalMove);
        clickRow(tab, 2);
        ASSERT_EQ(tab->selection(), ProfileID("c-1"));
        EXPECT_TRUE(drop(tab->rows()));
        EXPECT_EQ(namesIn(f.stored()), (std::vector<std::string>{"C", "A", "B"}));
        EXPECT_EQ(namesShown(tab), (std::vector<std::string>{"C", "A", "B"}));
        EXPECT_EQ(tab->selection(), ProfileID("c-1"));
        EXPECT_EQ(selectedRowName(tab), QStringLiteral("C"));
    }
}

bool runs(pid_t pid) {
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(Paths("/", "/Applications"), {});
    return !workspace->isTerminated(pid);
}

TEST(ProfilesTab, AProfileWhoseAppWontQuitStaysSelectedUnderTheModelsAlert) {
    const tltest::MachineWideTurn turn;
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    const ProfileDocument document = documentOf({work});
    ProfileViewsFixture f(false, &document);
    tltest::FakeApp claude(f.app.home.paths.applicationsDirectory, "Claude",
                           DesktopInstall::bundleID, tltest::FakeApp::Mode::ignoreAll);
    const std::string folder =
        f.app.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    tltest::makeDirs(folder);
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.app.home.paths, f.app.environment);
    const pid_t instance = workspace->open(claude.bundle(), {"--user-data-dir=" + folder}, {});
    ASSERT_TRUE(claude.run(instance));
    f.model->reload();

    ProfilesTabWindow w(f);
    ProfilesTab* tab = w.tab;
    ASSERT_NE(tab->detail(), nullptr);
    QTest::mouseClick(tab->detail()->deleteButton(), Qt::LeftButton);
    QMessageBox* box = tab->detail()->deleteConfirmation();
    ASSERT_NE(box, nullptr);
    QTest::mouseClick(buttonWithRole(box, QMessageBox::DestructiveRole), Qt::LeftButton);
    ASSERT_TRUE(f.app.scheduler.runUntil([&] { return f.model->alert().has_value(); },
                                         std::chrono::seconds(40)));
    f.app.scheduler.settle();
    QApplication::processEvents();
    EXPECT_EQ(*f.model->alert(),
              "Claude \u2014 \u2068Work\u2069 is still running. Quit it (Quit in its window, or "
              "close the window), then try again. Nothing was removed.");
    ASSERT_NE(w.window->alerts()->box(), nullptr);
    EXPECT_EQ(utf8(w.window->alerts()->box()->text()), *f.model->alert());
    EXPECT_EQ(f.stored(), document);
    EXPECT_EQ(tab->selection(), work.id);
    ASSERT_NE(tab->detail(), nullptr);
    EXPECT_EQ(tab->detail()->profile().id, work.id);
    EXPECT_TRUE(runs(instance));
    claude.killAll();
}

TEST(ProfilesTab, EveryControlIsNamedAndReachedByTabWithAndWithoutProfiles) {
    {
        ProfileViewsFixture f;
        ProfilesTabWindow w(f);
        EXPECT_EQ(test::unnamedControls(w.window.get()), std::vector<std::string>{});
        test::expectTabReachesEveryControl(w.window.get());
    }
    {
        ProfileDocument document = documentOf(
            {tltest::profile("work-1", "Work", Profile::Storage::managed,
                             {ToolKind::claudeDesktop, ToolKind::claudeCode, ToolKind::codex}),
             tltest::profile("home-1", "Home", Profile::Storage::system)});
        document.rules.emplace_back("~/work/**", ProfileID("work-1"));
        document.rules.emplace_back("/nowhere/at/all", ProfileID("work-1"));
        ProfileViewsFixture f(false, &document);
        ProfilesTabWindow w(f);
        f.app.scheduler.settle();
        ASSERT_NE(w.detail(), nullptr);
        EXPECT_EQ(w.detail()->folderRows().size(), 2u);
        EXPECT_FALSE(w.detail()->toolRows().empty());
        EXPECT_EQ(test::unnamedControls(w.window.get()), std::vector<std::string>{});
        test::expectTabReachesEveryControl(w.window.get());
    }
}

TEST(ProfilesTab, StandsAloneAtTheSnapshotSize) {
    const ProfileDocument document = documentOf({tltest::profile("work-1", "Work")});
    ProfileViewsFixture f(false, &document);
    ProfilesTab tab(*f.bridge);
    tab.resize(620, 560);
    EXPECT_EQ(tab.selection(), ProfileID("work-1"));
    ASSERT_NE(tab.detail(), nullptr);
    EXPECT_FALSE(tab.grab().isNull());
}

} // namespace
