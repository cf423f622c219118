#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "platform/Workspace.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;

namespace {

struct Started {
    pid_t pid;
    ~Started() {
        ::kill(pid, SIGKILL);
        tltest::waitUntilGone(pid);
    }
};

TEST(RefreshRunning, ProfilesMatchTheirInstancesByResolvedFolder) {
    AppFixture f;
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    ProfileDocument doc;
    doc.profiles = {
        tltest::profile("sys-1", "Usual", Profile::Storage::system, {ToolKind::claudeDesktop}),
        tltest::profile("work-1", "Work", Profile::Storage::managed,
                        {ToolKind::claudeDesktop, ToolKind::chatGPTApp}),
        tltest::profile("home-1", "Home", Profile::Storage::managed, {ToolKind::claudeDesktop}),
    };
    f.writeDocument(doc);
    const std::string work =
        f.home.paths.dataDirectory(ToolKind::claudeDesktop, ProfileID("work-1")).value();
    tltest::makeDirs(work);
    const std::string link = f.home.home() + "/work-link";
    ASSERT_EQ(::symlink(work.c_str(), link.c_str()), 0);

    auto model = f.model(false);
    EXPECT_EQ(model->runningApps(),
              (RunningMap{{ToolKind::claudeDesktop, {}}, {ToolKind::chatGPTApp, {}}}));

    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, f.environment);
    // A managed instance, started through a link to its folder.
    Started managed{workspace->open(claude.bundle(), {"--user-data-dir=" + link}, {})};
    ASSERT_TRUE(claude.run(managed.pid));
    model->refreshRunning();
    EXPECT_EQ(model->runningApps(), (RunningMap{{ToolKind::claudeDesktop, {ProfileID("work-1")}},
                                                {ToolKind::chatGPTApp, {}}}));
    EXPECT_TRUE(model->isRunning(doc.profiles[1], ToolKind::claudeDesktop));
    EXPECT_FALSE(model->isRunning(doc.profiles[1], ToolKind::chatGPTApp));
    EXPECT_FALSE(model->isRunning(doc.profiles[1], ToolKind::claudeCode));

    // The system profile runs only beside an instance without a folder.
    Started usual{workspace->open(claude.bundle(), {}, {})};
    ASSERT_TRUE(claude.run(usual.pid));
    model->refreshRunning();
    EXPECT_EQ(model->runningApps().at(ToolKind::claudeDesktop),
              (std::set<ProfileID>{ProfileID("sys-1"), ProfileID("work-1")}));
}

TEST(RefreshRunning, AnUnchangedResultNotifiesNobody) {
    AppFixture f;
    auto model = f.model(false);
    int notices = 0;
    auto subscription = model->observe([&](ModelField) { ++notices; });
    model->refreshRunning();
    model->refreshRunning();
    EXPECT_EQ(notices, 0);
}

// A rule's folder that goes away, or comes back, is told once, at the next refresh.
TEST(RefreshRunning, ARulesFolderThatGoesOrComesIsToldOnce) {
    AppFixture f;
    ProfileDocument doc;
    doc.profiles = {tltest::profile("work-1", "Work")};
    doc.rules = {{"~/code/**", ProfileID("work-1")}, {"~/never", ProfileID("work-1")}};
    f.writeDocument(doc);
    const std::string code = f.home.home() + "/code";
    tltest::makeDirs(code);
    auto model = f.model(false);
    EXPECT_EQ(model->missingFolders(), std::set<std::string>{"~/never"});
    std::vector<ModelField> seen;
    auto subscription = model->observe([&](ModelField field) { seen.push_back(field); });

    const std::vector<std::pair<std::function<void()>, std::set<std::string>>> steps{
        {[&] { tltest::removeTree(code); }, {"~/code", "~/never"}},
        {[] {}, {"~/code", "~/never"}},
        {[&] { tltest::makeDirs(code); }, {"~/never"}},
    };
    for (const auto& [change, missing] : steps) {
        const bool differs = missing != model->missingFolders();
        seen.clear();
        change();
        model->refreshRunning();
        EXPECT_EQ(model->missingFolders(), missing);
        EXPECT_EQ(seen, differs ? std::vector<ModelField>{ModelField::missingFolders}
                                : std::vector<ModelField>{});
    }
}

} // namespace
