// The built TwinLantern program, offscreen in a private HOME, runtime folder and session
// bus, against the fake Claude Desktop.
#include "core/base/Json.h"
#include "core/base/Sha256.h"
#include "core/profiles/ProfileDocument.h"
#include "core/profiles/ProfileStore.h"
#include "core/tools/DesktopInstall.h"
#include "platform/SchemeHandlers.h"
#include "platform/Workspace.h"
#include "tests/e2e/AppInstance.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/OtherUser.h"
#include "tests/support/Profiles.h"
#include "tests/support/Programs.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnixSocket.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <pwd.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <csignal>
#include <cstring>
#include <sstream>
#include <thread>

namespace twinlantern {
namespace {

using namespace std::chrono_literals;
using testing::AppInstance;
using ::testing::HasSubstr;
using ::testing::Not;

class AppProgram : public ::testing::Test {
protected:
    testing::TempHome home;
    testing::TempDir scratch;
    std::string runtime = scratch / "run";
    Environment environment = makeEnvironment();
    std::string stem = runtime + "/twinlantern-" + sha256Hex(home.home()).substr(0, 16);
    int starts = 0;

    Environment makeEnvironment() {
        testing::makeDirs(runtime);
        ::chmod(runtime.c_str(), 0700);
        const std::string shell = scratch / "login-shell";
        testing::writeFile(
            shell, "#!/bin/sh\nprintf '__TWINLANTERN_PATH__/usr/bin:/bin__TWINLANTERN_PATH__'\n",
            0755);
        return {{"HOME", home.home()},
                {"PATH", "/usr/bin:/bin"},
                {"SHELL", shell},
                {"XDG_CONFIG_HOME", home.home() + "/.config"},
                {"XDG_DATA_HOME", home.home() + "/.local/share"},
                {"XDG_CACHE_HOME", home.home() + "/.cache"},
                {"XDG_DATA_DIRS", home.home() + "/sys"},
                {"XDG_CONFIG_DIRS", home.home() + "/etc"},
                {"XDG_RUNTIME_DIR", runtime},
                {"QT_QPA_PLATFORM", "offscreen"}};
    }

    void writeProfiles() const {
        ProfileDocument document = ProfileDocument::empty();
        document.profiles = {testing::profile("work-1")};
        testing::makeDirs(home.paths.supportDirectory());
        testing::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);
    }

    std::unique_ptr<AppInstance> start(std::vector<std::string> arguments = {}, bool bus = true) {
        return std::make_unique<AppInstance>(scratch / ("start-" + std::to_string(++starts)),
                                             arguments, environment, bus);
    }

    // A later start, run to its end.
    testing::RunResult later(std::vector<std::string> arguments = {}) const {
        arguments.insert(arguments.begin(), AppInstance::program());
        return testing::runProgram(AppInstance::program(), arguments, environment);
    }

    // Raw bytes to the instance's socket; what it answers within 300 ms.
    std::string sendRaw(const std::string& bytes) const {
        return testing::exchangeOverUnixSocket(stem + ".sock", bytes);
    }
};

TEST_F(AppProgram, OffscreenWithoutATrayTheSettingsWindowOpensAndASecondStartReopens) {
    writeProfiles();
    const auto first = start();
    ASSERT_TRUE(first->waitForOutput("opened the settings window")) << first->output();
    EXPECT_THAT(first->output(), HasSubstr("no system tray here"));
    EXPECT_THAT(first->output(), HasSubstr("updates are off"));
    EXPECT_TRUE(testing::exists(stem + ".sock"));

    const auto began = std::chrono::steady_clock::now();
    const auto second = later();
    EXPECT_EQ(second.exitCode, 0) << second.err;
    // Served at once: far less than a wait for some timeout, however busy the machine.
    EXPECT_LT(std::chrono::steady_clock::now() - began, 20s);
    EXPECT_TRUE(first->waitForOutput("reopen from a later start")) << first->output();
    EXPECT_EQ(second.out + second.err, "");
}

// No XDG_RUNTIME_DIR, and the runtime folder in TMPDIR made first by another user: the
// app stays one instance in a private folder of its own, or says why it can't start.
TEST_F(AppProgram, ARuntimeFolderAnotherUserTookFirstLeavesOneInstance) {
    testing::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    const std::string tmp = scratch / "tmp";
    const passwd* me = ::getpwuid(::geteuid());
    ASSERT_NE(me, nullptr);
    testing::makeDirs(tmp + "/runtime-" + me->pw_name);
    other.give(tmp + "/runtime-" + me->pw_name);
    environment.erase("XDG_RUNTIME_DIR");
    environment["TMPDIR"] = tmp;
    const std::string folder = home.home() + "/.cache/twinlantern";
    stem = folder + "/twinlantern-" + sha256Hex(home.home()).substr(0, 16);

    // Their folder where ours belongs: a clear error, and nothing made in it.
    testing::makeDirs(folder);
    other.give(folder);
    const auto refused = later();
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "TwinLantern can't start without a private folder for its lock and "
                           "socket. Couldn't use " +
                               folder + ": it belongs to another user.\n");
    EXPECT_TRUE(testing::folderEntries(folder).empty());
    ASSERT_EQ(::rmdir(folder.c_str()), 0);

