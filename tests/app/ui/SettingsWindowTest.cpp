#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/advanced/AdvancedTab.h"
#include "TwinLanternApp/ui/frame/AlertPresenter.h"
#include "TwinLanternApp/ui/frame/Footnote.h"
#include "TwinLanternApp/ui/frame/SettingsTab.h"
#include "TwinLanternApp/ui/frame/Toast.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using namespace std::chrono_literals;
using test::UiModel;

namespace {

const std::string hostile = "<b>R&D</b>";

TEST(SettingsTab, RawValuesAreExactAndLowerCase) {
    EXPECT_EQ(settingsTabFromRawValue("profiles"), SettingsTab::profiles);
    EXPECT_EQ(settingsTabFromRawValue("terminal"), SettingsTab::terminal);
    EXPECT_EQ(settingsTabFromRawValue("advanced"), SettingsTab::advanced);
    EXPECT_FALSE(settingsTabFromRawValue("Profiles"));
    EXPECT_FALSE(settingsTabFromRawValue(""));
}

TEST(SettingsWindow, TheTabFollowsTheStoredSettingBothWays) {
    UiModel ui;
    ui.start();
    {
        SettingsWindow window(*ui.bridge); // "settingsTab" absent
        EXPECT_EQ(window.currentTab(), SettingsTab::profiles);
        EXPECT_EQ(window.tabs()->size(), QSize(620, 500));
    }
    app::AppSettings::setSelectedTab(QStringLiteral("nonsense"));
    EXPECT_EQ(SettingsWindow(*ui.bridge).currentTab(), SettingsTab::profiles);
    app::AppSettings::setSelectedTab(QStringLiteral("terminal"));
    SettingsWindow window(*ui.bridge);
    EXPECT_EQ(window.currentTab(), SettingsTab::terminal);
    window.tabs()->setCurrentIndex(2);
    EXPECT_EQ(app::AppSettings::selectedTab(), QStringLiteral("advanced"));
    storeSettingsTab(SettingsTab::profiles); // as the menu does
    EXPECT_EQ(window.currentTab(), SettingsTab::profiles);
    test::showActive(&window);
    ui.settle();
    EXPECT_TRUE(test::unnamedControls(&window).empty());
    test::expectTabReachesEveryControl(&window);
}

TEST(SettingsWindow, TheAdvancedTabsFootnoteIsWhollyInSightAtTheWindowsSize) {
    UiModel ui;
    ui.start();
    SettingsWindow window(*ui.bridge);
    window.tabs()->setCurrentIndex(2);
    test::showActive(&window);
    ui.settle();
    auto* tab = qobject_cast<AdvancedTab*>(window.tabs()->currentWidget());
    ASSERT_NE(tab, nullptr);
    Footnote* footnote = tab->footnote();
    ASSERT_TRUE(footnote->isVisible());
    const QRect shown(footnote->mapTo(&window, QPoint(0, 0)), footnote->size());
    const QRect page(tab->mapTo(&window, QPoint(0, 0)), tab->size());
    EXPECT_TRUE(page.contains(shown)) << "footnote " << shown.y() << "+" << shown.height()
                                      << " in the page " << page.y() << "+" << page.height();
    EXPECT_TRUE(window.rect().contains(shown));
    // Its whole text: as tall as its lines need at its width.
    EXPECT_GE(footnote->height(), footnote->heightForWidth(footnote->width()));
}

TEST(SettingsWindow, AToastComesAndGoesFourSecondsLater) {
    UiModel ui;
    ui.start();
    SettingsWindow window(*ui.bridge);
    test::showActive(&window);
    ui.model->showToast(hostile);
    EXPECT_TRUE(window.toast()->presenting());
    EXPECT_EQ(window.toast()->text().toStdString(), hostile);
    EXPECT_EQ(window.toast()->textFormat(), Qt::PlainText);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.toast()->isVisible(); }, tltest::patienceMs));
    ui.fixture.scheduler.advance(3900ms);
    EXPECT_TRUE(window.toast()->presenting());
    ui.fixture.scheduler.advance(200ms);
    EXPECT_FALSE(window.toast()->presenting());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.toast()->isVisible(); }, tltest::patienceMs));
}

TEST(SettingsWindow, TheAlertIsVerbatimOkClearsItAndTheModelCanCloseIt) {
    UiModel ui;
    ui.start();
    SettingsWindow window(*ui.bridge);
    test::showActive(&window);
    ui.model->setAlert(hostile);
    QMessageBox* box = window.alerts()->box();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), QStringLiteral("TwinLantern"));
    EXPECT_EQ(box->text().toStdString(), hostile);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    EXPECT_EQ(box->windowModality(), Qt::WindowModal);
    ASSERT_EQ(box->buttons().size(), 1);
    EXPECT_EQ(box->buttons().front()->text(), QStringLiteral("OK"));
    QTest::mouseClick(box->buttons().front(), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(ui.model->alert());
    EXPECT_EQ(window.alerts()->box(), nullptr);

    ui.model->setAlert(std::string("second"));
    QPointer<QMessageBox> second = window.alerts()->box();
    ASSERT_TRUE(second);
    ui.model->setAlert(std::nullopt);
    QApplication::processEvents();
    EXPECT_EQ(window.alerts()->box(), nullptr);
    EXPECT_TRUE(second.isNull() || !second->isVisible());
}

} // namespace
