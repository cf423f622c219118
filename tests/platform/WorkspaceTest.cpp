#include "platform/linux/LinuxWorkspace.h"

#include "core/base/PropertyList.h"
#include "core/base/TwinLanternError.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/x11/WindowOwner.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/XvfbServer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstring>
#include <thread>

namespace twinlantern {
namespace {

using platform::LinuxWorkspace;
using platform::RunningApplication;
using testing::FakeApp;
using testing::WindowOwner;

class WorkspaceTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string applications = home.paths.applicationsDirectory;
    LinuxWorkspace workspace{home.paths, {{"PATH", "/usr/bin:/bin"}}};

    std::vector<pid_t> runningPids(const std::string& bundleID) {
        std::vector<pid_t> pids;
        for (const auto& app : workspace.runningApplications(bundleID)) {
            pids.push_back(app.pid);
        }
        return pids;
    }
};

TEST_F(WorkspaceTest, LocatesByBundleIdentifierXmlOrBinary) {
    FakeApp xml(applications, "Xml", testing::uniqueBundleID("xml"));
    FakeApp binary(applications, "Binary", testing::uniqueBundleID("bin"), FakeApp::Mode::polite,
                   true);
    EXPECT_EQ(workspace.applicationLocation(xml.bundleID()), xml.bundle());
    EXPECT_EQ(workspace.applicationLocation(binary.bundleID()), binary.bundle());
    EXPECT_EQ(workspace.applicationLocation("test.nothing.here"), std::nullopt);
}

TEST_F(WorkspaceTest, OpenStartsExactlyWhatItIsGivenInItsOwnSession) {
    FakeApp app(applications, "Exact", testing::uniqueBundleID("exact"));
    const Environment env{{"A", "1"}, {"EMPTY", ""}, {"PATH", "/nowhere"}};
    const pid_t pid = workspace.open(app.bundle(), {"--x", "", "two words"}, env);
    const auto run = app.run(pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, (std::vector<std::string>{app.executable(), "--x", "", "two words"}));
    EXPECT_EQ(run->environment, env);
    EXPECT_EQ(run->value("sid"), std::to_string(pid)); // a session of its own
    EXPECT_EQ(run->value("cwd"), "/");
    EXPECT_EQ(run->value("fds"), "0,1,2");
    EXPECT_EQ(run->value("sigint"), "default");
    ::kill(pid, SIGTERM);
    EXPECT_TRUE(testing::waitUntilGone(pid));
}

TEST_F(WorkspaceTest, OpenedChildrenAreReapedByTheirOwnWaiter) {
    FakeApp app(applications, "Reaped", testing::uniqueBundleID("reaped"));
    const pid_t pid = workspace.open(app.bundle(), {}, {});
    ASSERT_TRUE(app.run(pid));
    ::kill(pid, SIGTERM);
    // Gone from /proc altogether, not left as a zombie.
    EXPECT_TRUE(
        tltest::eventually([&] { return !tltest::exists("/proc/" + std::to_string(pid)); }));
    // The waiter took only its own child: another child of this process is still ours.
    const pid_t other = ::fork();
    if (other == 0) {
        ::_exit(7);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(other, &status, 0), other);
    EXPECT_EQ(WEXITSTATUS(status), 7);
}

TEST_F(WorkspaceTest, OpenRefusesWhatCannotRun) {
    FakeApp missing(applications, "Missing", testing::uniqueBundleID("missing"));
    ::unlink(missing.executable().c_str());
    FakeApp plain(applications, "Plain", testing::uniqueBundleID("plain"));
    ::chmod(plain.executable().c_str(), 0644);
    FakeApp garbage(applications, "Garbage", testing::uniqueBundleID("garbage"));
    tltest::writeFile(garbage.executable(), "\x01\x02garbage", 0755);
    for (const FakeApp* app : {&missing, &plain, &garbage}) {
        const std::string message = [&] {
            try {
                workspace.open(app->bundle(), {}, {});
            } catch (const TwinLanternError& e) {
                return e.description();
            }
            return std::string("nothing thrown");
        }();
        EXPECT_THAT(message, ::testing::StartsWith("Couldn't start " + app->executable() + ": "));
    }
}

TEST_F(WorkspaceTest, OpenRefusesAnExecutableNameThatLeavesTheBundle) {
    FakeApp app(applications, "Escape", testing::uniqueBundleID("escape"));
    for (const char* name : {"../../../bin/true", "..", "a/b"}) {
        tltest::writeFile(app.bundle() + "/Contents/Info.plist",
                          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                          "<key>CFBundleIdentifier</key><string>" +
                              app.bundleID() + "</string><key>CFBundleExecutable</key><string>" +
                              name + "</string></dict></plist>");
        EXPECT_THROW(workspace.open(app.bundle(), {}, {}), TwinLanternError) << name;
    }
}

TEST_F(WorkspaceTest, RunningListsMainProcessesOfTheBundleInPidOrder) {
    FakeApp app(applications, "Listed", testing::uniqueBundleID("listed"), FakeApp::Mode::renderer);
    FakeApp other(applications, "Other", testing::uniqueBundleID("other"));
    const pid_t first = workspace.open(app.bundle(), {"--user-data-dir=/a"}, {});
    const pid_t second = workspace.open(app.bundle(), {}, {});
    const pid_t foreign = workspace.open(other.bundle(), {}, {});
    const auto run = app.run(first);
    ASSERT_TRUE(run && app.run(second) && other.run(foreign));
    const pid_t renderer = std::stoi(run->value("renderer"));
    ASSERT_TRUE(tltest::exists("/proc/" + std::to_string(renderer)));

    std::vector<pid_t> expected{first, second};
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(runningPids(app.bundleID()), expected); // no renderer, no other bundle
    const auto apps = workspace.runningApplications(app.bundleID());
    ASSERT_FALSE(apps.empty());
    EXPECT_EQ(apps.front().bundleID, app.bundleID());
    EXPECT_EQ(apps.front().executable, app.executable());

    EXPECT_EQ(workspace.application(first)->bundleID, app.bundleID());
    EXPECT_EQ(workspace.application(renderer), std::nullopt);
    EXPECT_EQ(workspace.application(::getpid()), std::nullopt);
}

TEST_F(WorkspaceTest, AnAppReplacedWhileRunningStillCounts) {
    FakeApp app(applications, "Updated", testing::uniqueBundleID("updated"));
    const pid_t pid = workspace.open(app.bundle(), {}, {});
    ASSERT_TRUE(app.run(pid));
    // An update puts a new file in place; the running process's exe reads " (deleted)".
    const std::string copy = app.executable() + ".new";
    tltest::writeFile(copy, tltest::readFile(app.executable()), 0755);
    ASSERT_EQ(::rename(copy.c_str(), app.executable().c_str()), 0);
    EXPECT_EQ(runningPids(app.bundleID()), std::vector<pid_t>{pid});
}

TEST_F(WorkspaceTest, RunningFollowsRealPathsThroughALinkedApplicationsFolder) {
    tltest::makeDirs(home.dir / "real");
    FakeApp app(home.dir / "real", "Linked", testing::uniqueBundleID("linked"));
    ASSERT_EQ(::symlink((home.dir / "real").c_str(), applications.c_str()), 0);
    const auto location = workspace.applicationLocation(app.bundleID());
    ASSERT_TRUE(location);
    const pid_t pid = workspace.open(*location, {}, {});
    ASSERT_TRUE(app.run(pid));
    EXPECT_EQ(runningPids(app.bundleID()), std::vector<pid_t>{pid});
}

TEST_F(WorkspaceTest, AHostileInfoPlistNeverBlocksTheScanOrListsTheProcess) {
    FakeApp app(applications, "Hostile", testing::uniqueBundleID("hostile"));
    const pid_t pid = workspace.open(app.bundle(), {}, {});
    ASSERT_TRUE(app.run(pid));
    const std::string plist = app.bundle() + "/Contents/Info.plist";
    const std::string valid = tltest::readFile(plist);
    for (const auto& c : tltest::hostileCases()) {
        tltest::removeTree(plist);
        tltest::makeHostile(c.kind, plist, PropertyList::maxFileBytes, valid);
        const auto start = std::chrono::steady_clock::now();
        EXPECT_TRUE(runningPids(app.bundleID()).empty()) << c.name;
        EXPECT_EQ(workspace.applicationLocation(app.bundleID()), std::nullopt) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, tltest::hostileReadBound) << c.name;
    }
}

