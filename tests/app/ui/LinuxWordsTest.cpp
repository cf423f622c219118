#include "TwinLanternApp/ui/frame/LinuxWords.h"
#include "TwinLanternApp/ui/frame/InterfaceWindows.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"

#include "TwinLanternApp/app/AppCommands.h"
#include "platform/test/FakeKeyboardLayout.h"
#include "tests/app/ui/UiTest.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// The stored bits stay the Mac's; only the title names them as Linux does.
TEST(LinuxWords, TheShortcutsTitleNamesTheModifiersAsLinuxDoesInOneOrder) {
    platform::test::FakeKeyboardLayout layout;
    layout.keys = {{17, "t"}, {12, "q"}, {40, "k"}};
    struct Case {
        KeyCombo combo;
        const char* title;
    };
    const std::vector<Case> cases = {
        {{12, KeyCombo::controlKey}, "Ctrl+Q"},
        {{40, KeyCombo::optionKey | KeyCombo::cmdKey}, "Alt+Super+K"},
        {{17, KeyCombo::controlKey | KeyCombo::optionKey}, "Ctrl+Alt+T"},
        {{17, KeyCombo::cmdKey | KeyCombo::shiftKey | KeyCombo::optionKey | KeyCombo::controlKey},
         "Ctrl+Alt+Shift+Super+T"},
        {{49, KeyCombo::shiftKey | KeyCombo::controlKey}, "Ctrl+Shift+Space"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(linuxWords::shortcutTitle(c.combo, layout), c.title);
    }
}

QLabel* labelSaying(QWidget* window, const QString& text) {
    for (QLabel* label : window->findChildren<QLabel*>()) {
        if (label->isVisible() && label->text() == text) {
            return label;
        }
    }
    return nullptr;
}

// Onboarding's last step says where the app is once it closes: the tray, or without
// one the settings window.
TEST(LinuxWords, OnboardingSaysWhereTheAppLivesWithAndWithoutATray) {
    struct Case {
        bool tray;
        const char* words;
    };
    for (const Case c : {Case{true, "TwinLantern lives in your system tray."},
                         Case{false, "TwinLantern lives in its settings window."}}) {
        SCOPED_TRACE(c.words);
        test::UiModel ui;
        ui.start();
        app::AppCommands commands([] {}, false);
        InterfaceWindows windows(
            *ui.bridge, commands, [] {}, c.tray);
        windows.prepare();
        windows.showOnboarding();
        QWidget* window = OnboardingWindow::window();
        test::showActive(window);
        EXPECT_NE(labelSaying(window, QString::fromUtf8(linuxWords::loginsStayHere)), nullptr);
        QTest::mouseClick(OnboardingWindow::view()->mainButton(), Qt::LeftButton);
        ASSERT_EQ(OnboardingWindow::view()->step(), OnboardingView::Step::signIn);
        EXPECT_NE(labelSaying(window, QString::fromUtf8(c.words)), nullptr);
        EXPECT_EQ(labelSaying(window, QStringLiteral("TwinLantern lives in your menu bar.")),
                  nullptr);
        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}

} // namespace
