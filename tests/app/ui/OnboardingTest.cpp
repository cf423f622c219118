#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/onboarding/ProfilesStep.h"
#include "TwinLanternApp/ui/onboarding/SignInStep.h"
#include "TwinLanternApp/ui/profiles/ToolRow.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ModelBridge.h"
#include "core/profiles/ProfileStore.h"
#include "core/shell/ShellIntegration.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/ProfilesTabFixture.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"
#include "tests/support/app/AppFixture.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace twinlantern;
using namespace twinlantern::ui;
using Step = OnboardingView::Step;

namespace {

const std::set<ToolKind> bothApps{ToolKind::claudeDesktop, ToolKind::chatGPTApp};
const std::set<ToolKind> claudeOnly{ToolKind::claudeDesktop};

// The profile views' fixture inside an app bundle with its helpers (so the shell
// integration can be installed), with the model's feedback captured.
struct Onboarding : test::ProfileViewsFixture {
    explicit Onboarding(bool withApps = false, const ProfileDocument* document = nullptr)
        : ProfileViewsFixture(withApps, document, [](app::test::AppFixture& fixture) {
              fixture.makeBundle();
              fixture.captureFeedback();
          }) {}

    OnboardingView* open() {
        OnboardingWindow::show(*bridge);
        test::showActive(OnboardingWindow::window());
        return OnboardingWindow::view();
    }
    std::string home(std::string_view relative) const {
        std::string path = app.home.home();
        path += "/";
        path += relative;
        return path;
    }
};

PlanRowView* row(OnboardingView* view, std::size_t index) {
    return view->profilesStep()->rows().at(index);
}

void clearField(QLineEdit* field) {
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(field, Qt::Key_Backspace);
}

void click(QAbstractButton* button) {
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isVisible()) << test::describe(button);
    QTest::mouseClick(button, Qt::LeftButton);
}

void deleteClosed() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

std::vector<QWidget*> onboardingWindows() {
    std::vector<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->windowTitle() == QStringLiteral("Welcome to TwinLantern")) {
            out.push_back(w);
        }
    }
    return out;
}