TEST_F(WorkspaceTest, TerminateSignalsOnlyTheApplicationItWasGiven) {
    FakeApp app(applications, "Term", testing::uniqueBundleID("term"));
    const pid_t pid = workspace.open(app.bundle(), {}, {});
    ASSERT_TRUE(app.run(pid));
    const auto running = workspace.application(pid);
    ASSERT_TRUE(running);
    // The pid no longer runs what the caller saw: nothing is sent.
    RunningApplication stale = *running;
    stale.executable = "/elsewhere/Other.app/Contents/MacOS/Other";
    EXPECT_FALSE(workspace.terminate(stale));
    EXPECT_TRUE(workspace.isAlive(pid));

    EXPECT_TRUE(workspace.terminate(*running));
    EXPECT_TRUE(testing::waitUntilGone(pid));
    EXPECT_FALSE(workspace.terminate(*running)); // gone: nothing to signal
}

TEST_F(WorkspaceTest, AZombieIsTerminatedAndNotAlive) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::_exit(0);
    }
    // Until it is a zombie, left unreaped.
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT), 0);
    EXPECT_EQ(::kill(pid, 0), 0); // the null signal still reaches it
    EXPECT_TRUE(workspace.isTerminated(pid));
    EXPECT_FALSE(workspace.isAlive(pid));
    ::waitpid(pid, nullptr, 0);
    EXPECT_TRUE(workspace.isTerminated(pid));
    EXPECT_FALSE(workspace.isAlive(pid));

    EXPECT_FALSE(workspace.isTerminated(::getpid()));
    EXPECT_TRUE(workspace.isAlive(::getpid()));
    EXPECT_TRUE(workspace.isAlive(1)); // init, or the container's first process
}

