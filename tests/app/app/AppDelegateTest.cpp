#include "TwinLanternApp/app/AppDelegate.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/QtScheduler.h"
#include "TwinLanternApp/app/QuitWithoutWaiting.h"
#include "TwinLanternApp/app/SettingsOpener.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternMac/signin/SignInRouter.h"
#include "core/tools/ProcessRunner.h"
#include "platform/HotKeyService.h"
#include "platform/Workspace.h"
#include "platform/test/FakeHotKeyService.h"
#include "platform/test/RecordingLog.h"
#include "tests/app/app/RecordingWindows.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/x11/XClient.h"
#include "tests/support/x11/XvfbServer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sstream>
#include <thread>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using platform::HotKeyService;
using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

constexpr KeyCombo controlOptionK{40, KeyCombo::controlKey | KeyCombo::optionKey};

// A start-up over a real model on a temporary HOME, the Qt scheduler, the router over
// the real workspace (fake Claude bundles), recording windows and a fake or X11 hot-key
// service.
class AppDelegateTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string config = home.home() + "/.config";
    std::string data = home.home() + "/.local/share";
    Environment environment{{"HOME", home.home()},
                            {"PATH", "/usr/bin:/bin"},
                            {"SHELL", loginShell()},
                            {"XDG_CONFIG_HOME", config},
                            {"XDG_DATA_HOME", data},
                            {"XDG_DATA_DIRS", home.home() + "/sys"},
                            {"XDG_CONFIG_DIRS", home.home() + "/etc"}};
    tltest::FakeApp own{home.paths.applicationsDirectory, "TwinLantern",
                        tltest::uniqueBundleID("twinlantern")};
    tltest::FakeApp claude{home.paths.applicationsDirectory, "Claude",
                           tltest::uniqueBundleID("claude")};
    QtScheduler scheduler;
    platform::RecordingLog log;
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(home.paths, environment);
    platform::SchemeHandlers handlers{home.home(), environment};
    platform::test::FakeHotKeyService fakeHotKeys;
    std::unique_ptr<HotKeyService> x11HotKeys;
    tltest::RecordingWindows windows;
    int terminated = 0;
    std::unique_ptr<AppDelegate> delegate;

    std::string loginShell() const {
        const std::string shell = home.home() + "/login-shell";
        tltest::writeFile(
            shell, "#!/bin/sh\nprintf '__TWINLANTERN_PATH__/usr/bin:/bin__TWINLANTERN_PATH__'\n",
            0755);
        return shell;
    }

    void SetUp() override { AppSettings::open()->clear(); }

    void TearDown() override {
        delegate.reset();
        SignInRouter::shared().reset();
        AppModel::shared().reset();
        scheduler.waitForJobs();
        AppSettings::open()->clear();
        SettingsOpener::setAction({});
        claude.killAll();
        own.killAll();
    }

    void writeProfiles(std::vector<Profile> profiles) {
        ProfileDocument document = ProfileDocument::empty();
        document.profiles = std::move(profiles);
        tltest::makeDirs(home.paths.supportDirectory());
        tltest::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);
    }

    AppModel& model() { return *AppModel::shared(); }

    void start(std::vector<std::string> arguments = {"TwinLantern"},
               HotKeyService* hotKeys = nullptr) {
        AppModel::shared() =
            std::make_shared<AppModel>(home.paths, std::nullopt, false,
                                       AppServices{&scheduler, environment, own.executable()});
        SignInRouter::shared() = std::make_unique<SignInRouter>(
            SignInRouter::Services{*workspace, handlers, scheduler, log, own.bundle(),
                                   [] { return SignInRouter::Clock::now(); }, claude.bundleID()});
        delegate = std::make_unique<AppDelegate>(
            AppDelegate::Services{windows, scheduler, hotKeys ? *hotKeys : fakeHotKeys, log,
                                  std::move(arguments), [this] {
                                      ++terminated;
                                  }});
        delegate->applicationDidFinishLaunching();
    }

    // Until the posted steps have run, and the jobs they start and what those post: a
    // marker posted after them runs after them.
    void settle() {
        for (int round = 0; round < 3; ++round) {
            scheduler.waitForJobs();
            bool reached = false;
            scheduler.post([&] { reached = true; });
            ASSERT_TRUE(QTest::qWaitFor([&] { return reached; }, tltest::patienceMs));
        }
    }

    static void enableShortcut(std::optional<KeyCombo> combo) {
        AppSettings::setBool(AppSettings::cycleShortcutEnabled, true);
        ShortcutSettings::setCombo(combo);
    }

    std::vector<std::string> windowCalls() const {
        std::vector<std::string> calls;
        for (const auto& call : windows.calls) {
            if (call != "prepare") {
                calls.push_back(call);
            }
        }
        return calls;
    }
};

