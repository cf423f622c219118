// Long folders, names and reasons never push a control out of its window: paths and
// names elide in the middle (the tooltip holds them whole) or wrap.
#include "TwinLanternApp/ui/advanced/AdvancedTab.h"
#include "TwinLanternApp/ui/advanced/AdvancedTabSections.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/ElidedLabel.h"
#include "TwinLanternApp/ui/onboarding/OnboardingView.h"
#include "TwinLanternApp/ui/onboarding/OnboardingWindow.h"
#include "TwinLanternApp/ui/frame/PlainText.h"
#include "TwinLanternApp/ui/onboarding/ProfilesStep.h"
#include "TwinLanternApp/ui/onboarding/SignInStep.h"
#include "TwinLanternApp/ui/terminal/TerminalTab.h"
#include "TwinLanternApp/ui/terminal/FolderAnswer.h"
#include "TwinLanternApp/ui/frame/Toast.h"
#include "TwinLanternApp/ui/profiles/ToolRow.h"

#include "tests/app/ui/ProfilesTabFixture.h"
#include "tests/support/Profiles.h"

#include <QAbstractAnimation>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace twinlantern;
using namespace twinlantern::ui;
using test::ProfilesTabWindow;
using test::ProfileViewsFixture;

namespace {

std::string repeated(const std::string& part, int times, const std::string& between) {
    std::string out;
    for (int i = 0; i < times; ++i) {
        out += (i == 0 ? "" : between) + part;
    }
    return out;
}

struct LongCase {
    std::string label;
    std::string name;   // at most 40 characters, as the document allows
    std::string folder; // under the home folder, without "~/"
};

const std::vector<LongCase> longCases{
    {"an ordinary long rule", "Work",
     "Projects/clients/acme-corporation/backend-services/payments-gateway-v2"},
    {"a deep folder without spaces", std::string(40, 'W'),
     repeated("a-very-long-folder-name-without-any-spaces", 6, "/")},
    {"a deep folder with spaces", "Client Work for Acme Corporation Holding",
     repeated("Client Work For Acme Corporation International", 5, "/")},
    {"one folder name of 250 letters", repeated("\u6F22", 40, ""), std::string(250, 'm')},
};

// The look for as long as it lives, as the app's windows get it.
class LookScope {
public:
    explicit LookScope(Look look) : before_(QApplication::palette()) {
        QApplication::setPalette(appearance::palette(look));
    }
    ~LookScope() { QApplication::setPalette(before_); }
    LookScope(const LookScope&) = delete;
    LookScope& operator=(const LookScope&) = delete;

private:
    QPalette before_;
};

std::string describe(const QWidget* widget) {
    std::string out = widget->metaObject()->className();
    if (!widget->accessibleName().isEmpty()) {
        out += " \"" + utf8(widget->accessibleName()) + "\"";
    } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
        out += " \"" + utf8(label->text().left(40)) + "\"";
    } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
        out += " \"" + utf8(button->text()) + "\"";
    }
    return out;
}

// Every shown widget under `window` that sticks out of its parent (and so out of the
// window): sideways anywhere, and up or down except in a scrolled area's content.
std::vector<std::string> outside(QWidget* window) {
    std::vector<std::string> found;
    for (QWidget* widget : window->findChildren<QWidget*>()) {
        if (widget->isWindow() || !widget->isVisibleTo(window)) {
            continue;
        }
        const QWidget* parent = widget->parentWidget();
        const QRect box = widget->geometry();
        const bool scrolled =
            parent->parentWidget() != nullptr &&
            qobject_cast<const QAbstractScrollArea*>(parent->parentWidget()) != nullptr &&
            parent->objectName() == QStringLiteral("qt_scrollarea_viewport");
        const bool across = box.left() < 0 || box.right() >= parent->width();
        const bool down = !scrolled && (box.top() < 0 || box.bottom() >= parent->height());
        if (across || down) {
            const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
            found.push_back(describe(widget) + " at x " + std::to_string(inWindow.left()) + "–" +
                            std::to_string(inWindow.right()) + ", y " +
                            std::to_string(inWindow.top()) + " in a window " +
                            std::to_string(window->width()) + " wide");
        }
    }
    return found;
}

