// The built launcher program inside bundles that `twinlantern launchers install` made,
// against the fake Claude Desktop.
#include "TwinLanternMac/apps/ClaudeDesktopAdapter.h"
#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "TwinLanternMac/apps/ProfileLaunchLock.h"
#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/UniqueFd.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/DesktopInstall.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/OtherUser.h"
#include "tests/support/Profiles.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/x11/Xdotool.h"
#include "tests/support/x11/XvfbServer.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <chrono>
#include <future>
#include <map>
#include <set>
#include <thread>

namespace twinlantern {
namespace {

using testing::FakeApp;

const std::string helpers = TL_HELPERS_DIR;
const std::string noLockFolder =
    "Couldn't open Claude: This launcher has no lock folder. Rebuild it: twinlantern "
    "launchers install.\n";

// Entries of "/" that a lock there would leave.
std::vector<std::string> rootLocks() {
    std::vector<std::string> out;
    for (const std::string& name : testing::folderEntries("/")) {
        if (name.starts_with(".launch-")) {
            out.push_back(name);
        }
    }
    return out;
}

using testing::MachineWideTurn;

class LauncherProgram : public ::testing::Test {
protected:
    MachineWideTurn turn;
    testing::TempHome home;
    testing::TempDir runtime;
    std::string applications = home.paths.home + "/Applications";
    std::string launchers = applications + "/TwinLantern";
    std::optional<FakeApp> claude;
    Profile work =
        testing::profile("work", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    Profile personal = testing::profile("personal", "Personal", Profile::Storage::system,
                                        {ToolKind::claudeDesktop});

    void SetUp() override {
        claude.emplace(applications, "Claude", DesktopInstall::bundleID);
        ProfileStore(home.paths).update([&](ProfileDocument& d) { d.profiles = {work, personal}; });
        const testing::RunResult install = testing::runProgram(
            helpers + "/twinlantern", {"twinlantern", "launchers", "install"}, env());
        ASSERT_EQ(install.exitCode, 0) << install.out << install.err;
    }
    void TearDown() override {
        if (claude) {
            claude->killAll();
        }
    }

    Environment env() const {
        return {{"HOME", home.home()},
                {"PATH", "/usr/bin:/bin"},
                {"XDG_RUNTIME_DIR", runtime.path()},
                {"TL_TEST_PRIVATE", "not for the app"}};
    }
    std::string program(const std::string& name) const {
        return launchers + "/" + name + ".app/Contents/MacOS/launcher";
    }
    testing::RunResult launch(const std::string& launcher,
                              std::optional<Environment> environment = {}) const {
        return testing::runProgram(launcher, {launcher}, environment ? *environment : env(),
                                   {.cwd = home.home()});
    }
    // A bundle of our own with the built launcher and this Info.plist (none: nullptr).
    std::string handMade(const std::string& name, const char* plist) const {
        const std::string bundle = launchers + "/" + name + ".app";
        testing::writeFile(bundle + "/Contents/MacOS/launcher",
                           testing::readFile(helpers + "/twinlantern-launcher"), 0755);
        if (plist != nullptr) {
            testing::writeFile(bundle + "/Contents/Info.plist",
                               std::string("<plist><dict>") + plist + "</dict></plist>");
        }
        return bundle + "/Contents/MacOS/launcher";
    }
    // The recorded starts once there are at least `expected` and a moment has passed in
    // which another could have shown up.
    std::vector<pid_t> settledRuns(std::size_t expected) const {
        testing::eventually([&] { return claude->runs().size() >= expected; });
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        return claude->runs();
    }
    std::string dataDir() const {
        return home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    }
    std::string lockIn(const std::string& folder, const std::optional<std::string>& data) const {
        return folder + "/" + ProfileLaunchLock::fileName(ProfileLaunchLock::key(data));
    }
};

// What a dock does with the launcher: its desktop entry's Exec line, run by GLib.
TEST_F(LauncherProgram, DesktopEntryOpensTheInstance) {
    const std::string entry =
        home.home() + "/.local/share/applications/app.twinlantern.launcher.work.desktop";
    ASSERT_TRUE(testing::exists(entry));
    const testing::RunResult gio = testing::runProgram({"/usr/bin/gio", "launch", entry}, env());
    EXPECT_EQ(gio.exitCode, 0) << gio.err;
    const std::vector<pid_t> runs = settledRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    const auto started = claude->run(runs[0]);
    ASSERT_TRUE(started.has_value());
    ASSERT_EQ(started->argv.size(), 2u);
    EXPECT_EQ(started->argv[1], "--user-data-dir=" + dataDir());
}

TEST_F(LauncherProgram, ManagedProfileStartsItsInstance) {
    const testing::RunResult run = launch(program("Claude — Work"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out + run.err, "");
    const std::vector<pid_t> runs = settledRuns(1);
    ASSERT_EQ(runs.size(), 1u);
    const auto started = claude->run(runs[0]);
    ASSERT_TRUE(started.has_value());
    ASSERT_EQ(started->argv.size(), 2u);
    EXPECT_EQ(started->argv[1], "--user-data-dir=" + dataDir());
    EXPECT_EQ(started->environment.count("TL_TEST_PRIVATE"), 0u);
    EXPECT_EQ(started->environment, DesktopLauncher::launchEnvironment(env()));
    EXPECT_TRUE(testing::exists(lockIn(home.paths.supportDirectory() + "/desktop", dataDir())));
}

// A bundle nested far too deep beside Claude Desktop, as XML and binary: the doctor,
// `launchers install` and the launcher each finish, the file skipped.
TEST_F(LauncherProgram, ADeeplyNestedInfoPlistBesideClaudeIsSkippedByEveryProgram) {
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "XML");
        testing::writeFile(applications + "/A Deep.app/Contents/Info.plist",
                           testing::deepPropertyList(200000, binary, DesktopInstall::bundleID));
        const testing::RunResult doctor =
            testing::runProgram(helpers + "/twinlantern", {"twinlantern", "doctor"}, env());
        EXPECT_LE(doctor.exitCode, 1) << doctor.err;
        EXPECT_NE(doctor.out.find("Claude Desktop"), std::string::npos) << doctor.out;
        const testing::RunResult install = testing::runProgram(
            helpers + "/twinlantern", {"twinlantern", "launchers", "install"}, env());
        EXPECT_EQ(install.exitCode, 0) << install.err;
        const testing::RunResult run = launch(program("Claude — Work"));
        EXPECT_EQ(run.exitCode, 0) << run.err;

        // In a launcher's own Info.plist, which is read whole: skipped as unreadable, so
        // the ordinary instance opens.
        const std::string deep = handMade(binary ? "Deep Binary" : "Deep XML", nullptr);
        testing::writeFile(PathUtil::parent(PathUtil::parent(deep)) + "/Info.plist",
                           testing::deepPropertyList(200000, binary, "x.y"));
        const testing::RunResult own = launch(deep);
        EXPECT_EQ(own.exitCode, 0) << own.err;
    }
    // The Work instance and the ordinary one, each found again by the second round.
    EXPECT_EQ(settledRuns(2).size(), 2u);
}

TEST_F(LauncherProgram, NoSecondStart) {
    ASSERT_EQ(launch(program("Claude — Work")).exitCode, 0);
    const testing::RunResult again = launch(program("Claude — Work"));
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(settledRuns(1).size(), 1u);

    // Two at once for the other instance.
    auto first =
        std::async(std::launch::async, [&] { return launch(program("Claude — Personal")); });
    auto second =
        std::async(std::launch::async, [&] { return launch(program("Claude — Personal")); });
    EXPECT_EQ(first.get().exitCode, 0);
    EXPECT_EQ(second.get().exitCode, 0);
    EXPECT_EQ(settledRuns(2).size(), 2u);
}

TEST_F(LauncherProgram, AfterTheAppOpenedIt) {
    const ClaudeDesktopAdapter adapter(ToolContext{home.paths, env()});
    const DesktopLauncher::LaunchResult opened = adapter.open(work);
    ASSERT_TRUE(claude->run(opened.pid).has_value());
    const testing::RunResult run = launch(program("Claude — Work"));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(settledRuns(1), std::vector<pid_t>{opened.pid});
}

TEST_F(LauncherProgram, OrdinaryInstanceCases) {
    struct Case {
        std::string launcher;
        std::string lockFolder;
    };
    const Case cases[] = {
        {program("Claude — Personal"), home.paths.supportDirectory() + "/desktop"},
        {handMade("No Keys", "<key>CFBundleName</key><string>x</string>"),
         runtime.path() + "/twinlantern"},
        {handMade("No Plist", nullptr), runtime.path() + "/twinlantern"},
    };
    for (const Case& c : cases) {
        const testing::RunResult run = launch(c.launcher);
        EXPECT_EQ(run.exitCode, 0) << c.launcher << run.err;
        const std::vector<pid_t> runs = settledRuns(1);
        ASSERT_EQ(runs.size(), 1u) << c.launcher;
        const auto started = claude->run(runs[0]);
        ASSERT_TRUE(started.has_value());
        EXPECT_EQ(started->argv.size(), 1u) << c.launcher;
        EXPECT_TRUE(testing::exists(lockIn(c.lockFolder, std::nullopt))) << c.launcher;
        claude->killAll();
        ASSERT_TRUE(testing::waitUntilGone(runs[0]));
        testing::removeTree(claude->bundle() + ".runs");
    }
}

// Without a runtime folder a launcher that names no lock folder locks where the app does,
// never in the temporary folder other users share.
TEST_F(LauncherProgram, NoRuntimeFolderLocksBesideTheDataFoldersNotInTheTemporaryFolder) {
    const testing::TempDir shared;
    Environment environment = env();
    environment.erase("XDG_RUNTIME_DIR");
    environment["TMPDIR"] = shared.path();
    const testing::RunResult run = launch(handMade("No Plist", nullptr), environment);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    ASSERT_EQ(settledRuns(1).size(), 1u);
    EXPECT_TRUE(testing::exists(lockIn(home.paths.supportDirectory() + "/desktop", std::nullopt)));
    EXPECT_EQ(testing::fileMode(home.paths.supportDirectory() + "/desktop"), 0700u);
    EXPECT_TRUE(testing::folderEntries(shared.path()).empty());
}

// The lock folder planted by a second local account: the launcher says so and starts
// nothing in a folder they own.
TEST_F(LauncherProgram, ALockFolderOfAnotherUserStartsNothing) {
    testing::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    const std::string locks = home.paths.supportDirectory() + "/desktop";
    testing::removeTree(locks);
    testing::makeDirs(locks);
    other.give(locks);
    const testing::RunResult run = launch(program("Claude — Work"));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err,
              "Couldn't open Claude: Couldn't use " + locks + ": it belongs to another user.\n");
    EXPECT_TRUE(settledRuns(0).empty());
    EXPECT_TRUE(testing::folderEntries(locks).empty());
}

TEST_F(LauncherProgram, EmptyOrRelativeLockFolderStartsNothing) {
    const auto before = rootLocks();
    for (const char* lock : {"", "locks"}) {
        const std::string plist = std::string("<key>TLUserDataDir</key><string>") + dataDir() +
                                  "</string><key>TLLockDirectory</key><string>" + lock +
                                  "</string>";
        const testing::RunResult run = launch(handMade(std::string("Lock ") + lock, plist.c_str()));
        EXPECT_EQ(run.exitCode, 1) << lock;
        EXPECT_EQ(run.err, noLockFolder) << lock;
        EXPECT_TRUE(settledRuns(0).empty()) << lock;
    }
    EXPECT_EQ(rootLocks(), before);
    EXPECT_FALSE(testing::exists(home.home() + "/locks"));
}

TEST_F(LauncherProgram, FailuresExitOneWithTheMessage) {
    // The lock folder is a file.
    testing::writeFile(runtime.path() + "/twinlantern", "a file");
    const testing::RunResult blocked = launch(handMade("Blocked", nullptr));
    EXPECT_EQ(blocked.exitCode, 1);
    EXPECT_EQ(blocked.err.rfind("Couldn't open Claude: Couldn't ", 0), 0u) << blocked.err;
    EXPECT_NE(blocked.err.find(runtime.path() + "/twinlantern"), std::string::npos) << blocked.err;
    EXPECT_TRUE(settledRuns(0).empty());

    // Claude Desktop gone, with and without a display that answers.
    claude.reset();
    testing::removeTree(applications + "/Claude.app");
    testing::removeTree(applications + "/Claude.app.runs");
    Environment noServer = env();
    noServer["DISPLAY"] = ":" + std::to_string(700 + getpid() % 200);
    for (const Environment& environment : {env(), noServer}) {
        const testing::RunResult run = launch(program("Claude — Work"), environment);
        EXPECT_EQ(run.exitCode, 1) << run.err;
        EXPECT_EQ(run.err, "Couldn't open Claude: Claude Desktop isn't installed.\n");
    }
}

// Names that broke the launchers' files or stopped the install part way: every profile
// gets a launcher whose files parse, and each one's entry opens that profile's instance.
TEST_F(LauncherProgram, EveryNameGetsALauncherWhoseFilesParse) {
    std::string family;
    for (int i = 0; i < 40; ++i) {
        family += "👨‍👩‍👧‍👦";
    }
    ProfileDocument document;
    const auto add = [&](const std::string& id, const std::string& name) {
        document.profiles.push_back(
            testing::profile(id, name, Profile::Storage::managed, {ToolKind::claudeDesktop}));
    };
    add("long", family);
    add("control", "Esc\x1b[31mRed\x01\rCR");
    add("awkward", "100% a=b \"q\" 'x' $HOME `id` \\ Ü");
    add("work", "Work");
    // Written as it is stored: new names with controls are refused, stored ones still load.
    testing::writeFile(home.paths.profilesFile(), jsonText(nlohmann::json(document)), 0600);
    const testing::RunResult install = testing::runProgram(
        helpers + "/twinlantern", {"twinlantern", "launchers", "install"}, env());
    ASSERT_EQ(install.exitCode, 0) << install.out << install.err;

    std::map<std::string, std::string> bundles; // TLProfileID -> bundle
    for (const std::string& name : testing::folderEntries(launchers)) {
        const testing::RunResult id = testing::runProgram(
            {"/usr/bin/python3", "-c",
             "import plistlib, sys\n"
             "d = plistlib.load(open(sys.argv[1], 'rb'))\n"
             "sys.stdout.buffer.write((d['TLProfileID'] + '|' + d['CFBundleName']).encode())",
             launchers + "/" + name + "/Contents/Info.plist"},
            env());
        ASSERT_EQ(id.exitCode, 0) << name << id.err;
        const std::size_t bar = id.out.find('|');
        bundles[id.out.substr(0, bar)] = launchers + "/" + name;
        EXPECT_EQ(
            id.out.substr(bar + 1),
            "Claude — " +
                ProfileStore(home.paths).load().profile(ProfileID(id.out.substr(0, bar)))->name);
    }
    ASSERT_EQ(bundles.size(), document.profiles.size());
    std::set<std::string> expected;
    for (const Profile& profile : document.profiles) {
        SCOPED_TRACE(profile.id.rawValue);
        ASSERT_EQ(bundles.count(profile.id.rawValue), 1u);
        const std::string entry = home.home() +
                                  "/.local/share/applications/app.twinlantern.launcher." +
                                  profile.id.rawValue + ".desktop";
        const testing::RunResult valid =
            testing::runProgram({"/usr/bin/desktop-file-validate", entry}, env());
        EXPECT_EQ(valid.exitCode, 0) << valid.out << valid.err;
        const testing::RunResult gio =
            testing::runProgram({"/usr/bin/gio", "launch", entry}, env());
        EXPECT_EQ(gio.exitCode, 0) << gio.err;
        expected.insert("--user-data-dir=" +
                        home.paths.dataDirectory(ToolKind::claudeDesktop, profile.id).value());
    }
    std::set<std::string> started;
    for (const pid_t pid : settledRuns(expected.size())) {
        const auto run = claude->run(pid);
        ASSERT_TRUE(run.has_value());
        ASSERT_EQ(run->argv.size(), 2u);
        started.insert(run->argv[1]);
    }
    EXPECT_EQ(started, expected);
}

TEST_F(LauncherProgram, AlertOnTheDisplayIsDismissedWithReturn) {
    testing::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    if (access("/usr/bin/xdotool", X_OK) != 0) {
        GTEST_SKIP() << "xdotool is not installed";
    }
    claude.reset();
    testing::removeTree(applications + "/Claude.app");
    Environment environment = env();
    environment["DISPLAY"] = server.display();
    environment["LSAN_OPTIONS"] =
        "suppressions=" TL_SOURCE_DIR "/tests/support/lsan-x11-qt.supp:print_suppressions=0";
    auto run = std::async(std::launch::async,
                          [&] { return launch(program("Claude — Work"), environment); });
    const std::string window = testing::waitForWindowNamed("Couldn't open Claude", environment);
    ASSERT_FALSE(window.empty()) << "no alert";
    testing::pressReturnUntil(window, environment, [&] {
        return run.wait_for(std::chrono::milliseconds(250)) == std::future_status::ready;
    });
    ASSERT_EQ(run.wait_for(testing::patience), std::future_status::ready);
    const testing::RunResult result = run.get();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err, "Couldn't open Claude: Claude Desktop isn't installed.\n");
}

} // namespace
} // namespace twinlantern