std::size_t occurrences(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

std::vector<std::string> names(const std::vector<Profile>& profiles) {
    std::vector<std::string> out;
    for (const Profile& p : profiles) {
        out.push_back(p.name);
    }
    return out;
}

TEST(Onboarding, TheWindowIsOneFixedCentredWindowWithOnlyACloseButton) {
    Onboarding f;
    OnboardingView* view = f.open();
    QWidget* window = OnboardingWindow::window();
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Welcome to TwinLantern"));
    EXPECT_EQ(window->size(), QSize(600, 520));
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    const Qt::WindowFlags flags = window->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_TRUE(window->isActiveWindow());
    const QPoint off = window->geometry().center() -
                       QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(off.manhattanLength(), 4) << off.x() << ", " << off.y();

    // Step 1 with the starting plan: two rows filled with Claude Desktop (no app here).
    EXPECT_EQ(view->step(), Step::profiles);
    EXPECT_EQ(view->stepLabel()->text(), QStringLiteral("Step 1 of 2"));
    EXPECT_FALSE(view->backButton()->isVisible());
    EXPECT_EQ(view->mainButton()->text(), QStringLiteral("Continue"));
    EXPECT_TRUE(view->mainButton()->isEnabled());
    ASSERT_EQ(view->plan().entries.size(), 2u);
    EXPECT_EQ(row(view, 0)->nameField()->text(), QStringLiteral("Work"));
    EXPECT_EQ(row(view, 1)->nameField()->text(), QStringLiteral("Personal"));
    for (const auto& entry : view->plan().entries) {
        EXPECT_EQ(entry.tools, claudeOnly);
    }
    EXPECT_EQ(row(view, 0)->tools()->tools(), claudeOnly);
    // Escape is no dialog's cancel here.
    QTest::keyClick(row(view, 0)->nameField(), Qt::Key_Escape);
    EXPECT_TRUE(window->isVisible());
}

TEST(Onboarding, WithBothAppsInstalledTheStartingPlanMakesWorkAndPersonal) {
    Onboarding f(true);
    OnboardingView* view = f.open();
    EXPECT_EQ(row(view, 0)->tools()->tools(), bothApps);
    click(view->mainButton());
    const ProfileDocument stored = f.stored();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[0].name, "Work");
    EXPECT_EQ(stored.profiles[0].color, ProfileColor::blue);
    EXPECT_EQ(stored.profiles[0].storage, Profile::Storage::managed);
    EXPECT_EQ(stored.profiles[0].tools(),
              (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::chatGPTApp}));
    EXPECT_EQ(stored.profiles[1].name, "Personal");
    EXPECT_EQ(stored.profiles[1].storage, Profile::Storage::system);
    EXPECT_EQ(stored.cliDefault, stored.profiles[1].id);
    EXPECT_EQ(view->created(),
              (std::vector<ProfileID>{stored.profiles[0].id, stored.profiles[1].id}));

    // Step 2 lists Work alone, one row per tool, and no "nothing to sign in".
    EXPECT_EQ(view->step(), Step::signIn);
    EXPECT_EQ(view->stepLabel()->text(), QStringLiteral("Step 2 of 2"));
    EXPECT_TRUE(view->backButton()->isVisible());
    EXPECT_EQ(view->mainButton()->text(), QStringLiteral("Done"));
    SignInStep* signIn = view->signInStep();
    ASSERT_NE(signIn, nullptr);
    EXPECT_EQ(names(signIn->toSignIn()), std::vector<std::string>{"Work"});
    EXPECT_FALSE(signIn->nothingToSignIn()->isVisible());
    ASSERT_EQ(signIn->toolRows().size(), 2u);
    EXPECT_EQ(signIn->toolRows()[0]->tool(), ToolKind::claudeDesktop);
    EXPECT_EQ(signIn->toolRows()[1]->tool(), ToolKind::chatGPTApp);
    EXPECT_TRUE(signIn->toolRows()[0]->isVisible());
}

TEST(Onboarding, ContinueFollowsTheRowsAndReturnDoesNothingWhileItIsDisabled) {
    Onboarding f;
    OnboardingView* view = f.open();
    QPushButton* next = view->mainButton();
    QLineEdit* work = row(view, 0)->nameField();

    clearField(work);
    EXPECT_FALSE(next->isEnabled());
    QTest::keyClick(work, Qt::Key_Return);
    EXPECT_EQ(view->step(), Step::profiles);
    QTest::keyClicks(work, QStringLiteral(" \t"));
    EXPECT_FALSE(next->isEnabled());
    // A row left out counts for nothing, blank name and all.
    click(row(view, 0)->includeBox());
    EXPECT_FALSE(row(view, 0)->details()->isEnabled());
    EXPECT_TRUE(next->isEnabled());
    click(row(view, 0)->includeBox());
    EXPECT_FALSE(next->isEnabled());
    QTest::keyClicks(work, QStringLiteral("personal "));
    EXPECT_FALSE(next->isEnabled()) << "clashes with Personal";
    clearField(work);
    QTest::keyClicks(work, QStringLiteral("Work"));
    EXPECT_TRUE(next->isEnabled());

    // Both rows keeping the accounts: Personal's toggle stays, so untick Personal's row
    // and tick Work's, then tick Personal's row again.
    click(row(view, 1)->includeBox());
    click(row(view, 0)->existingToggle());
    EXPECT_TRUE(next->isEnabled());
    click(row(view, 1)->includeBox());
    EXPECT_FALSE(next->isEnabled()) << "two rows keep the accounts";
    click(row(view, 0)->existingToggle());
    EXPECT_TRUE(next->isEnabled());

    // An added row starts with the installed apps: none here, so no tool until ticked.
    click(view->profilesStep()->addButton());
    ASSERT_EQ(view->profilesStep()->rows().size(), 3u);
    EXPECT_TRUE(view->plan().entries[2].tools.empty());
    EXPECT_EQ(view->plan().entries[2].color, ProfileColor::orange);
    QTest::keyClicks(row(view, 2)->nameField(), QStringLiteral("Side"));
    EXPECT_FALSE(next->isEnabled());
    click(row(view, 2)->tools()->checkBox(ToolKind::codex));
    EXPECT_TRUE(next->isEnabled());
    EXPECT_TRUE(f.stored().profiles.empty());
}

