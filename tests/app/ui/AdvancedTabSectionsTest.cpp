#include "TwinLanternApp/ui/advanced/AdvancedTabSections.h"
#include "TwinLanternApp/ui/advanced/AdvancedTab.h"

#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/advanced/ShortcutRecorder.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// An updater that records what the tab asked of it.
struct RecordingController final : app::UpdaterController {
    bool automatic = true;
    std::vector<bool> written;
    int checks = 0;

    void checkForUpdates() override { ++checks; }
    bool automaticallyChecksForUpdates() const override { return automatic; }
    void setAutomaticallyChecksForUpdates(bool on) override {
        automatic = on;
        written.push_back(on);
    }
};

class AdvancedTabSectionsTest : public ::testing::Test {
protected:
    test::UiModel ui;
    app::UpdaterService updater; // no controller unless a test gives one
    std::string executable;
    std::unique_ptr<QWidget> window;
    AdvancedTab* tab = nullptr;

    void SetUp() override {
        ui.start();
        executable = ui.fixture.home.home() + "/TwinLantern.app/Contents/MacOS/TwinLantern";
    }

    platform::LoginItem loginItem() const {
        return platform::LoginItem(ui.fixture.home.home(), {}, executable);
    }
    AdvancedTabServices services() { return {.updater = &updater, .loginItem = loginItem()}; }
    std::string autostart() const { return ui.fixture.home.home() + "/.config/autostart"; }

    void open() {
        window = std::make_unique<QWidget>();
        auto* column = owned<QVBoxLayout>(window.get());
        tab = owned<AdvancedTab>(window.get(), *ui.model, services());
        column->addWidget(tab);
        window->resize(620, 500);
        test::showActive(window.get());
    }
    QCheckBox* loginSwitch() const { return tab->openAtLogin()->toggle(); }
    QLabel* loginError() const { return tab->openAtLogin()->error(); }
};

TEST_F(AdvancedTabSectionsTest, WithoutAnUpdaterOnlyTheVersionAndTheNoteShow) {
    open();
    UpdatesSection* updates = tab->updates();
    EXPECT_EQ(updates->title(), QStringLiteral("Updates"));
    EXPECT_EQ(updates->version()->text(), qs(app::UpdaterService::currentVersion()));
    EXPECT_EQ(updates->version()->textFormat(), Qt::PlainText);
    EXPECT_EQ(updates->automatic(), nullptr);
    EXPECT_EQ(updates->checkNow(), nullptr);
    ASSERT_NE(updates->updatesOff(), nullptr);
    EXPECT_TRUE(updates->updatesOff()->isVisible());
    EXPECT_TRUE(updates->updatesOff()->text().contains(
        QStringLiteral("Updates are off in this build. Download the latest version from "
                       "twinlantern.app.")));
    EXPECT_FALSE(test::hasNode(window.get(), QAccessible::CheckBox,
                               QStringLiteral("Check for updates automatically")));
    EXPECT_FALSE(
        test::hasNode(window.get(), QAccessible::Button, QStringLiteral("Check for Updates…")));
}

TEST_F(AdvancedTabSectionsTest, WithAnUpdaterTheSwitchStartsFromItAndWritesOnlyChanges) {
    auto made = std::make_unique<RecordingController>();
    RecordingController& controller = *made;
    updater.controller = std::move(made);
    open();
    UpdatesSection* updates = tab->updates();
    EXPECT_EQ(updates->updatesOff(), nullptr);
    ASSERT_NE(updates->automatic(), nullptr);
    ASSERT_NE(updates->checkNow(), nullptr);
    EXPECT_EQ(updates->automatic()->text(), QStringLiteral("Check for updates automatically"));
    EXPECT_EQ(updates->checkNow()->text(), QStringLiteral("Check for Updates…"));
    EXPECT_TRUE(updates->automatic()->isChecked());
    EXPECT_TRUE(controller.written.empty()); // showing it writes nothing

    updates->automatic()->click();
    updates->automatic()->click();
    EXPECT_EQ(controller.written, (std::vector<bool>{false, true}));
    updates->checkNow()->click();
    EXPECT_EQ(controller.checks, 1);
}