TEST_F(WorkspaceTest, ActivateAsksForTheWindowOfThePid) {
    testing::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    for (bool listed : {true, false}) {
        WindowOwner owner(server.display(), 4242, listed);
        LinuxWorkspace onDisplay(home.paths, {{"DISPLAY", server.display()}});
        onDisplay.activate({4242, "x", "/x"});
        EXPECT_EQ(owner.activeWindowRequest(tltest::patience), owner.window())
            << (listed ? "from _NET_CLIENT_LIST" : "from the root's children");
    }
}

TEST_F(WorkspaceTest, ActivateWithoutDisplayOrWindowDoesNothing) {
    workspace.activate({::getpid(), "x", "/x"}); // no DISPLAY
    LinuxWorkspace nowhere(home.paths, {{"DISPLAY", ":4093"}});
    nowhere.activate({::getpid(), "x", "/x"}); // no server there
    testing::XvfbServer server;
    TL_REQUIRE_XVFB(server);
    WindowOwner owner(server.display(), 4242, true);
    LinuxWorkspace onDisplay(home.paths, {{"DISPLAY", server.display()}});
    onDisplay.activate({4343, "x", "/x"}); // no window of that pid
    EXPECT_EQ(owner.activeWindowRequest(std::chrono::milliseconds(300)), 0u);
}

} // namespace
} // namespace twinlantern