TEST(Onboarding, TheExistingToggleShowsOnOneIncludedRowAtATime) {
    Onboarding f;
    OnboardingView* view = f.open();
    click(view->profilesStep()->addButton());
    auto shown = [&] {
        std::vector<bool> out;
        for (PlanRowView* r : view->profilesStep()->rows()) {
            out.push_back(r->existingToggle()->isVisible());
        }
        return out;
    };
    // Personal keeps the accounts, so only Personal offers it.
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, false}));
    // Leaving Personal out gives it back to the others.
    click(row(view, 1)->includeBox());
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, true}));
    // Work takes it: the third row loses it; Personal, still marked, keeps its own.
    click(row(view, 0)->existingToggle());
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, false}));
    click(row(view, 0)->existingToggle());
    EXPECT_EQ(shown(), (std::vector<bool>{true, true, true}));
    click(row(view, 1)->includeBox());
    EXPECT_EQ(shown(), (std::vector<bool>{false, true, false}));
}

TEST(Onboarding, TheFolderButtonSaysChooseOrChangeAndAFolderKeptUnderTheToggleStillApplies) {
    Onboarding f;
    const std::string projects = f.home("projects/work");
    tltest::makeDirs(projects);
    tltest::TempDir elsewhere;
    const tltest::WorkingFolder startedIn(elsewhere.path());
    OnboardingView* view = f.open();
    PlanRowView* work = row(view, 0);
    PlanRowView* personal = row(view, 1);
    EXPECT_EQ(work->folderButton()->text(), QStringLiteral("Choose its folder…"));
    EXPECT_EQ(work->folderText()->text(), QStringLiteral("optional, for the terminal"));
    EXPECT_FALSE(personal->folderButton()->isVisible()) << "keeps the accounts: no folder";

    // Cancelling the panel changes nothing; confirming a folder takes it.
    for (const bool confirm : {false, true}) {
        click(work->folderButton());
        const auto panels = OnboardingWindow::window()->findChildren<QFileDialog*>();
        ASSERT_EQ(panels.size(), 1);
        QFileDialog* panel = panels.front();
        EXPECT_EQ(panel->windowTitle(),
                  QStringLiteral("Everything inside this folder will use this profile in the "
                                 "terminal."));
        EXPECT_EQ(panel->labelText(QFileDialog::Accept), QStringLiteral("Choose"));
        EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(panel->directory().absolutePath().toStdString(), f.app.home.home());
        EXPECT_TRUE(panel->isModal());
        panel->selectFile(QString::fromStdString(projects));
        QDialog* asDialog = panel; // QFileDialog keeps its accept() protected
        confirm ? asDialog->accept() : asDialog->reject();
        deleteClosed();
        EXPECT_EQ(view->plan().entries[0].folder, confirm ? std::optional(projects) : std::nullopt);
    }
    EXPECT_EQ(work->folderButton()->text(), QStringLiteral("Change folder…"));
    EXPECT_EQ(work->folderText()->text(), QStringLiteral("~/projects/work"));

    // Personal lets go of the accounts and gets the choice; Work takes them and loses its
    // folder control, then gets it back with the path.
    click(personal->existingToggle());
    EXPECT_EQ(personal->folderButton()->text(), QStringLiteral("Choose its folder…"));
    click(work->existingToggle());
    EXPECT_FALSE(work->folderButton()->isVisible());
    click(work->existingToggle());
    EXPECT_EQ(work->folderButton()->text(), QStringLiteral("Change folder…"));
    EXPECT_EQ(work->folderText()->text(), QStringLiteral("~/projects/work"));
    click(work->existingToggle());

    click(view->mainButton());
    const ProfileDocument stored = f.stored();
    ASSERT_EQ(stored.profiles.size(), 2u);
    EXPECT_EQ(stored.profiles[0].storage, Profile::Storage::system);
    ASSERT_EQ(stored.rules.size(), 1u);
    EXPECT_EQ(stored.rules[0].path, "~/projects/work");
    EXPECT_EQ(stored.rules[0].profileID, stored.profiles[0].id);
    EXPECT_EQ(stored.cliDefault, stored.profiles[0].id);
}