TEST_F(AdvancedTabSectionsTest, OpenAtLoginShowsTheEntryAndAFailureInlineUntilTheNextSuccess) {
    // An autostart "folder" that is a file: turning on fails and says why.
    tltest::makeDirs(ui.fixture.home.home() + "/.config");
    tltest::writeFile(autostart(), "a file");
    open();
    EXPECT_EQ(loginSwitch()->text(), QStringLiteral("Open at login"));
    EXPECT_FALSE(loginSwitch()->isChecked());
    EXPECT_FALSE(loginError()->isVisible());

    loginSwitch()->click();
    std::string expected = "Couldn't write ";
    expected += loginItem().entryPath();
    expected += ": ";
    expected += std::strerror(ENOTDIR);
    EXPECT_FALSE(loginSwitch()->isChecked());
    EXPECT_TRUE(loginError()->isVisible());
    EXPECT_EQ(loginError()->text().toStdString(), expected);
    EXPECT_EQ(loginError()->textFormat(), Qt::PlainText);
    EXPECT_EQ(loginError()->palette().color(QPalette::WindowText),
              appearance::orange(tab->openAtLogin()->palette()));
    EXPECT_EQ(tltest::readFile(autostart()), "a file");
    // Still failing: still shown.
    loginSwitch()->click();
    EXPECT_FALSE(loginSwitch()->isChecked());
    EXPECT_TRUE(loginError()->isVisible());

    tltest::removeTree(autostart());
    loginSwitch()->click();
    EXPECT_TRUE(loginSwitch()->isChecked());
    EXPECT_FALSE(loginError()->isVisible());
    EXPECT_TRUE(loginItem().enabled());

    loginSwitch()->click();
    EXPECT_FALSE(loginSwitch()->isChecked());
    EXPECT_FALSE(tltest::exists(loginItem().entryPath()));
    EXPECT_FALSE(test::hasNode(window.get(), QAccessible::StaticText,
                               QStringLiteral("Allow it in System Settings → General → Login "
                                              "Items.")));
}

TEST_F(AdvancedTabSectionsTest, OpenAtLoginReadsTheEntryWhenShownAgain) {
    loginItem().registerItem();
    open();
    EXPECT_TRUE(loginSwitch()->isChecked());
    // Another program's entry is not ours.
    tltest::writeFile(loginItem().entryPath(),
                      "[Desktop Entry]\nType=Application\nExec=/usr/bin/other\n");
    window->hide();
    window->show();
    QApplication::processEvents();
    EXPECT_FALSE(loginSwitch()->isChecked());
}

// In the settings window: the recorder ends when its tab goes away, the window is hidden
// or closed; the tab's controls are named and reached by Tab with every row showing.
TEST_F(AdvancedTabSectionsTest, RecordingStopsWithAnotherTabOrTheWindowGone) {
    tltest::makeDirs(ui.fixture.home.home() + "/.config");
    tltest::writeFile(autostart(), "a file");
    SettingsWindow settings(*ui.bridge, services());
    settings.tabs()->setCurrentIndex(2);
    test::showActive(&settings);
    auto* advanced = qobject_cast<AdvancedTab*>(settings.tabs()->currentWidget());
    ASSERT_NE(advanced, nullptr);
    ShortcutSection* shortcut = advanced->shortcut();
    shortcut->enabledSwitch()->click();
    advanced->openAtLogin()->toggle()->click(); // the inline error shows

    EXPECT_TRUE(test::unnamedControls(&settings).empty());
    test::expectTabReachesEveryControl(&settings);

    const std::function<void()> stops[] = {
        [&] { settings.tabs()->setCurrentIndex(0); },
        [&] { settings.hide(); },
        [&] { settings.close(); },
    };
    for (const auto& stop : stops) {
        settings.tabs()->setCurrentIndex(2);
        test::showActive(&settings);
        shortcut->recordButton()->click();
        ASSERT_TRUE(shortcut->recording());
        EXPECT_EQ(shortcut->recordButton()->text(), QStringLiteral("Press keys…"));
        stop();
        QApplication::processEvents();
        EXPECT_FALSE(shortcut->recording());
        EXPECT_EQ(shortcut->recordButton()->text(), QStringLiteral("Record"));
    }
}

} // namespace
