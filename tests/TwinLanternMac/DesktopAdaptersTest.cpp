#include "TwinLanternMac/apps/DesktopAdapters.h"
#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "TwinLanternMac/apps/ClaudeDesktopAdapter.h"

#include "core/base/TwinLanternError.h"
#include "platform/Workspace.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/FakeTools.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <functional>
#include <future>
#include <set>

namespace twinlantern {
namespace {

using DesktopLauncher::Instance;
using DesktopLauncher::LaunchResult;
using testing::FakeApp;

class DesktopAdapterTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    std::string bin = home.dir / "bin";
    ToolContext context{home.paths, {{"PATH", bin}, {"HOME", home.home()}}};
    Profile work = tltest::profile("work-1a2b", "Work", Profile::Storage::managed,
                                   {ToolKind::claudeDesktop, ToolKind::chatGPTApp});
    Profile system = tltest::profile("system-9z9z", "Mine", Profile::Storage::system,
                                     {ToolKind::claudeDesktop, ToolKind::chatGPTApp});
    Profile badID = tltest::profile("../escape", "Bad", Profile::Storage::managed,
                                    {ToolKind::claudeDesktop, ToolKind::chatGPTApp});

    DesktopAdapterTest() { tltest::makeDirs(bin); }
};

class ClaudeDesktopAdapterTest : public DesktopAdapterTest {
protected:
    FakeApp app{home.paths.applicationsDirectory, "Claude", testing::uniqueBundleID("claude")};
    ClaudeDesktopAdapter adapter{context, app.bundleID()};
    std::string folder = home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
};

TEST_F(ClaudeDesktopAdapterTest, StatusFollowsInstallFolderAndInstance) {
    ClaudeDesktopAdapter missing(context, "test.not.installed");
    EXPECT_EQ(missing.status(work), ToolStatus::notInstalled());
    EXPECT_FALSE(missing.isInstalled());
    EXPECT_TRUE(adapter.isInstalled());

    EXPECT_EQ(adapter.status(system), ToolStatus::ready("Uses your existing Claude Desktop"));
    EXPECT_EQ(adapter.status(work), ToolStatus::notSetUp()); // no folder
    adapter.prepare(work);
    EXPECT_EQ(tltest::fileMode(folder), 0700u);
    const auto launched = adapter.open(work);
    ASSERT_TRUE(app.run(launched.pid));
    EXPECT_EQ(adapter.status(work), ToolStatus::notSetUp()); // empty, though running
    tltest::writeFile(folder + "/Preferences", "{}");
    EXPECT_EQ(adapter.status(work), ToolStatus::ready("Running"));
    EXPECT_EQ(adapter.status(system), ToolStatus::ready("Uses your existing Claude Desktop"));
    EXPECT_TRUE(adapter.quitInstance(work));
    EXPECT_EQ(adapter.status(work), ToolStatus::ready("Not running"));
}

TEST_F(ClaudeDesktopAdapterTest, OpensTheProfileSOwnInstanceUnderItsLock) {
    const auto launched = adapter.open(work);
    ASSERT_EQ(launched.kind, LaunchResult::Kind::launched);
    const auto run = app.run(launched.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, (std::vector<std::string>{app.executable(), "--user-data-dir=" + folder}));
    EXPECT_TRUE(tltest::exists(home.paths.supportDirectory() + "/desktop/" +
                               ProfileLaunchLock::fileName(ProfileLaunchLock::key(folder))));
    EXPECT_EQ(adapter.open(work), LaunchResult::focused(launched.pid));
    EXPECT_EQ(adapter.runningInstance(work), (Instance{launched.pid, folder}));
    EXPECT_EQ(adapter.userDataDirectory(work), folder);
    EXPECT_EQ(adapter.userDataDirectory(system), std::nullopt);
    EXPECT_EQ(adapter.runningInstance(system), std::nullopt);
}

TEST_F(ClaudeDesktopAdapterTest, ASystemProfileUsesAndNeverQuitsTheDefaultInstance) {
    const auto launched = adapter.open(system);
    const auto run = app.run(launched.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, std::vector<std::string>{app.executable()});
    EXPECT_EQ(adapter.runningInstance(system), (Instance{launched.pid, std::nullopt}));
    EXPECT_TRUE(adapter.quitInstance(system));
    adapter.removeData(system);
    EXPECT_TRUE(platform::makeWorkspace(home.paths, {})->isAlive(launched.pid));
}

TEST_F(ClaudeDesktopAdapterTest, AnInvalidIdIsNeitherItsOwnInstanceNorTheDefault) {
    const auto byDefault = adapter.open(system);
    ASSERT_TRUE(app.run(byDefault.pid));
    const auto error = tltest::errorOf([&] { adapter.open(badID); });
    EXPECT_EQ(error.kind(), TwinLanternError::Kind::invalidProfile);
    EXPECT_EQ(adapter.status(badID), ToolStatus::notSetUp());
    EXPECT_EQ(adapter.runningInstance(badID), std::nullopt);
    EXPECT_TRUE(adapter.quitInstance(badID));
    EXPECT_EQ(app.runs().size(), 1u);
    EXPECT_TRUE(platform::makeWorkspace(home.paths, {})->isAlive(byDefault.pid));
}

TEST_F(ClaudeDesktopAdapterTest, RemoveDataQuitsTheInstanceThenDeletesOnlyItsFolder) {
    const auto launched = adapter.open(work);
    ASSERT_TRUE(app.run(launched.pid));
    tltest::writeFile(folder + "/state", "x");
    const std::string codexFolder = home.paths.dataDirectory(ToolKind::codex, work.id).value();
    tltest::makeDirs(codexFolder);
    adapter.setQuitTimeout(1);
    adapter.removeData(work);
    EXPECT_FALSE(tltest::exists(folder));
    EXPECT_TRUE(tltest::exists(codexFolder));
    EXPECT_TRUE(testing::waitUntilGone(launched.pid));
}

TEST_F(ClaudeDesktopAdapterTest, RemoveDataRefusesWhileTheInstanceRunsOn) {
    app.setMode(FakeApp::Mode::ignoreAll);
    const auto launched = adapter.open(work);
    ASSERT_TRUE(app.run(launched.pid));
    tltest::writeFile(folder + "/state", "x");
    adapter.setQuitTimeout(1);
    const auto error = tltest::errorOf([&] { adapter.removeData(work); });
    EXPECT_EQ(error.kind(), TwinLanternError::Kind::io);
    EXPECT_EQ(error.description(), "Claude \u2014 Work is still running. Quit it (Quit in its "
                                   "window, or close the window), then try again.");
    EXPECT_EQ(tltest::readFile(folder + "/state"), "x");
}

// Claude Desktop installed as Linux apps are: in the bundle, or with its program, its
// MacOS folder or the whole bundle a link to the real one elsewhere. Each way, eight opens
// at once start one instance, the status says it runs and its data is not deleted under it.
TEST_F(DesktopAdapterTest, EveryWayOfInstallingClaudeShowsItsRunningInstance) {
    const std::string elsewhere = home.dir / "opt";
    tltest::makeDirs(elsewhere);
    const auto moveAndLink = [](const std::string& from, const std::string& to) {
        ASSERT_EQ(::rename(from.c_str(), to.c_str()), 0);
        ASSERT_EQ(::symlink(to.c_str(), from.c_str()), 0);
    };
    struct Way {
        const char* name;
        std::function<void(const FakeApp&)> install;
    };
    const Way ways[] = {
        {"InTheBundle",
         [](const FakeApp&) {
         }},
        {"LinkedProgram",
         [&](const FakeApp& app) {
             moveAndLink(app.executable(), elsewhere + "/claude-program");
         }},
        {"LinkedMacOS",
         [&](const FakeApp& app) {
             moveAndLink(app.bundle() + "/Contents/MacOS", elsewhere + "/claude-macos");
         }},
        {"LinkedBundle",
         [&](const FakeApp& app) {
             moveAndLink(app.bundle(), elsewhere + "/Claude.app");
         }},
    };
    const std::string folder = home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value();
    for (const Way& way : ways) {
        SCOPED_TRACE(way.name);
        FakeApp app(home.paths.applicationsDirectory, way.name, testing::uniqueBundleID("claude"),
                    FakeApp::Mode::ignoreAll);
        way.install(app);
        const ClaudeDesktopAdapter adapter(context, app.bundleID());
        std::vector<std::future<LaunchResult>> opens;
        for (int i = 0; i < 8; ++i) {
            opens.push_back(std::async(std::launch::async, [&] {
                return ClaudeDesktopAdapter(context, app.bundleID()).open(work);
            }));
        }
        std::set<pid_t> pids;
        for (auto& open : opens) {
            pids.insert(open.get().pid);
        }
        ASSERT_EQ(pids.size(), 1u);
        const pid_t pid = *pids.begin();
        ASSERT_TRUE(app.run(pid));
        EXPECT_EQ(app.runs().size(), 1u);
        tltest::writeFile(folder + "/Preferences", "{}");
        EXPECT_EQ(adapter.status(work), ToolStatus::ready("Running"));
        EXPECT_EQ(adapter.runningInstance(work), (Instance{pid, folder}));

        ClaudeDesktopAdapter quitting(context, app.bundleID());
        quitting.setQuitTimeout(0.4);
        EXPECT_EQ(tltest::errorOf([&] { quitting.removeData(work); }).kind(),
                  TwinLanternError::Kind::io);
        EXPECT_EQ(tltest::readFile(folder + "/Preferences"), "{}");
        EXPECT_GE(app.termsTaken(pid), 1); // it was asked, through the link too

        app.killAll();
        EXPECT_TRUE(testing::waitUntilGone(pid));
        EXPECT_EQ(adapter.status(work), ToolStatus::ready("Not running"));
    }
}

TEST_F(ClaudeDesktopAdapterTest, NotInstalledOpenSaysSo) {
    ClaudeDesktopAdapter missing(context, "test.not.installed");
    EXPECT_EQ(tltest::errorOf([&] { missing.open(work); }).description(),
              "Claude Desktop isn't installed.");
    EXPECT_EQ(tltest::errorOf([&] { missing.launch(work); }).description(),
              "Claude Desktop isn't installed.");
}

class ChatGPTAppAdapterTest : public DesktopAdapterTest {
protected:
    FakeApp app{home.paths.applicationsDirectory, "ChatGPT", testing::uniqueBundleID("chatgpt")};
    tltest::FakeTool codex{bin, "codex"};
    ChatGPTAppAdapter adapter{context, app.bundleID()};
    std::string folder = home.paths.dataDirectory(ToolKind::chatGPTApp, work.id).value();
    std::string codexFolder = home.paths.dataDirectory(ToolKind::codex, work.id).value();
};

TEST_F(ChatGPTAppAdapterTest, NamesAndIdentifiers) {
    EXPECT_STREQ(ChatGPTAppAdapter::appBundleID, "com.openai.codex");
    EXPECT_EQ(ChatGPTAppAdapter(context).bundleID(), "com.openai.codex");
    EXPECT_EQ(adapter.appName(), "ChatGPT");
    FakeApp renamed(home.paths.applicationsDirectory, "ChatGPT Beta",
                    testing::uniqueBundleID("beta"));
    EXPECT_EQ(ChatGPTAppAdapter(context, renamed.bundleID()).appName(), "ChatGPT Beta");
    EXPECT_EQ(ChatGPTAppAdapter(context, "test.not.installed").appName(), "ChatGPT");
}

TEST_F(ChatGPTAppAdapterTest, EveryKindHasItsOwnAdapter) {
    const auto all = DesktopAdapters::all(context);
    ASSERT_EQ(all.size(), allToolKinds.size());
    for (std::size_t i = 0; i < allToolKinds.size(); ++i) {
        const ToolKind kind = allToolKinds[i];
        EXPECT_EQ(all[i]->kind(), kind) << rawValue(kind);
        EXPECT_EQ(DesktopAdapters::adapter(kind, context)->kind(), kind) << rawValue(kind);
        const auto desktop = DesktopAdapters::app(kind, context);
        EXPECT_EQ(desktop != nullptr, isApp(kind)) << rawValue(kind);
        if (desktop) {
            EXPECT_EQ(desktop->kind(), kind);
        }
    }
}

TEST_F(ChatGPTAppAdapterTest, StatusIsTheProfileSCodexLoginWithAttentionAsNotSetUp) {
    EXPECT_EQ(ChatGPTAppAdapter(context, "test.not.installed").status(work),
              ToolStatus::notInstalled());
    EXPECT_EQ(adapter.status(system), ToolStatus::ready("Uses your usual ChatGPT app"));
    EXPECT_EQ(adapter.status(work), ToolStatus::notSetUp()); // no Codex folder yet
    adapter.prepare(work);
    EXPECT_TRUE(tltest::exists(folder));
    EXPECT_TRUE(tltest::exists(codexFolder + "/config.toml"));
    codex.answer("Logged in using ChatGPT\n");
    const ToolStatus signedIn = adapter.status(work);
    EXPECT_EQ(signedIn.state, ToolStatus::Case::signedIn);
    EXPECT_EQ(signedIn.account.method, "ChatGPT");
    EXPECT_EQ(codex.lastEnvironment().at("CODEX_HOME"), codexFolder);
    codex.answer("Not logged in\n", "", 1);
    EXPECT_EQ(adapter.status(work), ToolStatus::notSetUp());
    codex.answer("gibberish\n", "", 3);
    EXPECT_EQ(adapter.status(work), ToolStatus::notSetUp());
}

TEST_F(ChatGPTAppAdapterTest, OpenPreparesAndPointsTheNewInstanceAtTheCodexFolder) {
    const auto launched = adapter.open(work);
    ASSERT_EQ(launched.kind, LaunchResult::Kind::launched);
    const auto run = app.run(launched.pid);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv, (std::vector<std::string>{app.executable(), "--user-data-dir=" + folder}));
    EXPECT_EQ(run->environment.at("CODEX_HOME"), codexFolder);
    EXPECT_EQ(run->environment.count("HOME"), 1u);
    EXPECT_TRUE(tltest::exists(codexFolder + "/config.toml"));
    EXPECT_TRUE(tltest::exists(home.paths.supportDirectory() + "/chatgpt-app/" +
                               ProfileLaunchLock::fileName(ProfileLaunchLock::key(folder))));
    EXPECT_EQ(adapter.open(work), LaunchResult::focused(launched.pid));
    EXPECT_EQ(app.runs().size(), 1u);