TEST(Onboarding, OnlyASystemProfileLeavesNothingToSignIn) {
    Onboarding f;
    OnboardingView* view = f.open();
    click(row(view, 0)->includeBox());
    click(view->mainButton());
    ASSERT_EQ(view->step(), Step::signIn);
    const ProfileDocument stored = f.stored();
    ASSERT_EQ(stored.profiles.size(), 1u);
    EXPECT_EQ(stored.profiles[0].name, "Personal");
    EXPECT_EQ(stored.profiles[0].storage, Profile::Storage::system);
    SignInStep* signIn = view->signInStep();
    EXPECT_TRUE(signIn->nothingToSignIn()->isVisible());
    EXPECT_EQ(signIn->nothingToSignIn()->text(),
              QStringLiteral("Nothing to sign in: you're using the accounts you already have."));
    EXPECT_TRUE(signIn->toolRows().empty());
    EXPECT_EQ(names(signIn->profiles()), std::vector<std::string>{"Personal"});
}

TEST(Onboarding, WhenEveryRowFailsTheStepStaysUnderTheAlertAndContinueTriesAgain) {
    ProfileDocument document;
    document.profiles.push_back(tltest::profile("mine-1", "Mine", Profile::Storage::system));
    Onboarding f(false, &document);
    OnboardingView* view = f.open();
    click(row(view, 0)->includeBox()); // Personal alone, and the file has its system one
    click(view->mainButton());
    EXPECT_EQ(view->step(), Step::profiles);
    EXPECT_TRUE(view->created().empty());
    ASSERT_TRUE(f.model->alert());
    ASSERT_NE(view->alerts()->box(), nullptr);
    EXPECT_EQ(view->alerts()->box()->text(), QString::fromStdString(*f.model->alert()));
    EXPECT_EQ(f.stored(), document);
    view->alerts()->box()->reject();
    EXPECT_FALSE(f.model->alert());

    // Let Personal get its own logins instead: the plan is applied afresh.
    click(row(view, 1)->existingToggle());
    click(view->mainButton());
    EXPECT_EQ(view->step(), Step::signIn);
    ASSERT_EQ(f.stored().profiles.size(), 2u);
    EXPECT_EQ(f.stored().profiles[1].storage, Profile::Storage::managed);
}

TEST(Onboarding, BackThenContinueMakesNothingNewWhateverTheRowsSayNow) {
    Onboarding f;
    OnboardingView* view = f.open();
    click(view->mainButton());
    ASSERT_EQ(view->step(), Step::signIn);
    const ProfileDocument first = f.stored();
    const std::vector<ProfileID> created = view->created();
    ASSERT_EQ(first.profiles.size(), 2u);

    click(view->backButton());
    EXPECT_EQ(view->step(), Step::profiles);
    EXPECT_EQ(view->stepLabel()->text(), QStringLiteral("Step 1 of 2"));
    EXPECT_EQ(row(view, 0)->nameField()->text(), QStringLiteral("Work"));
    clearField(row(view, 0)->nameField());
    QTest::keyClicks(row(view, 0)->nameField(), QStringLiteral("Office"));
    click(view->profilesStep()->addButton());
    QTest::keyClicks(row(view, 2)->nameField(), QStringLiteral("Side"));
    click(row(view, 2)->tools()->checkBox(ToolKind::codex));
    click(view->mainButton());
    EXPECT_EQ(view->step(), Step::signIn);
    EXPECT_EQ(view->created(), created);
    EXPECT_EQ(f.stored(), first);
    EXPECT_EQ(names(view->signInStep()->toSignIn()), std::vector<std::string>{"Work"});
}