// Each shown elided label holds its whole text in its tooltip and, when cut, keeps both
// ends of it.
void expectWholeInTooltips(QWidget* window) {
    for (const ElidedLabel* label : window->findChildren<ElidedLabel*>()) {
        if (!label->isVisibleTo(window) || label->text().isEmpty()) {
            continue;
        }
        SCOPED_TRACE(utf8(label->text()));
        EXPECT_EQ(label->toolTip(), plainToolTip(label->text()));
        if (label->isElided()) {
            const QString shown = label->shownText();
            ASSERT_TRUE(shown.contains(QStringLiteral("…"))) << utf8(shown);
            EXPECT_TRUE(label->text().startsWith(shown.left(shown.indexOf(u'…'))));
            EXPECT_TRUE(label->text().endsWith(shown.mid(shown.indexOf(u'…') + 1)));
        }
    }
}

void settleLayout() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    QApplication::processEvents();
}

TEST(LongData, EveryControlOfTheSettingsWindowStaysInsideIt) {
    for (const Look look : {Look::light, Look::dark}) {
        for (const LongCase& c : longCases) {
            SCOPED_TRACE(std::string(look == Look::light ? "light: " : "dark: ") + c.label);
            const LookScope scope(look);
            const std::string rule = "~/" + c.folder;
            const Profile work = tltest::profile("work-1", c.name, Profile::Storage::managed,
                                                 {ToolKind::claudeDesktop, ToolKind::chatGPTApp,
                                                  ToolKind::claudeCode, ToolKind::codex});
            ProfileDocument document;
            document.profiles = {work, tltest::profile("home-1", "Home")};
            document.rules = {{rule + "/**", work.id}, {"~/gone/" + c.folder, work.id}};
            document.cliDefault = work.id;
            ProfileViewsFixture f(true, &document);
            const std::string folder = f.app.home.home() + "/" + c.folder;
            tltest::makeDirs(folder + "/src");
            // A `.twinlantern` file that decides, and one naming no profile.
            tltest::makeDirs(folder + "/other/" + c.folder);
            tltest::writeFile(folder + "/other/.twinlantern", c.name + "\n");
            tltest::writeFile(folder + "/other/" + c.folder + "/.twinlantern",
                              repeated(c.folder, 2, "-") + "\n");
            ProfilesTabWindow w(f);
            ASSERT_NE(w.detail(), nullptr);
            ASSERT_EQ(w.detail()->folderRows().size(), 2u);
            settleLayout();
            EXPECT_EQ(w.window->width(), SettingsWindow::contentWidth);
            EXPECT_EQ(outside(w.window.get()), std::vector<std::string>{}) << "Profiles tab";
            expectWholeInTooltips(w.window.get());
            for (const FolderRow& row : w.detail()->folderRows()) {
                EXPECT_TRUE(row.path->isElided()) << "every folder here is too long to show";
                EXPECT_GT(row.remove->width(), 0);
            }

            auto* terminal = w.window->findChild<TerminalTab*>();
            w.window->tabs()->setCurrentWidget(terminal);
            // The rule's reason, the file's reason, and a file naming no profile.
            const std::vector<std::pair<std::string, std::size_t>> tested{
                {rule + "/src", 0}, {rule + "/other", 0}, {rule + "/other/" + c.folder, 1}};
            for (const auto& [typed, warnings] : tested) {
                SCOPED_TRACE(typed);
                terminal->folderField()->setText(qs(typed));
                settleLayout();
                EXPECT_TRUE(terminal->result()->whyLabel()->text().startsWith(
                    QStringLiteral("because of ")));
                EXPECT_EQ(terminal->result()->warnings().size(), qsizetype(warnings));
                EXPECT_EQ(outside(w.window.get()), std::vector<std::string>{}) << "Terminal tab";
                expectWholeInTooltips(w.window.get());
            }

            w.window->tabs()->setCurrentIndex(2);
            settleLayout();
            EXPECT_EQ(outside(w.window.get()), std::vector<std::string>{}) << "Advanced tab";

            // A toast with the name and the folder, once it has slid in.
            f.model->showToast("Now click \u201cContinue with Google\u201d in Claude \u2014 " +
                               c.name + ". " + rule);
            auto* arriving = w.window->toast()->findChild<QAbstractAnimation*>();
            ASSERT_TRUE(
                QTest::qWaitFor([&] { return arriving->state() == QAbstractAnimation::Stopped; },
                                tltest::patienceMs));
            EXPECT_TRUE(w.window->toast()->isVisible());
            EXPECT_EQ(outside(w.window.get()), std::vector<std::string>{}) << "the toast";
        }
    }
}

