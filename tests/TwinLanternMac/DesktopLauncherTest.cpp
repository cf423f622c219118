#include "TwinLanternMac/apps/DesktopLauncher.h"

#include "core/base/PathUtil.h"
#include "platform/Workspace.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/x11/WindowOwner.h"
#include "tests/support/x11/XvfbServer.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <future>
#include <set>
#include <thread>

namespace twinlantern {
namespace {

using namespace std::chrono_literals;
using DesktopLauncher::Instance;
using DesktopLauncher::LaunchResult;
using testing::FakeApp;

bool isFree(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    return fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

std::string passwordHome() {
    const passwd* entry = ::getpwuid(::getuid());
    return entry != nullptr ? entry->pw_dir : "";
}

class DesktopLauncherTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string locks = home.dir / "locks";
    Environment env{{"USER", "u"},    {"LANG", "C.UTF-8"}, {"HOME", "/elsewhere"},
                    {"SECRET", "no"}, {"PATH", "/mine"},   {"XDG_RUNTIME_DIR", "/run/u"}};
    const std::unique_ptr<platform::Workspace> workspace = platform::makeWorkspace(home.paths, env);
    FakeApp app{home.paths.applicationsDirectory, "Fake", testing::uniqueBundleID("launch")};

    LaunchResult open(const std::optional<std::string>& folder, const Environment& extra = {}) {
        return DesktopLauncher::open(*workspace, folder, app.bundleID(), locks, extra, "Fake");
    }
    std::string lockOf(const std::optional<std::string>& folder) {
        return locks + "/" + ProfileLaunchLock::fileName(ProfileLaunchLock::key(folder));
    }
};

TEST_F(DesktopLauncherTest, LaunchesWithTheFolderAsGivenAndTheReducedEnvironment) {
    const std::string folder = home.dir / "p/one/";
    const auto result = open(folder, {{"PATH", "/extra"}, {"CODEX_HOME", "/c"}});
    ASSERT_EQ(result.kind, LaunchResult::Kind::launched);
    const auto run = app.run(result.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, (std::vector<std::string>{app.executable(), "--user-data-dir=" + folder}));
    EXPECT_EQ(run->environment, (Environment{{"USER", "u"},
                                             {"LANG", "C.UTF-8"},
                                             {"XDG_RUNTIME_DIR", "/run/u"},
                                             {"HOME", passwordHome()},
                                             {"PATH", "/extra"},
                                             {"CODEX_HOME", "/c"}}));
    EXPECT_EQ(tltest::fileMode(home.dir / "p/one"), 0700u);
    EXPECT_EQ(tltest::fileMode(home.dir / "p"), 0700u);
    EXPECT_TRUE(isFree(lockOf(folder))); // while the instance runs
}

TEST_F(DesktopLauncherTest, TheDefaultInstanceHasNoArgumentsAndItsOwnLock) {
    const auto result = open(std::nullopt);
    ASSERT_EQ(result.kind, LaunchResult::Kind::launched);
    const auto run = app.run(result.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, std::vector<std::string>{app.executable()});
    EXPECT_EQ(run->environment.at("PATH"), "/usr/bin:/bin:/usr/sbin:/sbin");
    EXPECT_TRUE(isFree(locks + "/.launch-5e6ac746f2e375f4.lock"));
    EXPECT_EQ(open(std::nullopt), LaunchResult::focused(result.pid));
}

TEST_F(DesktopLauncherTest, ASecondOpenFocusesTheSameInstanceInAnyOfTheFolderSForms) {
    tltest::makeDirs(home.dir / "real");
    ASSERT_EQ(::symlink((home.dir / "real").c_str(), (home.dir / "link").c_str()), 0);
    const auto first = open(home.dir / "real/p");
    ASSERT_EQ(first.kind, LaunchResult::Kind::launched);
    ASSERT_TRUE(app.run(first.pid));
    for (const std::string& form : {home.dir / "real/p", home.dir / "real/p/",
                                    home.dir / "real/x/../p", home.dir / "link/p"}) {
        EXPECT_EQ(open(form), LaunchResult::focused(first.pid)) << form;
        EXPECT_TRUE(isFree(lockOf(form)));
    }
    EXPECT_EQ(app.runs().size(), 1u);
}

TEST_F(DesktopLauncherTest, FocusingActivatesTheInstanceSWindowUnderADisplay) {
    testing::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    Environment withDisplay = env;
    withDisplay["DISPLAY"] = server.display();
    const std::unique_ptr<platform::Workspace> onDisplay =
        platform::makeWorkspace(home.paths, withDisplay);
    const auto first =
        DesktopLauncher::open(*onDisplay, home.dir / "p", app.bundleID(), locks, {}, "Fake");
    const auto run = app.run(first.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->environment.at("DISPLAY"), server.display());
    testing::WindowOwner owner(server.display(), first.pid, true);
    EXPECT_EQ(DesktopLauncher::open(*onDisplay, home.dir / "p", app.bundleID(), locks, {}, "Fake"),
              LaunchResult::focused(first.pid));
    EXPECT_EQ(owner.activeWindowRequest(tltest::patience), owner.window());
    // Without a display the instance is still found and focused.
    EXPECT_EQ(open(home.dir / "p"), LaunchResult::focused(first.pid));
}

TEST_F(DesktopLauncherTest, AnotherFolderNeverMatchesTheDefaultInstanceNorTheReverse) {
    const auto withFolder = open(home.dir / "p");
    ASSERT_TRUE(app.run(withFolder.pid));
    EXPECT_EQ(DesktopLauncher::instance(*workspace, std::nullopt, app.bundleID()), std::nullopt);
    const auto byDefault = open(std::nullopt);
    ASSERT_EQ(byDefault.kind, LaunchResult::Kind::launched);
    ASSERT_TRUE(app.run(byDefault.pid));
    EXPECT_EQ(DesktopLauncher::instance(*workspace, home.dir / "q", app.bundleID()), std::nullopt);
    EXPECT_EQ(DesktopLauncher::instance(*workspace, std::nullopt, app.bundleID()),
              (Instance{byDefault.pid, std::nullopt}));
    EXPECT_EQ(DesktopLauncher::instance(*workspace, home.dir / "p/", app.bundleID()),
              (Instance{withFolder.pid, home.dir / "p"}));
}

TEST_F(DesktopLauncherTest, HelperChildrenAreNotInstances) {
    app.setMode(FakeApp::Mode::renderer);
    const auto result = open(home.dir / "p");
    const auto run = app.run(result.pid);
    ASSERT_TRUE(run);
    ASSERT_FALSE(run->value("renderer").empty());
    EXPECT_EQ(DesktopLauncher::runningInstances(*workspace, app.bundleID()),
              (std::vector<Instance>{{result.pid, home.dir / "p"}}));
}

TEST_F(DesktopLauncherTest, NotInstalledIsTheAppNamesErrorAndFreesTheLock) {
    const auto error = tltest::errorOf([&] {
        DesktopLauncher::open(*workspace, home.dir / "p", "test.not.installed", locks, {},
                              "Fake App");
    });
    EXPECT_EQ(error.kind(), TwinLanternError::Kind::unsupported);
    EXPECT_EQ(error.description(), "Fake App isn't installed.");
    EXPECT_TRUE(isFree(lockOf(home.dir / "p")));
}

TEST_F(DesktopLauncherTest, AnExecutableThatCannotRunIsAnErrorAndFreesTheLock) {
    const std::string exe = app.executable();
    const std::vector<std::function<void()>> breakers = {
        [&] { ::unlink(exe.c_str()); },
        [&] { tltest::writeFile(exe, tltest::readFile(TL_FAKE_APP), 0644); },
        [&] {
            tltest::writeFile(exe,
                              "\x7f"
                              "ELF garbage",
                              0755);
        },
    };
    for (const auto& breakIt : breakers) {
        ::unlink(exe.c_str());
        breakIt();
        EXPECT_THAT(tltest::errorOf([&] { open(home.dir / "p"); }).description(),
                    ::testing::StartsWith("Couldn't start " + exe + ": "));
        EXPECT_TRUE(isFree(lockOf(home.dir / "p")));
    }
    EXPECT_TRUE(app.runs().empty());
}

TEST_F(DesktopLauncherTest, AFolderThatCannotBeMadeIsAnErrorAndNothingStarts) {
    tltest::writeFile(home.dir / "file", "x");
    EXPECT_EQ(tltest::errorOf([&] { open(home.dir / "file/p"); }).description(),
              "Couldn't create " + (home.dir / "file/p") + ": Not a directory");
    EXPECT_TRUE(isFree(lockOf(home.dir / "file/p")));
    tltest::writeFile(home.dir / "lockfile", "x");
    EXPECT_THAT(tltest::errorOf([&] {
                    DesktopLauncher::open(*workspace, home.dir / "p", app.bundleID(),
                                          home.dir / "lockfile/locks", {}, "Fake");
                }).description(),
                ::testing::StartsWith("Couldn't create "));
    EXPECT_TRUE(app.runs().empty());
}

TEST_F(DesktopLauncherTest, ABusyLockIsWaitedForThenTheLaunchGoesOn) {
    ProfileLaunchLock other(locks, ProfileLaunchLock::key(home.dir / "p"));
    const auto start = std::chrono::steady_clock::now();
    const auto result =
        DesktopLauncher::open(*workspace, home.dir / "p", app.bundleID(), locks, {}, "Fake", 300ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_EQ(result.kind, LaunchResult::Kind::launched);
}

TEST_F(DesktopLauncherTest, EightOpensAtOnceInThreadsStartOneInstance) {
    tltest::makeDirs(home.dir / "real");
    ASSERT_EQ(::symlink((home.dir / "real").c_str(), (home.dir / "link").c_str()), 0);
    std::vector<std::future<LaunchResult>> results;
    for (int i = 0; i < 8; ++i) {
        const std::string folder = home.dir / (i % 2 == 0 ? "real/p" : "link/p");
        results.push_back(std::async(std::launch::async, [this, folder] {
            const std::unique_ptr<platform::Workspace> own =
                platform::makeWorkspace(home.paths, env);
            return DesktopLauncher::open(*own, folder, app.bundleID(), locks, {}, "Fake");
        }));
    }
    std::set<pid_t> pids;
    int launched = 0;
    for (auto& f : results) {
        const auto r = f.get();
        pids.insert(r.pid);
        launched += r.kind == LaunchResult::Kind::launched ? 1 : 0;
    }
    EXPECT_EQ(pids.size(), 1u);
    EXPECT_EQ(launched, 1);
    EXPECT_EQ(app.runs().size(), 1u);
}

TEST_F(DesktopLauncherTest, EightOpensAtOnceInProcessesStartOneInstance) {
    tltest::makeDirs(home.dir / "real");
    ASSERT_EQ(::symlink((home.dir / "real").c_str(), (home.dir / "link").c_str()), 0);
    std::vector<std::future<tltest::RunResult>> results;
    for (int i = 0; i < 8; ++i) {
        const std::string folder = home.dir / (i % 2 == 0 ? "real/p" : "link/p");
        results.push_back(std::async(std::launch::async, [this, folder] {
            return tltest::runProgram(TL_OPEN_HELPER,
                                      {TL_OPEN_HELPER, home.home(),
                                       home.paths.applicationsDirectory, app.bundleID(), locks,
                                       folder},
                                      env);
        }));
    }
    std::set<std::string> pids;
    int launched = 0;
    for (auto& f : results) {
        const auto r = f.get();
        ASSERT_EQ(r.exitCode, 0) << r.err;
        launched += r.out.starts_with("launched ") ? 1 : 0;
        pids.insert(r.out.substr(r.out.find(' ') + 1));
    }
    EXPECT_EQ(pids.size(), 1u);
    EXPECT_EQ(launched, 1);
    // The instances were the helpers' children; the test kills them by their record.
    EXPECT_EQ(app.runs().size(), 1u);
}

TEST_F(DesktopLauncherTest, LaunchEnvironmentPassesOnlyItsVariables) {
    Environment given;
    for (const char* name : {"USER",
                             "LOGNAME",
                             "SHELL",
                             "TMPDIR",
                             "LANG",
                             "LC_ALL",
                             "LC_CTYPE",
                             "__CF_USER_TEXT_ENCODING",
                             "SSH_AUTH_SOCK",
                             "DISPLAY",
                             "WAYLAND_DISPLAY",
                             "XAUTHORITY",
                             "XDG_RUNTIME_DIR",
                             "DBUS_SESSION_BUS_ADDRESS",
                             "XDG_SESSION_TYPE",
                             "XDG_CURRENT_DESKTOP",
                             "HOME",
                             "PATH",
                             "LD_PRELOAD",
                             "CODEX_HOME",
                             "TWINLANTERN_PROFILE"}) {
        given[name] = std::string("v-") + name;
    }
    Environment expected = given;
    for (const char* dropped : {"LD_PRELOAD", "CODEX_HOME", "TWINLANTERN_PROFILE"}) {
        expected.erase(dropped);
    }
    expected["HOME"] = passwordHome();
    expected["PATH"] = "/usr/bin:/bin:/usr/sbin:/sbin";
    EXPECT_EQ(DesktopLauncher::launchEnvironment(given), expected);
    EXPECT_EQ(DesktopLauncher::launchEnvironment({}),
              (Environment{{"HOME", passwordHome()}, {"PATH", "/usr/bin:/bin:/usr/sbin:/sbin"}}));
}

struct QuitCase {
    const char* name;
    FakeApp::Mode mode;
    bool ends;
};

// The machine's workspace, except that a SIGTERM it sends returns once the fake has taken
// it: on a loaded machine the two rounds' signals could otherwise merge into one.
class AcknowledgedWorkspace : public platform::Workspace {
public:
    AcknowledgedWorkspace(platform::Workspace& inner, const FakeApp& app)
        : inner_(inner), app_(app) {}

    const Environment& environment() const override { return inner_.environment(); }
    std::optional<std::string> applicationLocation(std::string_view bundleID) const override {
        return inner_.applicationLocation(bundleID);
    }
    std::vector<platform::RunningApplication>
    runningApplications(std::string_view bundleID) const override {
        return inner_.runningApplications(bundleID);
    }
    std::optional<platform::RunningApplication> application(pid_t pid) const override {
        return inner_.application(pid);
    }
    pid_t open(const std::string& bundlePath, const std::vector<std::string>& arguments,
               const Environment& environment) override {
        return inner_.open(bundlePath, arguments, environment);
    }
    bool openInTerminal(const std::string& scriptPath) override {
        return inner_.openInTerminal(scriptPath);
    }
    bool revealFolder(const std::string& folder) override { return inner_.revealFolder(folder); }
    void activate(const platform::RunningApplication& application) override {
        inner_.activate(application);
    }
    bool terminate(const platform::RunningApplication& application) override {
        const int before = app_.termsTaken(application.pid);
        const bool sent = inner_.terminate(application);
        const auto deadline = std::chrono::steady_clock::now() + tltest::patience;
        while (sent && app_.termsTaken(application.pid) == before &&
               !inner_.isTerminated(application.pid) &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(2ms);
        }
        return sent;
    }
    bool isTerminated(pid_t pid) const override { return inner_.isTerminated(pid); }
    bool isAlive(pid_t pid) const override { return inner_.isAlive(pid); }

private:
    platform::Workspace& inner_;
    const FakeApp& app_;
};

class DesktopQuitTest : public DesktopLauncherTest,
                        public ::testing::WithParamInterface<QuitCase> {};

TEST_P(DesktopQuitTest, QuitsWithinTheTimeoutOrReportsFalse) {
    app.setMode(GetParam().mode);
    const auto result = open(home.dir / "p");
    ASSERT_TRUE(app.run(result.pid));
    AcknowledgedWorkspace acknowledged(*workspace, app);
    // An app that ends gets a long timeout, so a slow exit on a busy machine still counts.
    const double timeout = GetParam().ends ? 6.0 : 1.0;
    const auto start = std::chrono::steady_clock::now();
    const bool ended =
        DesktopLauncher::quit(acknowledged, {result.pid, home.dir / "p"}, timeout, false);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(ended, GetParam().ends);
    if (GetParam().ends) {
        // Gone from /proc, not left a zombie: its waiter reaped it.
        EXPECT_TRUE(tltest::eventually(
            [&] { return !tltest::exists("/proc/" + std::to_string(result.pid)); }));
    } else {
        EXPECT_GE(took, 900ms);
        EXPECT_LE(took, 10s);                        // about the timeout, on a busy machine
        EXPECT_TRUE(workspace->isAlive(result.pid)); // never killed
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, DesktopQuitTest,
                         ::testing::Values(QuitCase{"polite", FakeApp::Mode::polite, true},
                                           QuitCase{"ignoreFirst", FakeApp::Mode::ignoreFirst,
                                                    true},
                                           QuitCase{"ignoreAll", FakeApp::Mode::ignoreAll, false}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(DesktopLauncherTest, QuitRefusesTheDefaultInstanceUnlessAllowed) {
    const auto result = open(std::nullopt);
    ASSERT_TRUE(app.run(result.pid));
    EXPECT_FALSE(DesktopLauncher::quit(*workspace, {result.pid, std::nullopt}, 1.0, false));
    EXPECT_TRUE(workspace->isAlive(result.pid));
    EXPECT_TRUE(DesktopLauncher::quit(*workspace, {result.pid, std::nullopt}, 60.0, true));
    EXPECT_FALSE(workspace->isAlive(result.pid));
}

TEST_F(DesktopLauncherTest, QuitOfAProcessThatIsNoInstanceIsTrueAndSendsNothing) {
    const pid_t self = ::getpid();
    EXPECT_TRUE(DesktopLauncher::quit(*workspace, {self, "/x"}, 1.0, false)); // not an app
}

} // namespace
} // namespace twinlantern