// Done in each case: the block goes in only when asked for and missing; the key is
// written and the window closes every time.
TEST(Onboarding, DoneInstallsTheShellBlockOnlyWhenAskedAndMissingThenWritesTheKeyAndCloses) {
    struct Case {
        bool toggle;
        bool installedBefore;
        bool installs;
    };
    for (const Case c : {Case{false, false, false}, Case{true, false, true},
                         Case{true, true, false}, Case{false, true, false}}) {
        SCOPED_TRACE(::testing::Message()
                     << "toggle " << c.toggle << ", installed before " << c.installedBefore);
        Onboarding f;
        tltest::writeFile(f.home(".bashrc"), "alias ll='ls -l'\n");
        if (c.installedBefore) {
            f.model->installShell();
            ASSERT_TRUE(f.model->shellStatus()->isInstalled());
        }
        const std::string zshrc =
            tltest::exists(f.home(".zshrc")) ? tltest::readFile(f.home(".zshrc")) : "";
        const std::string bashrc = tltest::readFile(f.home(".bashrc"));
        const std::size_t postedBefore = f.app.posted.size();
        EXPECT_FALSE(app::AppSettings::boolValue(app::AppSettings::onboardingDone));

        OnboardingView* view = f.open();
        click(view->mainButton());
        ASSERT_EQ(view->step(), Step::signIn);
        if (c.toggle) {
            click(view->signInStep()->terminalToggle());
        }
        EXPECT_EQ(view->useTerminal(), c.toggle);
        click(view->mainButton());

        EXPECT_EQ(OnboardingWindow::window(), nullptr);
        deleteClosed();
        EXPECT_TRUE(onboardingWindows().empty());
        EXPECT_TRUE(app::AppSettings::boolValue(app::AppSettings::onboardingDone));
        EXPECT_EQ(f.model->alert(), std::nullopt);
        if (c.installs) {
            EXPECT_EQ(f.app.posted.size(), postedBefore + 1);
            EXPECT_TRUE(f.model->shellStatus()->isInstalled());
            for (const char* file : {".zshrc", ".bashrc"}) {
                EXPECT_EQ(
                    occurrences(tltest::readFile(f.home(file)), ShellIntegration::beginMarker), 1u)
                    << file;
            }
        } else {
            EXPECT_EQ(f.app.posted.size(), postedBefore);
            EXPECT_EQ(tltest::exists(f.home(".zshrc")) ? tltest::readFile(f.home(".zshrc")) : "",
                      zshrc);
            EXPECT_EQ(tltest::readFile(f.home(".bashrc")), bashrc);
        }
    }
}

TEST(Onboarding, ReturnOrEnterAnywherePressesContinueThenDone) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Enter");
        Onboarding f;
        OnboardingView* view = f.open();
        const Qt::KeyboardModifiers mods =
            key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier;
        QTest::keyClick(row(view, 1)->nameField(), key, mods);
        ASSERT_EQ(view->step(), Step::signIn);
        EXPECT_EQ(f.stored().profiles.size(), 2u);
        // From a checkbox, and from "Back" too: the main button is the window's.
        QTest::keyClick(view->signInStep()->terminalToggle(), key, mods);
        EXPECT_EQ(OnboardingWindow::window(), nullptr);
        EXPECT_TRUE(app::AppSettings::boolValue(app::AppSettings::onboardingDone));
        EXPECT_TRUE(f.model->shellStatus()->blocks.empty());
    }
}