    const auto first = start();
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    EXPECT_TRUE(testing::exists(stem + ".sock"));
    EXPECT_EQ(testing::fileMode(folder), 0700u);
    const auto second = later();
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(first->waitForOutput("reopen from a later start")) << first->output();
}

TEST_F(AppProgram, AProfilesFileThatCantBeReadOpensTheSettingsWindowNotOnboarding) {
    for (const std::string bytes : {"{\"version\": 1, \"profiles\": [", "{\"version\": 2}", "{}"}) {
        SCOPED_TRACE(bytes);
        testing::makeDirs(home.paths.supportDirectory());
        testing::writeFile(home.paths.profilesFile(), bytes, 0600);
        const auto first = start();
        ASSERT_TRUE(first->waitForOutput("opened the settings window")) << first->output();
        EXPECT_THAT(first->output(), Not(HasSubstr("onboarding")));
        first->signal(SIGTERM);
        EXPECT_EQ(first->waitForExit(5s), 0) << first->output();
        EXPECT_EQ(testing::readFile(home.paths.profilesFile()), bytes);
    }
}

TEST_F(AppProgram, OverAProfilesFileAtTheStoresLimitALaterStartIsAnswered) {
    testing::makeDirs(home.paths.supportDirectory());
    testing::writeFile(
        home.paths.profilesFile(),
        jsonText(nlohmann::json(testing::documentOfSize(ProfileStore::maxFileBytes, 20000))), 0600);
    const auto first = start();
    // Listening, with the windows still to be made.
    ASSERT_TRUE(first->waitForOutput("updates are off")) << first->output();
    const auto second = later();
    EXPECT_EQ(second.exitCode, 0) << second.err;
    EXPECT_TRUE(first->waitForOutput("reopen from a later start")) << first->output();
}

TEST_F(AppProgram, ALinkFromALaterStartReachesTheRunningClaudeAndNoLogHoldsItsSecret) {
    testing::MachineWideTurn turn;
    testing::FakeApp claude(home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(home.paths, environment);
    const pid_t running = workspace->open(claude.bundle(), {}, environment);
    ASSERT_TRUE(claude.run(running));

    const auto first = start();
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    const std::string link = "claude://x/cb?code=secret";
    const auto second = later({link});
    EXPECT_EQ(second.exitCode, 0) << second.err;

    std::optional<testing::FakeApp::Run> relaunch;
    testing::eventually([&] {
        for (const pid_t pid : claude.runs()) {
            if (pid != running) {
                relaunch = claude.run(pid);
            }
        }
        return relaunch.has_value();
    });
    ASSERT_TRUE(relaunch) << first->output();
    EXPECT_EQ(relaunch->argv.back(), link);
    EXPECT_TRUE(first->waitForOutput("forwarded claude://x/cb to pid")) << first->output();
    EXPECT_THAT(first->output(), Not(HasSubstr("secret")));
    EXPECT_THAT(second.out + second.err, Not(HasSubstr("secret")));
    claude.killAll();
}

TEST_F(AppProgram, ADeeplyNestedInfoPlistInTheApplicationsFolderIsSkipped) {
    for (const bool binary : {false, true}) {
        SCOPED_TRACE(binary ? "binary" : "XML");
        testing::writeFile(home.paths.applicationsDirectory + "/Deep.app/Contents/Info.plist",
                           testing::deepPropertyList(200000, binary, DesktopInstall::bundleID));
        const auto first = start();
        ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
        first->signal(SIGTERM);
        EXPECT_EQ(first->waitForExit(10s), 0) << first->output();
    }
}

TEST_F(AppProgram, GarbageOnTheSocketChangesNothing) {
    const auto first = start();
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    const std::string before = first->output();
    EXPECT_EQ(sendRaw("quit\nopen\nshow settings\n\xff\xfe\n"), "");
    EXPECT_EQ(sendRaw(std::string(20000, 'x')), "");
    EXPECT_EQ(sendRaw("open claude://x/y?code=1"), ""); // no line feed: never a command
    // A later start still gets through, and once it has, none of the garbage did anything.
    EXPECT_EQ(later().exitCode, 0);
    ASSERT_TRUE(first->waitForOutput("reopen from a later start")) << first->output();
    const std::string after = first->output().substr(before.size());
    EXPECT_THAT(after, Not(HasSubstr("opened the settings window")));
    EXPECT_THAT(after, Not(HasSubstr("claude://")));
    EXPECT_THAT(after, Not(HasSubstr("quit")));
    EXPECT_EQ(first->waitForExit(0ms), std::nullopt);
}

TEST_F(AppProgram, SigtermEndsAnIdleInstanceAtOnceAndFreesItsSocket) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        const auto first = start();
        ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
        const auto began = std::chrono::steady_clock::now();
        first->signal(signal);
        EXPECT_EQ(first->waitForExit(), 0) << first->output();
        EXPECT_LT(std::chrono::steady_clock::now() - began, 20s);
        EXPECT_THAT(first->output(), HasSubstr("quit on SIG"));
        EXPECT_FALSE(testing::exists(stem + ".sock"));
    }
}

