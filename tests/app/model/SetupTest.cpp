#include "tests/support/app/AppFixture.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "tests/support/fakeapp/FakeApp.h"
#include "tests/support/Profiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::app;
using app::test::AppFixture;

namespace {

std::size_t occurrences(const std::string& text, std::string_view part) {
    std::size_t count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

bool hasLauncherCheck(const std::vector<DoctorCheck>& checks) {
    return std::any_of(checks.begin(), checks.end(),
                       [](const DoctorCheck& c) { return c.id.rfind("launcher.", 0) == 0; });
}

std::vector<DoctorCheck> doctor(AppFixture& f, AppModel& model, bool deep = false) {
    std::optional<std::vector<DoctorCheck>> checks;
    model.runDoctor(deep, [&](std::vector<DoctorCheck> got) { checks = std::move(got); });
    EXPECT_TRUE(f.scheduler.runUntil([&] { return checks.has_value(); }));
    return checks.value_or(std::vector<DoctorCheck>{});
}

TEST(InstallShell, WithoutAHelpersFolderTheProgramsBesideTheExecutableAreInstalled) {
    AppFixture f;
    const std::string folder = f.home.home() + "/app";
    tltest::makeDirs(folder);
    for (const char* built : {"twinlantern-resolve", "twinlantern-launcher"}) {
        tltest::writeFile(folder + "/" + built,
                          tltest::readFile(std::string(TL_HELPERS_DIR "/") + built), 0755);
    }
    tltest::writeFile(folder + "/twinlantern", "#!/bin/sh\nexit 0\n", 0755);
    f.captureFeedback();
    auto model = f.model(false);
    EXPECT_EQ(model->bundledBinary("twinlantern"), folder + "/twinlantern");
    model->installShell();
    EXPECT_FALSE(model->alert()) << *model->alert();
    EXPECT_EQ(f.posted, std::vector<std::string>{
                            "Shell integration installed. Open a new terminal window to use it."});
    ASSERT_TRUE(model->shellStatus());
    EXPECT_TRUE(model->shellStatus()->isInstalled());
    EXPECT_EQ(model->shellStatus()->appPath, std::nullopt); // no .app around it
    const ShellIntegration shell(f.home.paths, model->context().environment);
    EXPECT_TRUE(ShellIntegration::sameContents(shell.libexec() + "/twinlantern-resolve",
                                               folder + "/twinlantern-resolve"));
}

TEST(InstallShell, TwiceSucceedsTwiceWithOneBlockAndUninstallRemovesIt) {
    AppFixture f;
    const std::string bundle = f.makeBundle();
    tltest::writeFile(f.home.home() + "/.bashrc", "alias ll='ls -l'\n");
    f.captureFeedback();
    auto model = f.model(false);
    model->installShell();
    model->installShell();
    EXPECT_FALSE(model->alert()) << *model->alert();
    const std::string installed =
        "Shell integration installed. Open a new terminal window to use it.";
    EXPECT_EQ(f.posted, (std::vector<std::string>{installed, installed}));
    for (const char* file : {"/.zshrc", "/.bashrc"}) {
        SCOPED_TRACE(file);
        EXPECT_EQ(
            occurrences(tltest::readFile(f.home.home() + file), ShellIntegration::beginMarker), 1u);
    }
    ASSERT_TRUE(model->shellStatus());
    EXPECT_TRUE(model->shellStatus()->isInstalled());
    EXPECT_EQ(model->shellStatus()->appPath, bundle);

    model->uninstallShell();
    EXPECT_FALSE(model->alert());
    EXPECT_EQ(f.posted.back(), "Shell integration removed");
    EXPECT_FALSE(model->shellStatus()->isInstalled());
    EXPECT_EQ(tltest::readFile(f.home.home() + "/.bashrc"), "alias ll='ls -l'\n");
}

TEST(InstallShell, ABundleWithoutTheCommandLineToolFailsWithTheCopyMessage) {
    AppFixture f;
    const std::string bundle = f.makeBundle();
    ::unlink((bundle + "/Contents/Helpers/twinlantern").c_str());
    f.captureFeedback();
    auto model = f.model(false);
    model->installShell();
    EXPECT_EQ(model->alert(), std::string("Couldn't install ~/.twinlantern/libexec/twinlantern: ") +
                                  std::strerror(ENOENT));
    EXPECT_TRUE(f.posted.empty());
    EXPECT_FALSE(model->shellStatus()->isInstalled());
}

TEST(RebuildLaunchers, RemovesOrphansKeepsOtherProfilesLaunchersAndShowsTheFolder) {
    AppFixture f;
    f.makeBundle();
    tltest::FakeApp claude(f.home.paths.applicationsDirectory, "Claude", DesktopInstall::bundleID);
    const Profile desk =
        tltest::profile("desk-1", "Desk", Profile::Storage::managed, {ToolKind::claudeDesktop});
    const Profile code =
        tltest::profile("code-1", "Code", Profile::Storage::managed, {ToolKind::claudeCode});
    const Profile gone =
        tltest::profile("gone-1", "Gone", Profile::Storage::managed, {ToolKind::claudeDesktop});
    f.writeDocument({1, {desk, code}, {}, {}});
    auto model = f.model(false);
    const LauncherGenerator generator(f.home.paths, model->bundledBinary("twinlantern-launcher"),
                                      DesktopInstall::bundleID, model->context().environment);
    // Made while Code still used Claude Desktop, and for a profile since deleted.
    Profile codeBefore = code;
    codeBefore.addTool(ToolKind::claudeDesktop);
    const std::string kept = generator.generate(codeBefore);
    const std::string orphan = generator.generate(gone);

    model->rebuildLaunchers();
    EXPECT_FALSE(model->alert()) << *model->alert();
    EXPECT_FALSE(tltest::exists(orphan));
    EXPECT_FALSE(tltest::exists(generator.entryPath(gone.id)));
    EXPECT_TRUE(tltest::exists(kept));
    std::vector<ProfileID> ids;
    for (const auto& launcher : generator.installed()) {
        ids.push_back(launcher.profileID);
    }
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<ProfileID>{code.id, desk.id}));
    ASSERT_TRUE(f.scheduler.runUntil([&] { return !f.revealedFolders().empty(); }));
    EXPECT_EQ(f.revealedFolders(),
              std::vector<std::string>{f.home.home() + "/Applications/TwinLantern"});
    EXPECT_FALSE(hasLauncherCheck(doctor(f, *model)));
}

