#include "TwinLanternApp/ui/frame/InterfaceWindows.h"
#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/frame/AppMenu.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/onboarding/ProfilesStep.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/profiles/UseForPicker.h"

#include "TwinLanternApp/app/AppCommands.h"
#include "TwinLanternApp/app/SettingsOpener.h"
#include "TwinLanternApp/ui/frame/TrayIcon.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/ShownNames.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/Profiles.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::UiModel;

namespace {

// The app's windows as main makes them, counting quits, with the help command calling
// back into them.
struct Windows {
    int quits = 0;
    app::AppCommands commands;
    std::unique_ptr<InterfaceWindows> windows;

    Windows(UiModel& ui, bool tray, bool updatesConfigured = false)
        : commands([this] { windows->showHelp(); }, updatesConfigured),
          windows(std::make_unique<InterfaceWindows>(
              *ui.bridge, commands, [this] { ++quits; }, tray)) {}
};

std::vector<QWidget*> topLevelsTitled(const QString& title) {
    std::vector<QWidget*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isWindow() && widget->windowTitle() == title) {
            found.push_back(widget);
        }
    }
    return found;
}

QWidget* visibleWindow(const QString& title) {
    for (QWidget* widget : topLevelsTitled(title)) {
        if (widget->isVisible()) {
            return widget;
        }
    }
    return nullptr;
}

QAction* actionTitled(const QList<QAction*>& actions, const QString& title) {
    for (QAction* action : actions) {
        if (action->text() == title) {
            return action;
        }
    }
    return nullptr;
}

std::vector<QString> titles(const QList<QAction*>& actions) {
    std::vector<QString> out;
    for (QAction* action : actions) {
        out.push_back(action->isSeparator() ? QStringLiteral("---") : action->text());
    }
    return out;
}

TEST(InterfaceWindows, TheOpenerBringsTheOneSettingsWindowForwardAndRefreshes) {
    UiModel ui;
    ProfileDocument doc;
    doc.profiles = {tltest::profile("work-1", "Work")};
    ui.fixture.writeDocument(doc);
    ui.fixture.signIn(ToolKind::claudeCode, "work-1", "w@example.com");
    ui.start();
    Windows w(ui, true);
    // A request made before the windows exist waits for them.
    app::SettingsOpener::open();
    ASSERT_TRUE(app::SettingsOpener::pending());
    w.windows->prepare();
    EXPECT_FALSE(app::SettingsOpener::pending());
    SettingsWindow* settings = w.windows->settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_TRUE(settings->isVisible());
    EXPECT_TRUE(QTest::qWaitForWindowActive(settings, tltest::patienceMs));
    // Shown means refreshed.
    ui.settle();
    const auto status = ui.model->status(doc.profiles[0], ToolKind::claudeCode);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->state, ToolStatus::Case::signedIn);

    // Closed and asked for again from the tray menu: the same window comes back.
    settings->close();
    ASSERT_FALSE(settings->isVisible());
    QMenu* menu = w.windows->trayMenu();
    ASSERT_EQ(menu, w.windows->appMenu().menu());
    actionTitled(menu->actions(), QStringLiteral("Settings…"))->trigger();
    EXPECT_TRUE(settings->isVisible());
    EXPECT_EQ(topLevelsTitled(QStringLiteral("TwinLantern Settings")).size(), 1u);

    // With a tray the window's menu bar holds the commands only; Help opens one help
    // window however often it is asked for.
    ASSERT_NE(settings->menuBar(), nullptr);
    EXPECT_EQ(titles(settings->menuBar()->actions()), std::vector<QString>{"Help"});
    QMenu* help = settings->menuBar()->actions().front()->menu();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(titles(help->actions()), std::vector<QString>{"TwinLantern Help"});
    help->actions().front()->trigger();
    help->actions().front()->trigger();
    EXPECT_EQ(topLevelsTitled(QStringLiteral("TwinLantern Help")).size(), 1u);
    EXPECT_NE(visibleWindow(QStringLiteral("TwinLantern Help")), nullptr);

    actionTitled(menu->actions(), QStringLiteral("Quit TwinLantern"))->trigger();
    EXPECT_EQ(w.quits, 1);
    w.windows.reset();
    EXPECT_FALSE(app::SettingsOpener::action());
    ui.settle();
}