TEST(Onboarding, ShowTwiceIsOneWindowWithItsStateAndCloseThenShowStartsOver) {
    Onboarding f;
    OnboardingView* view = f.open();
    QWidget* window = OnboardingWindow::window();
    click(view->profilesStep()->addButton());
    QTest::keyClicks(row(view, 2)->nameField(), QStringLiteral("Side"));
    const app::ProfilePlan plan = view->plan();

    OnboardingWindow::show(*f.bridge);
    EXPECT_EQ(OnboardingWindow::window(), window);
    EXPECT_EQ(OnboardingWindow::view(), view);
    EXPECT_EQ(view->plan(), plan);
    EXPECT_EQ(onboardingWindows().size(), 1u);

    click(row(view, 2)->tools()->checkBox(ToolKind::codex));
    click(view->mainButton());
    ASSERT_EQ(view->step(), Step::signIn);
    const ProfileDocument made = f.stored();
    ASSERT_EQ(made.profiles.size(), 3u);

    // Shown again at once after closing, before Qt has deleted the old one.
    window->close();
    EXPECT_EQ(OnboardingWindow::window(), nullptr);
    OnboardingWindow::show(*f.bridge);
    deleteClosed();
    ASSERT_NE(OnboardingWindow::view(), nullptr);
    EXPECT_EQ(onboardingWindows().size(), 1u);
    OnboardingView* fresh = OnboardingWindow::view();
    EXPECT_TRUE(OnboardingWindow::window()->isVisible());
    EXPECT_EQ(fresh->step(), Step::profiles);
    EXPECT_TRUE(fresh->created().empty());
    ASSERT_EQ(fresh->plan().entries.size(), 2u);
    EXPECT_EQ(fresh->plan().entries[0].name, "Work");
    EXPECT_EQ(fresh->plan().entries[1].name, "Personal");
    EXPECT_EQ(f.stored(), made);
}

TEST(Onboarding, TheViewAloneStartsAtTheStepItIsGiven) {
    EXPECT_EQ(OnboardingView::stepFromRawValue(0), Step::profiles);
    EXPECT_EQ(OnboardingView::stepFromRawValue(1), Step::signIn);
    EXPECT_EQ(OnboardingView::stepFromRawValue(2), std::nullopt);
    EXPECT_EQ(OnboardingView::stepFromRawValue(-1), std::nullopt);

    Onboarding f;
    OnboardingView second(
        *f.bridge, [] {}, Step::signIn);
    EXPECT_EQ(second.size(), QSize(600, 520));
    EXPECT_EQ(second.stepLabel()->text(), QStringLiteral("Step 2 of 2"));
    EXPECT_EQ(second.mainButton()->text(), QStringLiteral("Done"));
    EXPECT_FALSE(second.backButton()->isHidden());
    ASSERT_NE(second.signInStep(), nullptr);
    EXPECT_FALSE(second.signInStep()->nothingToSignIn()->isHidden());
    OnboardingView first(
        *f.bridge, [] {}, Step::profiles);
    EXPECT_EQ(first.stepLabel()->text(), QStringLiteral("Step 1 of 2"));
    EXPECT_TRUE(first.backButton()->isHidden());
    ASSERT_NE(first.profilesStep(), nullptr);
    EXPECT_EQ(first.profilesStep()->rows().size(), 2u);
}

TEST(Onboarding, TheIncludeCheckboxIsNamedCreateAndTheRowsCurrentName) {
    Onboarding f;
    OnboardingView* view = f.open();
    QWidget* window = OnboardingWindow::window();
    EXPECT_TRUE(test::hasNode(window, QAccessible::CheckBox, QStringLiteral("Create Work")));
    EXPECT_TRUE(test::hasNode(window, QAccessible::CheckBox, QStringLiteral("Create Personal")));
    QLineEdit* name = row(view, 0)->nameField();
    clearField(name);
    QTest::keyClicks(name, QStringLiteral("Codex & <b>Work</b>"));
    EXPECT_EQ(row(view, 0)->includeBox()->accessibleName(),
              QStringLiteral("Create Codex & <b>Work</b>"));
    EXPECT_FALSE(test::hasNode(window, QAccessible::CheckBox, QStringLiteral("Create Work")));
}