TEST(RebuildLaunchers, WithNoClaudeDesktopProfileStillTidiesAndShowsTheFolder) {
    AppFixture f;
    f.makeBundle();
    auto model = f.model(false);
    model->rebuildLaunchers();
    EXPECT_FALSE(model->alert());
    ASSERT_TRUE(f.scheduler.runUntil([&] { return !f.revealedFolders().empty(); }));
}

TEST(RebuildLaunchers, WithoutTheLauncherProgramOnlyTheAlertAndNoLauncherChecks) {
    AppFixture f;
    f.makeBundle(false);
    const Profile desk =
        tltest::profile("desk-1", "Desk", Profile::Storage::managed, {ToolKind::claudeDesktop});
    f.writeDocument({1, {desk}, {}, {}});
    auto model = f.model(false);
    model->rebuildLaunchers();
    EXPECT_EQ(model->alert(), "This build doesn't include the launcher helper.");
    EXPECT_FALSE(tltest::exists(f.home.home() + "/Applications/TwinLantern"));
    const auto checks = doctor(f, *model);
    EXPECT_FALSE(checks.empty());
    EXPECT_FALSE(hasLauncherCheck(checks));
    EXPECT_TRUE(f.revealedFolders().empty());
}

TEST(RunDoctor, ReadsTheFileAfreshAndAddsTheLauncherChecks) {
    AppFixture f;
    f.makeBundle();
    auto model = f.model(false);
    // Written after the model loaded: only a fresh read sees it.
    f.writeDocument(
        {1,
         {tltest::profile("desk-1", "Desk", Profile::Storage::managed, {ToolKind::claudeDesktop})},
         {},
         {}});
    EXPECT_TRUE(model->document().profiles.empty());
    const auto checks = doctor(f, *model);
    EXPECT_TRUE(std::any_of(checks.begin(), checks.end(),
                            [](const DoctorCheck& c) { return c.id == "launcher.missing"; }));
}

} // namespace
