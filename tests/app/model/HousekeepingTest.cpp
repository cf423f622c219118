#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "core/base/PathUtil.h"
#include "core/tools/CodexAdapter.h"
#include "platform/Workspace.h"
#include "tests/support/Profiles.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>

#include <signal.h>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;
using app::test::VirtualScheduler;

namespace {

std::string codexLine(const std::string& timestamp, int input, int output) {
    return R"({"timestamp":")" + timestamp +
           R"(","type":"event_msg","payload":{"type":"token_count","info":{"last_token_usage":)"
           R"({"input_tokens":)" +
           std::to_string(input) + R"(,"cached_input_tokens":0,"output_tokens":)" +
           std::to_string(output) + "}}}}\n";
}

TEST(RefreshUsage, OnlyTerminalToolsAProfileUsesGetAnEntryEqualToTheProvidersResult) {
    AppFixture f;
    ProfileDocument doc;
    doc.profiles = {
        tltest::profile("desk-1", "Desk", Profile::Storage::managed, {ToolKind::claudeDesktop}),
        tltest::profile("codex-1", "Codex", Profile::Storage::managed, {ToolKind::codex}),
    };
    f.writeDocument(doc);
    // The virtual wall clock starts at 2026-03-01T00:00:00Z.
    tltest::makeDirs(f.folder(ToolKind::codex, "codex-1") + "/sessions/2026/02/28");
    tltest::writeFile(f.folder(ToolKind::codex, "codex-1") + "/sessions/2026/02/28/r.jsonl",
                      codexLine("2026-02-28T23:00:00.000Z", 100, 7) +
                          codexLine("2026-02-25T12:00:00.000Z", 50, 3));
    auto model = f.model(false);
    bool done = false;
    model->refreshUsage([&] { done = true; });
    f.scheduler.settle();
    ASSERT_TRUE(done);

    ASSERT_EQ(model->usage().size(), 1u);
    const auto& entry = model->usage().at(ProfileID("codex-1"));
    ASSERT_EQ(entry.size(), 1u);
    const auto& windows = entry.at(ToolKind::codex);
    LocalLogUsageProvider provider(f.home.paths, model->context().environment,
                                   std::make_shared<LocalLogUsageProvider::EventCache>());
    const auto expected = provider.activities(doc.profiles[1], ToolKind::codex, {18000.0, 604800.0},
                                              f.scheduler.clock().wallNow());
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(windows.fiveHours, expected[0]);
    EXPECT_EQ(windows.sevenDays, expected[1]);
    EXPECT_EQ(windows.fiveHours.inputTokens, 100);
    EXPECT_EQ(windows.sevenDays.inputTokens, 150);
}

TEST(DiscoverSearchPath, RecordsTheAppsAndTheBundleBeforeTheProbe) {
    AppFixture f;
    tltest::FakeApp chatGPT(f.home.paths.applicationsDirectory, "ChatGPT",
                            ChatGPTAppAdapter::appBundleID);
    const std::string hint = CodexAdapter::bundledHintFile(f.home.paths);
    tltest::makeDirs(f.home.paths.supportDirectory());
    tltest::writeFile(hint, "/stale/ChatGPT.app");

    // A bundle tree: the built resolver and stand-ins for the other two programs.
    const std::string bundle = f.home.home() + "/TwinLantern.app";
    const std::string helpers = bundle + "/Contents/Helpers";
    tltest::makeDirs(helpers);
    tltest::makeDirs(bundle + "/Contents/MacOS");
    tltest::writeFile(helpers + "/twinlantern-resolve",
                      tltest::readFile(TL_HELPERS_DIR "/twinlantern-resolve"), 0755);
    tltest::writeFile(helpers + "/twinlantern", "#!/bin/sh\nexit 0\n", 0755);
    tltest::writeFile(helpers + "/twinlantern-launcher", "#!/bin/sh\nexit 0\n", 0755);
    AppServices services = f.services();
    services.executablePath = bundle + "/Contents/MacOS/TwinLantern";
    AppModel model(f.home.paths, std::nullopt, false, services);
    // An earlier install with a stale resolver.
    const ShellIntegration shell(f.home.paths, model.context().environment);
    tltest::makeDirs(shell.libexec());
    tltest::writeFile(shell.libexec() + "/twinlantern-resolve", "old", 0755);
    EXPECT_EQ(model.bundledBinary("twinlantern-resolve"), helpers + "/twinlantern-resolve");
    EXPECT_EQ(model.bundledBinary("missing"), bundle + "/Contents/MacOS/missing");

    bool done = false;
    model.discoverSearchPath([&] { done = true; });
    // Written on main before the probe's job returns.
    EXPECT_EQ(tltest::readFile(hint), chatGPT.bundle());
    EXPECT_EQ(tltest::readFile(shell.appPathFile()), bundle + "\n");
    EXPECT_EQ(tltest::readFile(shell.libexec() + "/twinlantern-resolve"),
              tltest::readFile(helpers + "/twinlantern-resolve"));
    f.scheduler.settle();
    EXPECT_TRUE(done);
}

TEST(RefreshStatuses, WhileACallIsHeldTheFiveSecondTickStillSeesInstances) {
    AppFixture f;
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    ProfileDocument doc;
    doc.profiles = {tltest::profile("work-1", "Work", Profile::Storage::managed,
                                    {ToolKind::claudeDesktop, ToolKind::claudeCode})};
    f.writeDocument(doc);
    f.hold(ToolKind::claudeCode, "work-1");
    auto model = f.model(true);
    model->refreshStatuses();
    ASSERT_TRUE(f.scheduler.runUntil([&] { return f.calls().size() == 1; }));

    const std::string folder =
        f.home.paths.dataDirectory(ToolKind::claudeDesktop, ProfileID("work-1")).value();
    tltest::makeDirs(folder);
    const std::unique_ptr<platform::Workspace> workspace =
        platform::makeWorkspace(f.home.paths, f.environment);
    const pid_t pid = workspace->open(claude.bundle(), {"--user-data-dir=" + folder}, {});
    ASSERT_TRUE(claude.run(pid));
    f.scheduler.advance(5s, VirtualScheduler::Jobs::leave);
    EXPECT_TRUE(model->refreshing());
    EXPECT_TRUE(model->isRunning(doc.profiles[0], ToolKind::claudeDesktop));
    ::kill(pid, SIGKILL);
    tltest::waitUntilGone(pid);
    f.release(ToolKind::claudeCode, "work-1");
    ASSERT_TRUE(f.scheduler.runUntil([&] { return !model->refreshing(); }));
}

} // namespace