bool running(pid_t pid) {
    return testing::processRuns(pid);
}

// A program that notes its pid and its child's, then waits on the child for ten minutes.
std::string hangingScript(const std::string& pids) {
    return "#!/bin/sh\necho $$ >> '" + pids + "'\nsleep 600 &\necho $! >> '" + pids + "'\nwait\n";
}

TEST_F(AppProgram, SigtermDuringABackgroundJobExitsAtOnceAndLeavesNoChild) {
    struct Case {
        const char* job;
        bool hangingShell; // else a hanging `claude auth status`
    } cases[] = {{"the login shell's PATH", true}, {"a sign-in status", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.job);
        const std::string pids = scratch / (std::string("pids-") + (c.hangingShell ? "s" : "c"));
        const std::string bin = scratch / "bin";
        testing::makeDirs(bin);
        testing::writeFile(bin + "/claude", hangingScript(pids), 0755);
        const std::string shell = scratch / "login-shell";
        testing::writeFile(shell,
                           c.hangingShell ? hangingScript(pids)
                                          : "#!/bin/sh\nprintf '__TWINLANTERN_PATH__" + bin +
                                                ":/usr/bin:/bin__TWINLANTERN_PATH__'\n",
                           0755);
        ProfileDocument document = ProfileDocument::empty();
        document.profiles = {
            testing::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeCode})};
        testing::makeDirs(
            home.paths.dataDirectory(ToolKind::claudeCode, ProfileID("work-1")).value());
        testing::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);

        const auto first = start();
        ASSERT_TRUE(first->waitForOutput("opened the settings window")) << first->output();
        std::vector<pid_t> children;
        const auto deadline = std::chrono::steady_clock::now() + testing::patience;
        while (children.size() < 2 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
            children.clear();
            std::istringstream lines(testing::exists(pids) ? testing::readFile(pids) : "");
            for (pid_t pid = 0; lines >> pid;) {
                children.push_back(pid);
            }
        }
        ASSERT_EQ(children.size(), 2u) << first->output();

        const auto began = std::chrono::steady_clock::now();
        first->signal(SIGTERM);
        EXPECT_EQ(first->waitForExit(10s), 0) << first->output();
        EXPECT_LT(std::chrono::steady_clock::now() - began, 1s);
        EXPECT_FALSE(testing::exists(stem + ".sock"));
        // Each was sent SIGKILL before the exit; on a busy machine it takes a moment to die.
        for (const pid_t pid : children) {
            EXPECT_TRUE(testing::eventually([&] { return !running(pid); })) << pid;
        }
    }
}

