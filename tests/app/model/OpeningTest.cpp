#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "platform/Workspace.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;

namespace {

std::size_t callsOf(const AppFixture& f, const std::string& call) {
    const auto calls = f.calls();
    return static_cast<std::size_t>(std::count(calls.begin(), calls.end(), call));
}

TEST(OpenApp, WithoutTheAppTheAlertIsTheLaunchersAndNothingIsRefreshed) {
    AppFixture f;
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeDesktop, ToolKind::chatGPTApp});
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    // An instance the model hasn't seen yet: a refresh would mark it.
    const std::string folder = f.home.paths.dataDirectory(ToolKind::chatGPTApp, work.id).value();
    tltest::makeDirs(folder);
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, f.environment);
    ASSERT_TRUE(chatGPT.run(workspace->open(chatGPT.bundle(), {"--user-data-dir=" + folder}, {})));

    bool done = false;
    model->openApp(work, ToolKind::claudeDesktop, [&] { done = true; });
    f.scheduler.advance(2s);
    EXPECT_TRUE(done);
    EXPECT_EQ(model->alert(), "Claude Desktop isn't installed.");
    EXPECT_FALSE(model->isRunning(work, ToolKind::chatGPTApp));
    model->refreshRunning();
    EXPECT_TRUE(model->isRunning(work, ToolKind::chatGPTApp));
}

TEST(OpenApp, TheNewInstanceIsMarkedRunningOneSecondLater) {
    AppFixture f;
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    bool done = false;
    model->openApp(work, ToolKind::claudeDesktop, [&] { done = true; });
    f.scheduler.advance(999ms);
    // The fake records its start by itself, in real time.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return claude.runs().size() == 1; }));
    const auto run = claude.run(claude.runs()[0]);
    ASSERT_TRUE(run);
    EXPECT_EQ(run->argv.at(1),
              "--user-data-dir=" +
                  f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value());
    EXPECT_FALSE(done);
    EXPECT_FALSE(model->isRunning(work, ToolKind::claudeDesktop));
    f.scheduler.advance(1ms);
    EXPECT_TRUE(done);
    EXPECT_TRUE(model->isRunning(work, ToolKind::claudeDesktop));
    EXPECT_FALSE(model->alert());
    EXPECT_TRUE(model->signingIn().empty());

    // A second open focuses the running one.
    model->openApp(work, ToolKind::claudeDesktop);
    f.scheduler.advance(1s);
    EXPECT_EQ(claude.runs().size(), 1u);
}

TEST(OpenApp, AWatchedChatGPTSignInRefreshesTheAppAndCodexBeforeItsMessage) {
    AppFixture f;
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::chatGPTApp, ToolKind::codex});
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    std::vector<std::optional<ToolStatus>> atMessage;
    Feedback::handler = [&](const std::string& message) {
        f.posted.push_back(message);
        atMessage = {model->status(work, ToolKind::chatGPTApp),
                     model->status(work, ToolKind::codex)};
    };
    model->openApp(work, ToolKind::chatGPTApp);
    f.scheduler.settle();
    EXPECT_EQ(model->signingIn(), std::set<std::string>{"work-1/chatgpt-app"});
    EXPECT_TRUE(model->isSigningIn(work, ToolKind::chatGPTApp));
    EXPECT_FALSE(model->codexSignInRunning());

    f.scheduler.advance(3s);
    EXPECT_EQ(callsOf(f, "start codex work-1"), 1u);
    ASSERT_TRUE(model->status(work, ToolKind::chatGPTApp));
    EXPECT_NE(model->status(work, ToolKind::chatGPTApp)->state, ToolStatus::Case::signedIn);
    EXPECT_TRUE(f.posted.empty());

    f.signIn(ToolKind::codex, "work-1", "me@example.com");
    f.scheduler.advance(3s);
    EXPECT_EQ(f.posted, std::vector<std::string>{"\u2068Work\u2069 is signed in to ChatGPT"});
    ASSERT_EQ(atMessage.size(), 2u);
    for (const auto& status : atMessage) {
        ASSERT_TRUE(status);
        EXPECT_EQ(status->state, ToolStatus::Case::signedIn);
    }
    // The app's check, then Codex's own.
    EXPECT_EQ(callsOf(f, "start codex work-1"), 3u);
    EXPECT_TRUE(model->signingIn().empty());
}

TEST(OpenApp, NoWatchForASystemProfileASignedInOneOrASecondOpen) {
    AppFixture f;
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    const Profile usual =
        tltest::profile("usual-1", "Usual", Profile::Storage::system, {ToolKind::chatGPTApp});
    const Profile signedIn =
        tltest::profile("done-1", "Done", Profile::Storage::managed, {ToolKind::chatGPTApp});
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::chatGPTApp});
    f.writeDocument({1, {usual, signedIn, work}, {}, {}});
    auto model = f.model(false);
    model->storeStatus(signedIn.id, ToolKind::chatGPTApp, ToolStatus::signedIn({}));

    model->openApp(usual, ToolKind::chatGPTApp);
    model->openApp(signedIn, ToolKind::chatGPTApp);
    f.scheduler.advance(1s);
    EXPECT_TRUE(model->signingIn().empty());

    int notices = 0;
    auto subscription = model->observe(
        [&](ModelField field) { notices += field == ModelField::signingIn ? 1 : 0; });
    model->openApp(work, ToolKind::chatGPTApp);
    f.scheduler.advance(1s);
    model->openApp(work, ToolKind::chatGPTApp);
    f.scheduler.advance(1s);
    EXPECT_EQ(model->signingIn(), std::set<std::string>{"work-1/chatgpt-app"});
    EXPECT_EQ(notices, 1);
    f.scheduler.advance(1s); // 3 s after the first open: one poll only
    EXPECT_EQ(callsOf(f, "start codex work-1"), 1u);
    // Usual, Done and Work, each once.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return chatGPT.runs().size() == 3; }));
    f.scheduler.advance(1s);
    EXPECT_EQ(chatGPT.runs().size(), 3u);
}

TEST(SignIn, AnAppKindOpensTheAppAndMakesNoKey) {
    AppFixture f;
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeDesktop});
    f.writeDocument({1, {work}, {}, {}});
    auto model = f.model(false);
    model->signIn(work, ToolKind::claudeDesktop);
    EXPECT_TRUE(model->signingIn().empty());
    f.scheduler.advance(1s);
    EXPECT_TRUE(model->isRunning(work, ToolKind::claudeDesktop));
    ASSERT_TRUE(f.scheduler.runUntil([&] { return claude.runs().size() == 1; }));
}

} // namespace
