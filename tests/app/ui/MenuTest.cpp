#include "TwinLanternApp/ui/frame/AppMenu.h"
#include "TwinLanternApp/ui/frame/SettingsTab.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/UpdaterService.h"
#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "core/tools/DesktopInstall.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/Contrast.h"
#include "tests/app/ui/ShownNames.h"
#include "tests/app/ui/UiTest.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::ui;
using namespace std::chrono_literals;
using test::UiModel;

namespace {

// The menu as a person reads it: "---" for a separator, a submenu as "Title >", the
// second text after " | ".
std::vector<std::string> lines(const QMenu& menu) {
    std::vector<std::string> out;
    for (QAction* action : menu.actions()) {
        if (action->isSeparator()) {
            out.push_back("---");
            continue;
        }
        QString text = action->text();
        text.replace(QStringLiteral("&&"), QStringLiteral("&"));
        text.replace(QChar(u'\t'), QStringLiteral(" | "));
        if (action->menu() != nullptr) {
            text += QStringLiteral(" >");
        }
        out.push_back(text.toStdString());
    }
    return out;
}

std::string iso(std::string_view name) {
    return test::inText(name);
}

QAction* action(const QMenu& menu, const std::string& startsWith) {
    for (QAction* a : menu.actions()) {
        if (a->text()
                .replace(QStringLiteral("&&"), QStringLiteral("&"))
                .startsWith(QString::fromStdString(startsWith))) {
            return a;
        }
    }
    return nullptr;
}

struct Recorder {
    int settings = 0, onboarding = 0, quit = 0;
    AppMenu::Handlers handlers() {
        return {[this] { ++settings; }, [this] { ++onboarding; },
                [this] {
                    ++quit;
                }};
    }
};

TEST(Menu, WithNoProfilesExactlySetUpSettingsAndQuit) {
    UiModel ui;
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    EXPECT_EQ(lines(*menu.menu()), (std::vector<std::string>{"Set up TwinLantern…", "---",
                                                             "Settings…", "Quit TwinLantern"}));
    action(*menu.menu(), "Set up")->trigger();
    action(*menu.menu(), "Quit")->trigger();
    EXPECT_EQ(r.onboarding, 1);
    EXPECT_EQ(r.quit, 1);
    EXPECT_EQ(action(*menu.menu(), "Settings")->shortcut(), QKeySequence(QStringLiteral("Ctrl+,")));
    EXPECT_EQ(action(*menu.menu(), "Quit")->shortcut(), QKeySequence(QStringLiteral("Ctrl+Q")));
    EXPECT_TRUE(test::unnamedControls(menu.menu()).empty());
}

TEST(Menu, OverAProfilesFileThatCantBeReadSetUpStaysAway) {
    UiModel ui;
    tltest::makeDirs(ui.fixture.home.paths.supportDirectory());
    tltest::writeFile(ui.fixture.home.paths.profilesFile(), "{}", 0600);
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    ASSERT_TRUE(ui.model->loadError());
    EXPECT_EQ(lines(*menu.menu()), (std::vector<std::string>{"Settings…", "Quit TwinLantern"}));

    // Repaired from outside: the model reloads and the item comes back.
    ::unlink(ui.fixture.home.paths.profilesFile().c_str());
    ui.model->reload();
    ui.settle();
    EXPECT_EQ(lines(*menu.menu()), (std::vector<std::string>{"Set up TwinLantern…", "---",
                                                             "Settings…", "Quit TwinLantern"}));
}

TEST(Menu, AppItemsTerminalOnlyItemsAndThePicker) {
    UiModel ui;
    ProfileDocument doc;
    Profile both = tltest::profile("both-1", "<b>R&D</b>", Profile::Storage::managed,
                                   {ToolKind::claudeDesktop, ToolKind::chatGPTApp});
    doc.profiles = {
        both,
        tltest::profile("codex-1", "Codex Only", Profile::Storage::managed, {ToolKind::codex}),
        tltest::profile("none-1", "Nothing", Profile::Storage::managed, {}),
        tltest::profile("claude-1", "Extraordinarily Long Profile Name", Profile::Storage::managed,
                        {ToolKind::claudeDesktop}),
    };
    doc.cliDefault = ProfileID("codex-1");
    ui.fixture.writeDocument(doc);
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    EXPECT_EQ(lines(*menu.menu()),
              (std::vector<std::string>{
                  "Claude — " + iso("<b>R&D</b>"), "Claude — " + iso("Extraordinarily Long") + "…",
                  "ChatGPT — " + iso("<b>R&D</b>"), iso("Codex Only") + " | Terminal only",
                  iso("Nothing") + " | Terminal only", "---", "Terminal default >", "---",
                  "Settings…", "Quit TwinLantern"}));
    // Data reads verbatim to a screen reader too; every item has a name.
    EXPECT_TRUE(test::hasNode(menu.menu(), QAccessible::MenuItem,
                              QStringLiteral("Claude — ") + test::inTextQ("<b>R&D</b>")));
    EXPECT_TRUE(test::unnamedControls(menu.menu()).empty());
    EXPECT_FALSE(action(*menu.menu(), "Claude — " + iso("<b>R&D</b>"))->icon().isNull());

    QMenu* picker = action(*menu.menu(), "Terminal default")->menu();
    ASSERT_NE(picker, nullptr);
    EXPECT_EQ(lines(*picker), (std::vector<std::string>{
                                  "None", iso("<b>R&D</b>"), iso("Codex Only"), iso("Nothing"),
                                  iso("Extraordinarily Long Profile ") + "…"}));
    EXPECT_TRUE(action(*picker, iso("Codex Only"))->isChecked());
    EXPECT_TRUE(test::unnamedControls(picker).empty());

    // "None" clears the default in the file, and the picker then shows it.
    action(*picker, "None")->trigger();
    ui.settle();
    const auto stored =
        nlohmann::json::parse(tltest::readFile(ui.fixture.home.paths.profilesFile()));
    EXPECT_FALSE(stored.contains("cliDefault") && !stored["cliDefault"].is_null()) << stored.dump();
    EXPECT_FALSE(ui.model->document().cliDefault);
    picker = action(*menu.menu(), "Terminal default")->menu();
    EXPECT_TRUE(action(*picker, "None")->isChecked());
    EXPECT_FALSE(action(*picker, iso("Codex Only"))->isChecked());

    // A terminal-only item opens the settings on the Profiles tab.
    app::AppSettings::setSelectedTab(QStringLiteral("advanced"));
    action(*menu.menu(), iso("Nothing"))->trigger();
    EXPECT_EQ(r.settings, 1);
    EXPECT_EQ(app::AppSettings::selectedTab(), QStringLiteral("profiles"));
    // Settings… keeps the tab last shown.
    app::AppSettings::setSelectedTab(QStringLiteral("terminal"));
    action(*menu.menu(), "Settings")->trigger();
    EXPECT_EQ(r.settings, 2);
    EXPECT_EQ(app::AppSettings::selectedTab(), QStringLiteral("terminal"));
    ui.settle();
}

// An updater that counts the checks asked of it, installed while it lives.
struct CountingUpdater final : app::UpdaterController {
    int* checks;
    explicit CountingUpdater(int* count) : checks(count) {}
    void checkForUpdates() override { ++*checks; }
    bool automaticallyChecksForUpdates() const override { return false; }
    void setAutomaticallyChecksForUpdates(bool) override {}
};
struct InstalledUpdater {
    int checks = 0;
    InstalledUpdater() {
        app::UpdaterService::shared().controller = std::make_unique<CountingUpdater>(&checks);
    }
    ~InstalledUpdater() { app::UpdaterService::shared().controller.reset(); }
};

TEST(Menu, WithAnUpdaterCheckForUpdatesSitsRightAboveQuit) {
    UiModel ui;
    ui.start();
    InstalledUpdater updater;
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    EXPECT_EQ(lines(*menu.menu()),
              (std::vector<std::string>{"Set up TwinLantern…", "---", "Settings…",
                                        "Check for Updates…", "Quit TwinLantern"}));
    action(*menu.menu(), "Check for Updates")->trigger();
    EXPECT_EQ(updater.checks, 1);
}

TEST(Menu, DeletingTheLastProfileBringsBackTheSetUpItem) {
    UiModel ui;
    ProfileDocument doc;
    doc.profiles = {tltest::profile("work-1", "Work")};
    doc.cliDefault = ProfileID("work-1");
    ui.fixture.writeDocument(doc);
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    ASSERT_EQ(lines(*menu.menu()).front(), iso("Work") + " | Terminal only");
    bool done = false;
    ui.model->deleteProfile(doc.profiles[0], [&done] { done = true; });
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            ui.settle();
            return done;
        },
        tltest::patienceMs));
    ui.settle();
    EXPECT_EQ(lines(*menu.menu()), (std::vector<std::string>{"Set up TwinLantern…", "---",
                                                             "Settings…", "Quit TwinLantern"}));
}