TEST(InterfaceWindows, WithoutATrayTheMenuIsTheSettingsWindowsTwinLanternMenu) {
    UiModel ui;
    ui.start();
    Windows w(ui, false, true);
    EXPECT_EQ(w.windows->trayMenu(), nullptr);
    w.windows->prepare();
    SettingsWindow* settings = w.windows->settingsWindow();
    ASSERT_NE(settings, nullptr);
    EXPECT_FALSE(settings->isVisible()); // made early, shown only when asked for
    app::SettingsOpener::open();
    test::showActive(settings);
    EXPECT_EQ(settings->tabs()->size(), QSize(620, 500));

    QMenuBar* bar = settings->menuBar();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(titles(bar->actions()), (std::vector<QString>{"TwinLantern", "Help"}));
    QMenu* menu = bar->actions().front()->menu();
    EXPECT_EQ(menu, w.windows->appMenu().menu());
    EXPECT_EQ(titles(menu->actions()), (std::vector<QString>{"Set up TwinLantern…", "---",
                                                             "Settings…", "Quit TwinLantern"}));
    // A bundle configured for updates offers the check beside the help.
    EXPECT_EQ(titles(bar->actions().back()->menu()->actions()),
              (std::vector<QString>{"Check for Updates…", "TwinLantern Help"}));

    // The set-up item opens one onboarding window.
    actionTitled(menu->actions(), QStringLiteral("Set up TwinLantern…"))->trigger();
    actionTitled(menu->actions(), QStringLiteral("Set up TwinLantern…"))->trigger();
    EXPECT_EQ(topLevelsTitled(QStringLiteral("Welcome to TwinLantern")).size(), 1u);
    EXPECT_NE(visibleWindow(QStringLiteral("Welcome to TwinLantern")), nullptr);

    // The menu bar, its menus and the tabs all speak; Tab goes round the window.
    test::showActive(settings);
    EXPECT_TRUE(test::unnamedControls(settings).empty());
    EXPECT_TRUE(test::hasNode(settings, QAccessible::MenuItem, QStringLiteral("TwinLantern")));
    test::expectTabReachesEveryControl(settings);

    // Its shortcuts work from the window, as in any menu bar.
    test::showActive(settings);
    QTest::keyClick(settings, Qt::Key_Q, Qt::ControlModifier);
    EXPECT_EQ(w.quits, 1);
    ui.settle();
}

TEST(InterfaceWindows, AFailedTrayChoiceShowsItsAlertThoughTheWindowWasNeverOpened) {
    UiModel ui;
    ProfileDocument doc;
    doc.profiles = {tltest::profile("work-1", "Work"), tltest::profile("gone-1", "<b>R&D</b>")};
    ui.fixture.writeDocument(doc);
    ui.start();
    Windows w(ui, true);
    w.windows->prepare();
    // The profile goes behind the app's back, so its choice in the menu now fails.
    doc.profiles.pop_back();
    ui.fixture.writeDocument(doc);
    QMenu* picker =
        actionTitled(w.windows->trayMenu()->actions(), QStringLiteral("Terminal default"))->menu();
    ASSERT_NE(picker, nullptr);
    actionTitled(picker->actions(), test::inTextQ("<b>R&&D</b>"))->trigger();
    ui.settle();
    ASSERT_TRUE(ui.model->alert());
    QMessageBox* box = w.windows->settingsWindow()->alerts()->box();
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text().toStdString(), *ui.model->alert());
    EXPECT_FALSE(w.windows->settingsWindow()->isVisible());
    // Not over the hidden window, wherever that would be, but in the middle of the screen.
    const QPoint middle = QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE((box->geometry().center() - middle).manhattanLength(), 8) << test::describe(box);
}

std::vector<QMessageBox*> shownBoxes() {
    std::vector<QMessageBox*> found;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(widget); box != nullptr && box->isVisible()) {
            found.push_back(box);
        }
    }
    return found;
}

QPushButton* visibleButton(QWidget* window, const QString& text) {
    for (QPushButton* button : window->findChildren<QPushButton*>()) {
        if (button->isVisible() && button->text() == text) {
            return button;
        }
    }
    return nullptr;
}