namespace {

TEST(Reload, TheDesktopInstallAndShellStatusFollowTheDisk) {
    AppFixture f;
    auto model = f.model(false);
    EXPECT_EQ(model->desktopInstall(), std::nullopt);
    EXPECT_FALSE(model->installedTools().contains(ToolKind::claudeDesktop));
    ASSERT_TRUE(model->shellStatus());
    EXPECT_FALSE(model->shellStatus()->isInstalled());
    EXPECT_TRUE(model->installedTools().contains(ToolKind::claudeCode));
    {
        tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude",
                               DesktopInstall::bundleID);
        model->reload();
        ASSERT_TRUE(model->desktopInstall());
        EXPECT_EQ(model->desktopInstall()->path, claude.bundle());
        EXPECT_TRUE(model->installedTools().contains(ToolKind::claudeDesktop));
        EXPECT_TRUE(model->installedApps().contains(ToolKind::claudeDesktop));
        EXPECT_FALSE(model->installedApps().contains(ToolKind::claudeCode));
        tltest::removeTree(claude.bundle());
    }
    model->reload();
    EXPECT_EQ(model->desktopInstall(), std::nullopt);
    // A real install of the shell integration shows in the next reload.
    const ShellIntegration shell(f.home.paths, model->context().environment);
    shell.install(TL_HELPERS_DIR "/twinlantern-resolve", std::nullopt, std::nullopt, std::nullopt);
    model->reload();
    ASSERT_TRUE(model->shellStatus());
    EXPECT_EQ(*model->shellStatus(), shell.status());
    EXPECT_TRUE(model->shellStatus()->binariesInstalled);
}

} // namespace