TEST(Onboarding, EveryControlIsNamedAndTabGoesThroughTheStepThenTheFooterOnBothSteps) {
    Onboarding f;
    OnboardingView* view = f.open();
    QWidget* window = OnboardingWindow::window();
    // Round the Tab cycle: the main button is followed by the step's first control and
    // preceded by "Back" or the step's last control.
    auto check = [&](const char* where, QWidget* first, QWidget* beforeFooter) {
        SCOPED_TRACE(where);
        EXPECT_EQ(test::unnamedControls(window), std::vector<std::string>{});
        const std::vector<QWidget*> visited = test::expectTabReachesEveryControl(window);
        const auto at = std::find(visited.begin(), visited.end(), view->mainButton());
        ASSERT_NE(at, visited.end());
        const std::size_t i = std::size_t(at - visited.begin());
        const std::size_t n = visited.size();
        EXPECT_EQ(visited[(i + 1) % n], first) << test::describe(visited[(i + 1) % n]);
        EXPECT_EQ(visited[(i + n - 1) % n], beforeFooter)
            << test::describe(visited[(i + n - 1) % n]);
    };
    check("step 1", row(view, 0)->includeBox(), view->profilesStep()->addButton());
    click(view->profilesStep()->addButton());
    QTest::keyClicks(row(view, 2)->nameField(), QStringLiteral("Side"));
    click(row(view, 2)->tools()->checkBox(ToolKind::codex));
    check("step 1 with an added row", row(view, 0)->includeBox(),
          view->profilesStep()->addButton());
    {
        // The added row sits between the second row and "Add another profile".
        const std::vector<QWidget*> visited = test::walkTabOrder(window).visited;
        const auto name = std::find(visited.begin(), visited.end(), row(view, 2)->nameField());
        ASSERT_NE(name, visited.end());
        ASSERT_NE(name, visited.begin());
        EXPECT_EQ(*(name - 1), row(view, 2)->includeBox());
        const auto folder = std::find(visited.begin(), visited.end(), row(view, 2)->folderButton());
        ASSERT_NE(folder, visited.end());
        ASSERT_NE(folder + 1, visited.end());
        EXPECT_EQ(*(folder + 1), view->profilesStep()->addButton());
    }

    click(row(view, 0)->tools()->checkBox(ToolKind::claudeCode));
    click(view->mainButton());
    ASSERT_EQ(view->step(), Step::signIn);
    SignInStep* signIn = view->signInStep();
    ASSERT_EQ(signIn->toolRows().size(), 3u); // Work's Claude Desktop and Claude Code, Side's Codex
    QWidget* firstButton = signIn->toolRows().front()->buttons().front();
    check("step 2", firstButton, view->backButton());

    // Claude Code signed in loses its button; signed out again, it gets a new one, which
    // Tab must reach between the rows before and after it.
    const std::string work = view->created().front().rawValue;
    auto refresh = [&] {
        f.model->refreshStatuses();
        for (int i = 0; i < 2; ++i) {
            f.app.scheduler.settle();
            QApplication::processEvents();
        }
    };
    ToolRow* code = signIn->toolRows()[1];
    ASSERT_EQ(code->tool(), ToolKind::claudeCode);
    f.app.signIn(ToolKind::claudeCode, work, "me@example.com");
    refresh();
    ASSERT_TRUE(code->buttons().empty());
    ASSERT_EQ(::unlink((f.app.folder(ToolKind::claudeCode, work) + "/signed-in").c_str()), 0);
    refresh();
    ASSERT_EQ(code->buttons().size(), 1u);
    check("step 2 with a new button", firstButton, view->backButton());
    {
        const std::vector<QWidget*> visited = test::walkTabOrder(window).visited;
        const auto at = std::find(visited.begin(), visited.end(), code->buttons().front());
        ASSERT_NE(at, visited.end());
        ASSERT_NE(at, visited.begin());
        ASSERT_NE(at + 1, visited.end());
        EXPECT_EQ(*(at - 1), signIn->toolRows()[0]->buttons().back()) << test::describe(*(at - 1));
        EXPECT_EQ(*(at + 1), signIn->toolRows()[2]->buttons().front()) << test::describe(*(at + 1));
    }
    click(view->backButton());
    check("step 1 again", row(view, 0)->includeBox(), view->profilesStep()->addButton());
}

} // namespace