TEST_F(AppDelegateTest, WithProfilesTheSettingsWindowOpensAfterStartUpElseOnboarding) {
    writeProfiles({tltest::profile("work-1")});
    start();
    EXPECT_THAT(windowCalls(), IsEmpty()); // it runs after the start-up returns
    settle();
    EXPECT_THAT(windowCalls(), ElementsAre("settings"));
    EXPECT_THAT(log.messages(), Contains("opened the settings window"));
}

TEST_F(AppDelegateTest, WithoutProfilesOnboardingOpensAndAReopenOpensItAgain) {
    start();
    settle();
    EXPECT_THAT(windowCalls(), ElementsAre("onboarding"));
    EXPECT_FALSE(delegate->applicationShouldHandleReopen());
    EXPECT_THAT(windowCalls(), ElementsAre("onboarding", "onboarding"));
}

TEST_F(AppDelegateTest, AProfilesFileThatCantBeReadGetsTheSettingsWindowWithItsAlert) {
    const std::string file = home.paths.profilesFile();
    struct Case {
        const char* bytes;
        std::string alertStart;
    } cases[] = {
        {"{\"version\": 1, \"profiles\": [", "Couldn't read " + file + ": "},
        {"{\"version\": 2, \"profiles\": {}}",
         "Your profiles were saved by a newer version of TwinLantern (format 2). Update "
         "TwinLantern to change them."},
        {"{}", "Couldn't read " + file + ": "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        tltest::makeDirs(home.paths.supportDirectory());
        tltest::writeFile(file, c.bytes, 0600);
        const tltest::FolderSnapshot before = tltest::snapshot(home.paths.supportDirectory());
        windows.calls.clear();
        start();
        settle();
        EXPECT_THAT(windowCalls(), ElementsAre("settings"));
        ASSERT_TRUE(model().loadError());
        EXPECT_EQ(model().loadError()->rfind(c.alertStart, 0), 0u) << *model().loadError();
        EXPECT_EQ(model().alert(), model().loadError());
        // A reopen too: never first-run setup over the file.
        model().setAlert(std::nullopt);
        EXPECT_FALSE(delegate->applicationShouldHandleReopen());
        EXPECT_THAT(windowCalls(), ElementsAre("settings", "settings"));
        EXPECT_EQ(model().alert(), model().loadError());
        EXPECT_EQ(tltest::snapshot(home.paths.supportDirectory()), before);
        TearDown();
        SetUp();
    }
}

TEST_F(AppDelegateTest, ALoginStartOpensNoWindowUntilALaterPlainStart) {
    writeProfiles({tltest::profile("work-1")});
    start({"TwinLantern", "--launched-at-login"});
    settle();
    EXPECT_TRUE(delegate->launchedAtLogin());
    EXPECT_THAT(windowCalls(), IsEmpty());
    EXPECT_FALSE(delegate->applicationShouldHandleReopen());
    EXPECT_THAT(windowCalls(), ElementsAre("settings"));
    EXPECT_THAT(log.messages(), Contains("reopen from a later start"));
}

TEST_F(AppDelegateTest, TheLoginFlagCountsAnywhereButAsTheProgram) {
    EXPECT_TRUE(AppDelegate::launchedAtLogin({"x", "claude://a", "--launched-at-login"}));
    EXPECT_FALSE(AppDelegate::launchedAtLogin({"--launched-at-login"}));
    EXPECT_FALSE(AppDelegate::launchedAtLogin({"x", "--launched-at-login=1"}));
    EXPECT_FALSE(AppDelegate::launchedAtLogin({}));
}

TEST_F(AppDelegateTest, ARequestBeforeTheSettingsWindowExistsIsCarriedOutOnce) {
    writeProfiles({tltest::profile("work-1")});
    windows.supplyOnPrepare = false;
    start();
    settle();
    EXPECT_THAT(windowCalls(), IsEmpty());
    EXPECT_TRUE(SettingsOpener::pending());
    EXPECT_FALSE(delegate->applicationShouldHandleReopen()); // a second request waits too
    windows.supplyAction();
    EXPECT_THAT(windowCalls(), ElementsAre("settings"));
    windows.supplyAction();
    settle();
    EXPECT_THAT(windowCalls(), ElementsAre("settings"));
}

TEST_F(AppDelegateTest, SnapshotModeRendersAndQuitsWithNothingElseStarted) {
    writeProfiles({tltest::profile("work-1")});
    enableShortcut(controlOptionK);
    start({"TwinLantern", "-x", "--render-snapshots", home.home() + "/shots", "--render-snapshots",
           "/other"});
    settle();
    EXPECT_THAT(windows.calls, ElementsAre("snapshots " + home.home() + "/shots"));
    EXPECT_EQ(terminated, 1);
    EXPECT_EQ(fakeHotKeys.registered(), 0U);
    EXPECT_FALSE(delegate->listensOnBus());
    EXPECT_FALSE(ShortcutSettings::onChange);
}

TEST_F(AppDelegateTest, TheSnapshotFlagLastStartsNormally) {
    EXPECT_EQ(AppDelegate::snapshotFolder({"TwinLantern", "--render-snapshots"}), std::nullopt);
    EXPECT_EQ(AppDelegate::snapshotFolder({"--render-snapshots", "x"}), "x");
    EXPECT_EQ(AppDelegate::snapshotFolder({"TwinLantern", "--Render-Snapshots", "x"}),
              std::nullopt);
    start({"TwinLantern", "--render-snapshots"});
    settle();
    EXPECT_THAT(windowCalls(), ElementsAre("onboarding"));
    EXPECT_EQ(terminated, 0);
}

TEST_F(AppDelegateTest, TheHotKeyFollowsTheSwitchAndTheStoredCombo) {
    // Absent switch: nothing, though a combo is stored.
    ShortcutSettings::setCombo(controlOptionK);
    start();
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(fakeHotKeys.registered(), 0U);

    // On without a combo: nothing, and nothing said.
    enableShortcut(std::nullopt);
    ShortcutSettings::onChange();
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(model().alert(), std::nullopt);

    // On with a free combo: registered; a press reaches the model's action.
    ShortcutSettings::setCombo(controlOptionK);
    ShortcutSettings::onChange();
    ASSERT_NE(delegate->hotKey(), nullptr);
    EXPECT_EQ(fakeHotKeys.registered(), 1U);
    EXPECT_TRUE(fakeHotKeys.press(controlOptionK.keyCode, controlOptionK.modifiers));

    // Held elsewhere: the alert, no hot key, the settings kept.
    const KeyCombo held{41, KeyCombo::cmdKey};
    fakeHotKeys.heldElsewhere.insert({held.keyCode, held.modifiers});
    ShortcutSettings::setCombo(held);
    ShortcutSettings::onChange();
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(fakeHotKeys.registered(), 0U);
    EXPECT_EQ(model().alert(), AppDelegate::shortcutTaken);
    EXPECT_EQ(ShortcutSettings::combo(), held);
    EXPECT_TRUE(AppSettings::boolValue(AppSettings::cycleShortcutEnabled));

    // Back to a free one, then off.
    ShortcutSettings::setCombo(controlOptionK);
    ShortcutSettings::onChange();
    EXPECT_NE(delegate->hotKey(), nullptr);
    AppSettings::setBool(AppSettings::cycleShortcutEnabled, false);
    ShortcutSettings::onChange();
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(fakeHotKeys.registered(), 0U);
}

TEST_F(AppDelegateTest, WithoutAHotKeyBackendStartUpOnlyLogsAndAChangeSaysWhy) {
    fakeHotKeys.state = HotKeyService::Availability::wayland;
    enableShortcut(controlOptionK);
    start();
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(model().alert(), std::nullopt);
    EXPECT_THAT(log.messages(), Contains("no global shortcut: a Wayland session"));

    ShortcutSettings::onChange();
    EXPECT_EQ(model().alert(), AppDelegate::shortcutsNeedX11);
    EXPECT_EQ(ShortcutSettings::combo(), controlOptionK);
}

TEST_F(AppDelegateTest, TheHotKeyIsARealGrabAndAnotherClientsGrabWins) {
    tltest::XvfbServer xvfb;
    TL_REQUIRE_XVFB(xvfb);
    x11HotKeys = platform::makeHotKeyService(scheduler, {{"DISPLAY", xvfb.display()}});
    ASSERT_EQ(x11HotKeys->availability(), HotKeyService::Availability::available);
    tltest::XClient other(xvfb.display());
    ASSERT_TRUE(other.connected());
    ASSERT_TRUE(other.grab(tltest::XClient::kKey, XCB_MOD_MASK_CONTROL | tltest::XClient::altMask));
    other.sync();

    enableShortcut(controlOptionK);
    start({"TwinLantern"}, x11HotKeys.get());
    EXPECT_EQ(delegate->hotKey(), nullptr);
    EXPECT_EQ(model().alert(), AppDelegate::shortcutTaken);
    EXPECT_EQ(ShortcutSettings::combo(), controlOptionK);

    model().setAlert(std::nullopt);
    const KeyCombo free{40, KeyCombo::controlKey | KeyCombo::shiftKey};
    ShortcutSettings::setCombo(free);
    ShortcutSettings::onChange();
    ASSERT_NE(delegate->hotKey(), nullptr);
    EXPECT_EQ(model().alert(), std::nullopt);
    // Ours now: another client can't have it.
    EXPECT_FALSE(other.grab(tltest::XClient::kKey, XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT));
    delegate.reset(); // unregisters before the service goes
    x11HotKeys.reset();
}

TEST_F(AppDelegateTest, QuittingIsImmediateUnlessArmedThenTheHandlerGoesBackFirst) {
    start();
    settle();
    EXPECT_TRUE(delegate->applicationShouldTerminate());
    delegate->requestQuit();
    EXPECT_EQ(terminated, 1);
    delegate->requestQuit(); // once
    EXPECT_EQ(terminated, 1);
}

// The end of the app's main: jobs still running (a tool's run with a child of its own,
// and a wait that is no child's, as for an instance that won't quit) hold nothing up.
TEST(QuitWithoutWaiting, RunningJobsAreAbandonedAndTheirChildrenEnd) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // The death test runs this body again in a new process: it finds the folder here.
    std::optional<tltest::TempDir> made;
    if (!std::getenv("TL_QUIT_TEST_DIR")) {
        made.emplace();
        ::setenv("TL_QUIT_TEST_DIR", (*made / "").c_str(), 1);
    }
    const std::string dir = std::getenv("TL_QUIT_TEST_DIR");
    const std::string pids = dir + "pids";
    const std::string exitAt = dir + "exit-at";
    const std::string script =
        "echo $$ >> '" + pids + "'; sleep 600 & echo $! >> '" + pids + "'; wait";
    auto lines = [](const std::string& path) {
        std::vector<long> out;
        std::istringstream in(tltest::exists(path) ? tltest::readFile(path) : "");
        for (long n = 0; in >> n;) {
            out.push_back(n);
        }
        return out;
    };
    auto runningNow = [](long pid) {
        return tltest::processRuns(static_cast<pid_t>(pid));
    };
    auto nowNs = [] {
        return std::chrono::duration_cast<std::chrono::nanoseconds>(
                   std::chrono::steady_clock::now().time_since_epoch())
            .count();
    };
    EXPECT_EXIT(
        {
            QtScheduler jobs;
            jobs.background(
                [&] {
                    return ProcessRunner::runSync("/bin/sh", {"-c", script}, {}, 600);
                },
                [](JobResult<ProcessResult>) {});
            jobs.background([] { std::this_thread::sleep_for(600s); }, [](JobResult<void>) {});
            while (lines(pids).size() < 2) {
                std::this_thread::sleep_for(10ms);
            }
            tltest::writeFile(exitAt, std::to_string(nowNs()));
            exitUnlessIdle(jobs, 7);
            std::_Exit(1);
        },
        ::testing::ExitedWithCode(7), "");
    const auto called = std::stoll(tltest::readFile(exitAt));
    EXPECT_LT(nowNs() - called, std::chrono::nanoseconds(1s).count());
    const auto children = lines(pids);
    ASSERT_EQ(children.size(), 2u);
    // Each was sent SIGKILL before the exit; on a busy machine it takes a moment to die.
    for (const long pid : children) {
        EXPECT_TRUE(tltest::eventually([&] { return !runningNow(pid); })) << pid;
    }

    ::unsetenv("TL_QUIT_TEST_DIR");

    // With nothing running it returns, and the exit goes on in order.
    QtScheduler idle;
    exitUnlessIdle(idle, 7);
}