// The user's own claude:// handler comes back exactly: at a SIGTERM while armed, and
// from the next start after a run killed while armed.
TEST_F(AppProgram, SigtermWhileArmedGivesClaudeItsLinksBackBeforeExit) {
    testing::MachineWideTurn turn;
    testing::FakeApp claude(home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    ProfileDocument document = ProfileDocument::empty();
    document.profiles = {
        testing::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop})};
    testing::makeDirs(home.paths.supportDirectory());
    testing::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);
    testing::writeFile(
        home.home() + "/.local/share/applications/claude-desktop.desktop",
        "[Desktop Entry]\nType=Application\nName=Claude\nExec=" + claude.executable() + " %u\n");
    const std::string list = home.home() + "/.config/mimeapps.list";
    const std::string before = "# mine\n[Default Applications]\ntext/html=f.desktop\n"
                               "x-scheme-handler/claude = claude-desktop.desktop;\n";
    testing::writeFile(list, before);
    const platform::SchemeHandlers handlers(home.home(), environment);

    for (const int signal : {SIGTERM, SIGKILL}) {
        SCOPED_TRACE(signal);
        const auto first = start();
        ASSERT_TRUE(first->waitForOutput("opened the settings window")) << first->output();
        const auto sent =
            testing::runProgram("/usr/bin/dbus-send",
                                {"dbus-send", "--bus=" + first->busAddress(), "--type=signal",
                                 "/elsewhere", "app.twinlantern.googleSignIn", "string:work-1"},
                                environment);
        ASSERT_EQ(sent.exitCode, 0) << sent.err;
        ASSERT_TRUE(first->waitForOutput("armed for Work")) << first->output();
        EXPECT_NE(handlers.currentHandler("claude"), claude.bundle());

        first->signal(signal);
        if (signal == SIGTERM) {
            EXPECT_EQ(first->waitForExit(), 0) << first->output();
            EXPECT_THAT(first->output(), HasSubstr("disarmed"));
        } else {
            first->waitForExit();
            EXPECT_NE(testing::readFile(list), before);
            const auto next = start();
            ASSERT_TRUE(next->waitForOutput("disarmed")) << next->output();
            next->signal(SIGTERM);
            EXPECT_EQ(next->waitForExit(), 0) << next->output();
        }
        EXPECT_EQ(testing::readFile(list), before);
        EXPECT_EQ(handlers.currentHandler("claude"), claude.bundle());
        EXPECT_FALSE(testing::exists(home.home() + "/.local/share/applications/" +
                                     std::string(DesktopInstall::bundleID) + ".desktop"));
    }
    claude.killAll();
}

TEST_F(AppProgram, ALaterStartThatGetsNoAnswerSaysSoAndFails) {
    const auto first = start();
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    first->signal(SIGSTOP);
    const auto began = std::chrono::steady_clock::now();
    const auto second = later({"claude://x/cb"});
    const auto took = std::chrono::steady_clock::now() - began;
    first->signal(SIGCONT);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_EQ(second.err, "TwinLantern is already running but doesn't answer.\n");
    EXPECT_GE(took, 9900ms); // the whole wait for an answer
    EXPECT_LT(took, 30s);
}

TEST_F(AppProgram, SnapshotModeExitsWithNoWindowSocketOrHotKey) {
    const std::string shots = scratch / "shots";
    const auto run = later({"--render-snapshots", shots});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(testing::exists(shots));
    EXPECT_THAT(run.err, Not(HasSubstr("opened")));
    EXPECT_THAT(run.err, Not(HasSubstr("shortcut")));
    EXPECT_TRUE(testing::folderEntries(runtime).empty());
}

TEST_F(AppProgram, TheSnapshotFlagLastStartsNormally) {
    const auto first = start({"--render-snapshots"});
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    EXPECT_TRUE(testing::exists(stem + ".sock"));
}

TEST_F(AppProgram, WithoutASessionBusItStillStarts) {
    environment["DBUS_SESSION_BUS_ADDRESS"] = "unix:path=" + scratch / "no-bus";
    const auto first = start({}, false);
    ASSERT_TRUE(first->waitForOutput("opened the onboarding window")) << first->output();
    EXPECT_THAT(first->output(), HasSubstr("no session bus"));
}

TEST_F(AppProgram, ALoginStartOpensNoWindowUntilAPlainStart) {
    writeProfiles();
    const auto first = start({"--launched-at-login"});
    ASSERT_TRUE(first->waitForOutput("launched at login: no window")) << first->output();
    EXPECT_EQ(later().exitCode, 0);
    ASSERT_TRUE(first->waitForOutput("opened the settings window")) << first->output();
}

TEST_F(AppProgram, WithoutADisplayItSaysSo) {
    environment.erase("QT_QPA_PLATFORM");
    const auto run = later();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_THAT(run.err, HasSubstr("TwinLantern needs a desktop session"));
}

} // namespace
} // namespace twinlantern