    const auto byDefault = adapter.open(system);
    const auto defaultRun = app.run(byDefault.pid);
    ASSERT_TRUE(defaultRun);
    EXPECT_EQ(defaultRun->argv, std::vector<std::string>{app.executable()});
    EXPECT_EQ(defaultRun->environment.count("CODEX_HOME"), 0u);
}

TEST_F(ChatGPTAppAdapterTest, AnInvalidIdFailsBeforeAnythingStarts) {
    EXPECT_EQ(tltest::errorOf([&] { adapter.open(badID); }).kind(),
              TwinLanternError::Kind::invalidProfile);
    EXPECT_TRUE(app.runs().empty());
    EXPECT_TRUE(adapter.quitInstance(badID));
}

TEST_F(ChatGPTAppAdapterTest, RemoveDataRefusesWhileTheInstanceRunsOn) {
    app.setMode(FakeApp::Mode::ignoreAll);
    const auto launched = adapter.open(work);
    ASSERT_TRUE(app.run(launched.pid));
    tltest::writeFile(folder + "/state", "x");
    adapter.setQuitTimeout(1);
    EXPECT_EQ(tltest::errorOf([&] { adapter.removeData(work); }).description(),
              "ChatGPT \u2014 Work is still running. Quit it, then try again.");
    EXPECT_EQ(tltest::readFile(folder + "/state"), "x");
    app.setMode(FakeApp::Mode::polite);
    ::kill(launched.pid, SIGKILL);
    ASSERT_TRUE(testing::waitUntilGone(launched.pid));
    adapter.removeData(work);
    EXPECT_FALSE(tltest::exists(folder));
    EXPECT_TRUE(tltest::exists(codexFolder)); // the Codex adapter's to remove
}

} // namespace
} // namespace twinlantern