TEST_F(AppDelegateTest, AnArmedQuitGivesClaudeItsSchemeBackBeforeTheEnd) {
    handlers.setHandler("claude", claude.bundle(), false); // the handler before arming
    start();
    settle();
    SignInRouter& router = *SignInRouter::shared();
    router.arm(home.home() + "/support/desktop/work", "Work", 300s);
    ASSERT_EQ(router.currentHandler(), own.bundle());
    bool handlerBackAtEnd = false;
    delegate.reset();
    delegate = std::make_unique<AppDelegate>(AppDelegate::Services{
        windows, scheduler, fakeHotKeys, log, {"TwinLantern"}, [&] {
            ++terminated;
            handlerBackAtEnd = SignInRouter::shared()->currentHandler() == claude.bundle();
        }});
    delegate->requestQuit();
    EXPECT_EQ(terminated, 0); // later
    ASSERT_TRUE(QTest::qWaitFor([&] { return terminated == 1; }, tltest::patienceMs));
    EXPECT_TRUE(handlerBackAtEnd);
    EXPECT_FALSE(router.armed());
}

TEST_F(AppDelegateTest, ALeftOverHandlerGoesBackToClaudeAfterStartUp) {
    handlers.setHandler("claude", own.bundle(), true);
    start();
    EXPECT_EQ(SignInRouter::shared()->currentHandler(), own.bundle()); // not yet
    settle();
    EXPECT_EQ(SignInRouter::shared()->currentHandler(), claude.bundle());
}