TEST(Menu, TheFirstManagedProfileWhoseClaudeFailsNeedsSigningIn) {
    UiModel ui;
    ProfileDocument doc;
    doc.profiles = {
        tltest::profile("usual-1", "Usual", Profile::Storage::system, {ToolKind::claudeCode}),
        tltest::profile("fine-1", "Fine", Profile::Storage::managed, {ToolKind::claudeCode}),
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeCode}),
        tltest::profile("later-1", "Later", Profile::Storage::managed, {ToolKind::claudeCode}),
    };
    ui.fixture.writeDocument(doc);
    ui.fixture.signIn(ToolKind::claudeCode, "fine-1", "f@example.com");
    ui.fixture.folder(ToolKind::claudeCode, "work-1");
    ui.fixture.folder(ToolKind::claudeCode, "later-1");
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    EXPECT_EQ(lines(*menu.menu()).front(), iso("Usual") + " | Terminal only"); // nothing known yet
    ui.refreshStatuses();
    ASSERT_EQ(ui.model->status(doc.profiles[2], ToolKind::claudeCode)->state,
              ToolStatus::Case::needsAttention);
    // A system profile's claude that fails (signed out is "not set up" there).
    ui.model->storeStatus(
        ProfileID("usual-1"), ToolKind::claudeCode,
        ToolStatus::needsAttention("`claude auth status` didn't answer in time."));
    ui.settle();
    const auto shown = lines(*menu.menu());
    ASSERT_GE(shown.size(), 2u);
    EXPECT_EQ(shown[0], "\u26A0\uFE0E " + iso("Work") + " needs signing in…");
    EXPECT_EQ(shown[1], "---");
    app::AppSettings::setSelectedTab(QStringLiteral("advanced"));
    action(*menu.menu(), "\u26A0")->trigger();
    EXPECT_EQ(r.settings, 1);
    EXPECT_EQ(app::AppSettings::selectedTab(), QStringLiteral("profiles"));
    ui.settle();
}

