#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/PathUtil.h"
#include "platform/Workspace.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::app;
using app::test::AppFixture;
using tltest::FakeApp;

namespace {

// Starts the app on a profile's folder (none: the user's ordinary instance).
pid_t start(const AppFixture& f, const FakeApp& app, const std::optional<std::string>& folder) {
    std::vector<std::string> arguments;
    if (folder) {
        tltest::makeDirs(*folder);
        arguments.push_back("--user-data-dir=" + *folder);
    }
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, f.environment);
    const pid_t pid = workspace->open(app.bundle(), arguments, {});
    EXPECT_TRUE(app.run(pid));
    return pid;
}

bool runs(pid_t pid) {
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(Paths("/", "/Applications"), {});
    return !workspace->isTerminated(pid);
}

void deleteAndWait(AppFixture& f, AppModel& model, const Profile& profile) {
    bool done = false;
    model.deleteProfile(profile, [&] { done = true; });
    ASSERT_TRUE(f.scheduler.runUntil([&] { return done; }));
}

std::string dataFile(const AppFixture& f, ToolKind kind, const std::string& id) {
    const std::string folder = f.home.paths.dataDirectory(kind, ProfileID(id)).value();
    tltest::makeDirs(folder);
    tltest::writeFile(folder + "/data", "x");
    return folder + "/data";
}

TEST(DeleteProfile, ASystemProfileQuitsNothingAndTakesItsRulesAndDefault) {
    AppFixture f;
    FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const Profile usual = tltest::profile("usual-1", "Usual", Profile::Storage::system,
                                          {ToolKind::claudeDesktop, ToolKind::claudeCode});
    const Profile work = tltest::profile("work-1", "Work");
    f.writeDocument(
        {1, {usual, work}, {{"~/a", usual.id}, {"~/b", work.id}, {"~/c", usual.id}}, usual.id});
    const pid_t ordinary = start(f, claude, std::nullopt);
    auto model = f.model(false);
    ASSERT_TRUE(model->isRunning(usual, ToolKind::claudeDesktop));
    model->storeStatus(usual.id, ToolKind::claudeCode, ToolStatus::notSetUp());
    model->storeStatus(work.id, ToolKind::claudeCode, ToolStatus::notSetUp());

    deleteAndWait(f, *model, usual);
    EXPECT_FALSE(model->alert()) << *model->alert();
    EXPECT_TRUE(runs(ordinary));
    EXPECT_EQ(claude.termsTaken(ordinary), 0);
    const ProfileDocument after = ProfileStore(f.home.paths).load();
    EXPECT_EQ(after.profiles, std::vector<Profile>{work});
    EXPECT_EQ(after.rules, (std::vector<FolderRule>{{"~/b", work.id}}));
    EXPECT_EQ(after.cliDefault, std::nullopt);
    EXPECT_EQ(model->document(), after);
    EXPECT_FALSE(model->statuses().contains(usual.id));
    EXPECT_TRUE(model->statuses().contains(work.id));
}

TEST(DeleteProfile, AManagedProfileGoesWithItsInstanceDataAndLauncher) {
    AppFixture f;
    f.makeBundle();
    FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeDesktop, ToolKind::claudeCode});
    f.writeDocument({1, {work}, {{"~/w", work.id}}, work.id});
    const std::string desktopData = dataFile(f, ToolKind::claudeDesktop, "work-1");
    const std::string codeData = dataFile(f, ToolKind::claudeCode, "work-1");
    auto model = f.model(false);
    model->rebuildLaunchers();
    ASSERT_FALSE(model->alert()) << *model->alert();
    const LauncherGenerator generator(f.home.paths, model->bundledBinary("twinlantern-launcher"),
                                      DesktopInstall::bundleID, model->context().environment);
    ASSERT_EQ(generator.installed().size(), 1u);
    const pid_t instance =
        start(f, claude, f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value());

    deleteAndWait(f, *model, work);
    EXPECT_FALSE(model->alert()) << *model->alert();
    EXPECT_TRUE(tltest::waitUntilGone(instance));
    EXPECT_FALSE(tltest::exists(desktopData));
    EXPECT_FALSE(tltest::exists(codeData));
    EXPECT_TRUE(generator.installed().empty());
    EXPECT_FALSE(tltest::exists(generator.entryPath(work.id)));
    EXPECT_EQ(ProfileStore(f.home.paths).load(), ProfileDocument::empty());
    // Claude Code was asked to sign out first.
    EXPECT_EQ(f.calls().front(), "start claude work-1");
}