TEST_F(AppDelegateTest, RouterMessagesBecomeToasts) {
    start();
    SignInRouter::shared()->onChange(std::nullopt);
    EXPECT_EQ(model().toast(), std::nullopt);
    SignInRouter::shared()->onChange("Passed the sign-in to Claude — Work.");
    EXPECT_EQ(model().toast(), "Passed the sign-in to Claude — Work.");
}

TEST_F(AppDelegateTest, LinksGoToTheRouterInOrder) {
    const pid_t running = workspace->open(claude.bundle(), {}, environment);
    ASSERT_TRUE(claude.run(running));
    start();
    delegate->open({"claude://x/cb?code=1", "not a link", "https://x/y", "claude://x/cb?code=2"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return claude.runs().size() >= 3; }, tltest::patienceMs));
    std::vector<std::vector<std::string>> argvs;
    for (const pid_t pid : claude.runs()) {
        if (pid != running) {
            argvs.push_back(claude.run(pid)->argv);
        }
    }
    ASSERT_EQ(argvs.size(), 2U);
    EXPECT_EQ(argvs[0].back(), "claude://x/cb?code=1");
    EXPECT_EQ(argvs[1].back(), "claude://x/cb?code=2");
}

// Sent from a connection of its own, as another program would.
void sendGoogleSignIn(const QList<QVariant>& arguments) {
    QDBusConnection sender =
        QDBusConnection::connectToBus(QDBusConnection::SessionBus, "google-sign-in-sender");
    ASSERT_TRUE(sender.isConnected());
    QDBusMessage signal =
        QDBusMessage::createSignal("/some/path", "app.twinlantern", "googleSignIn");
    signal.setArguments(arguments);
    ASSERT_TRUE(sender.send(signal));
}