// Every window has a presenter; a failure is still one box, over the window in use.
TEST(InterfaceWindows, AFailedSignInIsOneAlertOverTheWindowInUseAndOkClearsIt) {
    for (const bool fromOnboarding : {true, false}) {
        SCOPED_TRACE(fromOnboarding ? "onboarding" : "settings window");
        UiModel ui;
        ui.fixture.environment["TERMINAL"] = "no-such-terminal";
        if (!fromOnboarding) {
            ProfileDocument doc;
            doc.profiles = {tltest::profile("work-1", "Work")};
            ui.fixture.writeDocument(doc);
        }
        ui.start();
        Windows w(ui, true);
        w.windows->prepare();
        QWidget* window = nullptr;
        if (fromOnboarding) {
            w.windows->showOnboarding();
            window = OnboardingWindow::window();
            test::showActive(window);
            // Work uses Claude Code too, so step 2 offers its terminal sign-in.
            OnboardingView* view = OnboardingWindow::view();
            QTest::mouseClick(
                view->profilesStep()->rows().at(0)->tools()->checkBox(ToolKind::claudeCode),
                Qt::LeftButton);
            QTest::mouseClick(view->mainButton(), Qt::LeftButton);
            ASSERT_EQ(OnboardingWindow::view()->step(), OnboardingView::Step::signIn);
        } else {
            app::SettingsOpener::open();
            window = w.windows->settingsWindow();
            test::showActive(window);
        }
        ui.refreshStatuses();
        QPushButton* signIn = visibleButton(window, QStringLiteral("Sign In"));
        ASSERT_NE(signIn, nullptr);
        QTest::mouseClick(signIn, Qt::LeftButton);
        ui.settle();
        ASSERT_EQ(ui.model->alert(), "Couldn't open Terminal for sign-in.");

        const auto boxes = shownBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0]->text(), QStringLiteral("Couldn't open Terminal for sign-in."));
        EXPECT_EQ(boxes[0]->parentWidget()->window(), window);
        EXPECT_TRUE(window->geometry().contains(boxes[0]->geometry().center()))
            << test::describe(boxes[0]);
        QTest::mouseClick(boxes[0]->buttons().front(), Qt::LeftButton);
        ui.settle();
        EXPECT_FALSE(ui.model->alert());
        EXPECT_TRUE(shownBoxes().empty());
        if (QWidget* onboarding = OnboardingWindow::window()) {
            onboarding->close();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

// The onboarding window goes with its alert unanswered: the settings window shows it.
TEST(InterfaceWindows, AnAlertLeftByAClosedOnboardingWindowMovesToTheSettingsWindow) {
    UiModel ui;
    ui.start();
    Windows w(ui, false);
    w.windows->prepare();
    w.windows->showOnboarding();
    QWidget* onboarding = OnboardingWindow::window();
    test::showActive(onboarding);
    ui.model->setAlert(std::string("Couldn't save profiles: disk full"));
    ui.settle();
    ASSERT_EQ(shownBoxes().size(), 1u);
    EXPECT_EQ(shownBoxes()[0]->parentWidget()->window(), onboarding);
    EXPECT_EQ(w.windows->settingsWindow()->alerts()->box(), nullptr);

    onboarding->close();
    ui.settle();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(tltest::eventually([] {
        QCoreApplication::processEvents();
        return shownBoxes().size() == 1u;
    }));
    EXPECT_EQ(shownBoxes()[0], w.windows->settingsWindow()->alerts()->box());
    EXPECT_EQ(shownBoxes()[0]->text(), QStringLiteral("Couldn't save profiles: disk full"));
}

// With a tray the app stays there after onboarding; without one the settings window
// is what is left to come back to.
TEST(InterfaceWindows, AfterOnboardingsDoneTheSettingsWindowShowsOnlyWithoutATray) {
    for (const bool tray : {true, false}) {
        SCOPED_TRACE(tray ? "tray" : "no tray");
        UiModel ui;
        ui.start();
        Windows w(ui, tray);
        w.windows->prepare();
        w.windows->showOnboarding();
        test::showActive(OnboardingWindow::window());
        OnboardingView* view = OnboardingWindow::view();
        QTest::mouseClick(view->mainButton(), Qt::LeftButton);
        ASSERT_EQ(view->step(), OnboardingView::Step::signIn);
        QTest::mouseClick(view->mainButton(), Qt::LeftButton);
        EXPECT_EQ(OnboardingWindow::window(), nullptr);
        ui.settle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(w.windows->settingsWindow()->isVisible(), !tray);
        EXPECT_EQ(visibleWindow(QStringLiteral("TwinLantern Settings")) != nullptr, !tray);
    }
}

TEST(InterfaceWindows, TheTrayImageFollowsTheTerminalDefault) {
    UiModel ui;
    ProfileDocument doc;
    Profile purple = tltest::profile("work-1", "Work");
    purple.color = ProfileColor::purple;
    doc.profiles = {purple};
    doc.cliDefault = purple.id;
    ui.fixture.writeDocument(doc);
    ui.start();
    TrayIcon tray(*ui.bridge);
    QIcon icon = tray.icon()->icon();
    EXPECT_FALSE(icon.isMask());
    const QImage drawn = icon.pixmap(QSize(22, 16), 1.0).toImage();
    ASSERT_EQ(drawn.size(), QSize(22, 16));
    EXPECT_EQ(drawn.pixelColor(18, 11).name(), QStringLiteral("#7c3aed"));
    EXPECT_EQ(tray.icon()->toolTip(),
              QStringLiteral("TwinLantern, terminal default ") + test::inTextQ("Work"));

    ui.model->setTerminalDefault(std::nullopt);
    ui.settle();
    icon = tray.icon()->icon();
    EXPECT_TRUE(icon.isMask());
    EXPECT_EQ(qAlpha(icon.pixmap(QSize(22, 16), 1.0).toImage().pixel(18, 11)), 0);
    EXPECT_EQ(tray.icon()->toolTip(), QStringLiteral("TwinLantern, terminal default none"));
}

} // namespace