TEST(DeleteProfile, AnInstanceThatWontQuitIsRefusedAndNothingIsRemoved) {
    AppFixture f;
    f.makeBundle();
    FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID,
                   FakeApp::Mode::ignoreAll);
    const Profile work = tltest::profile("work-1", "Work", Profile::Storage::managed,
                                         {ToolKind::claudeDesktop, ToolKind::claudeCode});
    const ProfileDocument doc{1, {work}, {{"~/w", work.id}}, work.id};
    f.writeDocument(doc);
    const std::string desktopData = dataFile(f, ToolKind::claudeDesktop, "work-1");
    const std::string codeData = dataFile(f, ToolKind::claudeCode, "work-1");
    auto model = f.model(false);
    model->rebuildLaunchers();
    const LauncherGenerator generator(f.home.paths, model->bundledBinary("twinlantern-launcher"),
                                      DesktopInstall::bundleID, model->context().environment);
    ASSERT_EQ(generator.installed().size(), 1u);
    const pid_t instance =
        start(f, claude, f.home.paths.dataDirectory(ToolKind::claudeDesktop, work.id).value());

    deleteAndWait(f, *model, work);
    EXPECT_EQ(model->alert(),
              "Claude \u2014 \u2068Work\u2069 is still running. Quit it (Quit in its window, or "
              "close the window), then try again. Nothing was removed.");
    EXPECT_TRUE(runs(instance));
    EXPECT_GE(claude.termsTaken(instance), 1);
    EXPECT_TRUE(tltest::exists(desktopData));
    EXPECT_TRUE(tltest::exists(codeData));
    EXPECT_EQ(generator.installed().size(), 1u);
    EXPECT_EQ(ProfileStore(f.home.paths).load(), doc);
    EXPECT_TRUE(f.calls().empty()); // no sign-out either
}

TEST(DeleteProfile, AFailedDataRemovalStillRemovesTheProfile) {
    AppFixture f;
    FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT", ChatGPTAppAdapter::appBundleID,
                    FakeApp::Mode::ignoreAll);
    // Work left the ChatGPT app, whose instance still runs on Work's folder.
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeCode});
    f.writeDocument({1, {work}, {{"~/w", work.id}}, {}});
    const std::string codeData = dataFile(f, ToolKind::claudeCode, "work-1");
    start(f, chatGPT, f.home.paths.dataDirectory(ToolKind::chatGPTApp, work.id).value());
    auto model = f.model(false);

    deleteAndWait(f, *model, work);
    EXPECT_EQ(model->alert(), "ChatGPT \u2014 Work is still running. Quit it, then try again.");
    EXPECT_EQ(ProfileStore(f.home.paths).load(), ProfileDocument::empty());
    EXPECT_TRUE(model->document().profiles.empty());
    EXPECT_FALSE(tltest::exists(codeData));
    EXPECT_TRUE(
        PathUtil::isDirectory(f.home.paths.dataDirectory(ToolKind::chatGPTApp, work.id).value()));
}

TEST(DeleteProfile, TheDataFailuresAndTheDocumentsOwnErrorAreAllShown) {
    AppFixture f;
    FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT", ChatGPTAppAdapter::appBundleID,
                    FakeApp::Mode::ignoreAll);
    const Profile work =
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::claudeCode});
    f.writeDocument({1, {work}, {}, {}});
    start(f, chatGPT, f.home.paths.dataDirectory(ToolKind::chatGPTApp, work.id).value());
    auto model = f.model(false);
    // The file can't be changed any more.
    tltest::removeTree(f.home.paths.profilesFile());
    tltest::makeDirs(f.home.paths.profilesFile());
    std::string documentError;
    try {
        ProfileStore(f.home.paths).update([](ProfileDocument&) {});
    } catch (const std::exception& e) {
        documentError = e.what();
    }
    ASSERT_FALSE(documentError.empty());

    deleteAndWait(f, *model, work);
    EXPECT_EQ(model->alert(),
              "ChatGPT \u2014 Work is still running. Quit it, then try again.\n" + documentError);
}

} // namespace