TEST_F(AppDelegateTest, AGoogleSignInOnTheBusOpensThatProfilesClaudeAndNothingElseDoes) {
    tltest::MachineWideTurn turn; // a fake with Claude's own bundle id
    tltest::FakeApp desktop{home.paths.applicationsDirectory, "Claude Desktop",
                            DesktopInstall::bundleID};
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    writeProfiles({work});
    start();
    settle();
    if (!QDBusConnection::sessionBus().isConnected()) {
        GTEST_SKIP() << "no session bus";
    }
    // An unknown id, no argument, an integer, two strings: all ignored.
    sendGoogleSignIn({QString("nobody")});
    sendGoogleSignIn({});
    sendGoogleSignIn({QVariant(7)});
    sendGoogleSignIn({QString("work-1"), QString("work-1")});
    QTest::qWait(1500); // past the sign-in's settle time
    EXPECT_THAT(desktop.runs(), IsEmpty());
    EXPECT_FALSE(SignInRouter::shared()->armed());

    sendGoogleSignIn({QString("work-1")});
    ASSERT_TRUE(QTest::qWaitFor([&] { return desktop.runs().size() == 1; }, tltest::patienceMs));
    const std::string folder = home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    EXPECT_EQ(desktop.run(desktop.runs()[0])->argv.at(1), "--user-data-dir=" + folder);
    ASSERT_TRUE(QTest::qWaitFor([&] { return SignInRouter::shared()->armed().has_value(); },
                                tltest::patienceMs));
    EXPECT_EQ(SignInRouter::shared()->armed()->userDataDirectory, folder);
    SignInRouter::shared()->disarm();
    desktop.killAll();
}

} // namespace