// The inline error of "Open at login" names the entry's path, under a home of any depth.
TEST(LongData, TheAdvancedTabsLoginErrorWrapsInsideTheWindow) {
    for (const Look look : {Look::light, Look::dark}) {
        for (const LongCase& c : longCases) {
            SCOPED_TRACE(std::string(look == Look::light ? "light: " : "dark: ") + c.label);
            const LookScope scope(look);
            ProfileViewsFixture f;
            const std::string home = f.app.home.home() + "/" + c.folder;
            tltest::makeDirs(home + "/.config");
            tltest::writeFile(home + "/.config/autostart", "a file, not a folder");
            SettingsWindow window(*f.bridge, {.loginItem = platform::LoginItem(
                                                  home, {}, home + "/TwinLantern/TwinLantern")});
            window.tabs()->setCurrentIndex(2);
            test::showActive(&window);
            auto* advanced = window.findChild<AdvancedTab*>();
            advanced->openAtLogin()->toggle()->click();
            ASSERT_TRUE(advanced->openAtLogin()->error()->isVisible());
            EXPECT_TRUE(advanced->openAtLogin()->error()->text().contains(qs(c.folder)));
            settleLayout();
            EXPECT_EQ(outside(&window), std::vector<std::string>{});
        }
    }
}

TEST(LongData, EveryControlOfTheOnboardingWindowStaysInsideIt) {
    for (const Look look : {Look::light, Look::dark}) {
        for (const LongCase& c : longCases) {
            SCOPED_TRACE(std::string(look == Look::light ? "light: " : "dark: ") + c.label);
            const LookScope scope(look);
            ProfileViewsFixture f(true);
            const std::string folder = f.app.home.home() + "/" + c.folder;
            tltest::makeDirs(folder);
            OnboardingWindow::show(*f.bridge);
            QWidget* window = OnboardingWindow::window();
            test::showActive(window);
            OnboardingView* view = OnboardingWindow::view();
            PlanRowView* row = view->profilesStep()->rows().at(0);
            row->nameField()->setText(qs(c.name));
            QTest::mouseClick(row->folderButton(), Qt::LeftButton);
            auto* panel = window->findChild<QFileDialog*>();
            ASSERT_NE(panel, nullptr);
            panel->selectFile(qs(folder));
            static_cast<QDialog*>(panel)->accept(); // QFileDialog keeps accept() protected
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            ASSERT_EQ(row->folderText()->text(), qs("~/" + c.folder));
            settleLayout();
            EXPECT_EQ(outside(window), std::vector<std::string>{}) << "step 1";
            expectWholeInTooltips(window);

            QTest::mouseClick(view->mainButton(), Qt::LeftButton);
            ASSERT_NE(view->signInStep(), nullptr) << f.model->alert().value_or("");
            settleLayout();
            EXPECT_EQ(outside(window), std::vector<std::string>{}) << "step 2";
            expectWholeInTooltips(window);
            EXPECT_FALSE(window->findChildren<ToolRow*>().isEmpty());
            window->close();
        }
    }
}

} // namespace