TEST(Menu, AClaudeItemStartsThatProfilesAppThenReadsOpen) {
    tltest::MachineWideTurn turn;
    UiModel ui;
    tltest::FakeApp claude(ui.fixture.home.paths.applicationsDirectory, "Claude",
                           DesktopInstall::bundleID);
    ProfileDocument doc;
    doc.profiles = {
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop})};
    ui.fixture.writeDocument(doc);
    ui.start();
    Recorder r;
    AppMenu menu(*ui.bridge, r.handlers());
    ASSERT_EQ(lines(*menu.menu()).front(), "Claude — " + iso("Work"));
    action(*menu.menu(), "Claude — " + iso("Work"))->trigger();
    ui.settle();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !claude.runs().empty(); }, tltest::patienceMs));
    const auto run = claude.run(claude.runs().front());
    ASSERT_TRUE(run);
    const std::string folder =
        ui.fixture.home.paths.dataDirectory(ToolKind::claudeDesktop, ProfileID("work-1")).value();
    EXPECT_NE(std::find(run->argv.begin(), run->argv.end(), "--user-data-dir=" + folder),
              run->argv.end());
    // The model looks again a second after the open.
    ui.fixture.scheduler.advance(1s);
    ui.settle();
    EXPECT_EQ(lines(*menu.menu()).front(), "Claude — " + iso("Work") + " | Open");
    claude.killAll();
}

TEST(Menu, AHighlightedItemsDotStandsOutFromTheHighlight) {
    const QPalette saved = QApplication::palette();
    for (const Look look : {Look::light, Look::dark}) {
        for (const ProfileColor color : allProfileColors) {
            SCOPED_TRACE(::testing::Message() << "look " << int(look) << ", " << hex(color));
            QApplication::setPalette(appearance::palette(look));
            UiModel ui;
            ProfileDocument doc;
            Profile work = tltest::profile("work-1", "Work");
            work.color = color;
            doc.profiles = {work};
            ui.fixture.writeDocument(doc);
            ui.start();
            Recorder r;
            AppMenu menu(*ui.bridge, r.handlers());
            QAction* item = action(*menu.menu(), iso("Work"));
            ASSERT_NE(item, nullptr);
            menu.menu()->ensurePolished();
            menu.menu()->adjustSize();
            menu.menu()->setActiveAction(item);
            const QImage image = menu.menu()->grab().toImage();
            const QRect row = menu.menu()->actionGeometry(item);
            const QColor highlight = menu.menu()->palette().color(QPalette::Highlight);
            ASSERT_EQ(image.pixelColor(row.right() - 3, row.center().y()), highlight);
            // The dot sits in the icon column, before the text.
            double best = 1.0;
            for (int y = row.top(); y <= row.bottom(); ++y) {
                for (int x = row.left(); x < row.left() + 24; ++x) {
                    best = std::max(best, test::contrast(image.pixelColor(x, y), highlight));
                }
            }
            EXPECT_GE(best, 3.0);
        }
    }
    QApplication::setPalette(saved);
}

} // namespace
