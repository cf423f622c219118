#include "TwinLanternMac/apps/DesktopLocator.h"

#include "core/tools/CodexAdapter.h"
#include "platform/Workspace.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/fakeapp/FakeApp.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace twinlantern {
namespace {

using testing::FakeApp;

timespec modified(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mtim;
}

class DesktopLocatorTest : public ::testing::Test {
protected:
    tltest::TempHome home;
    const std::unique_ptr<platform::Workspace> workspace = platform::makeWorkspace(home.paths, {});
    std::string hint = CodexAdapter::bundledHintFile(home.paths);

    void record() { DesktopLocator::recordCodexAppLocation(home.paths, *workspace); }
};

TEST_F(DesktopLocatorTest, LocatesWithVersionWhenThereIsOne) {
    FakeApp app(home.paths.applicationsDirectory, "Versioned", testing::uniqueBundleID("v"));
    EXPECT_EQ(DesktopLocator::locate(*workspace, app.bundleID()),
              (DesktopInstall{app.bundle(), "1.2.3"}));
    EXPECT_EQ(DesktopLocator::locate(*workspace, "test.not.installed"), std::nullopt);

    for (const char* version : {"", "<key>CFBundleShortVersionString</key><integer>3</integer>"}) {
        tltest::writeFile(app.bundle() + "/Contents/Info.plist",
                          "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict>"
                          "<key>CFBundleIdentifier</key><string>" +
                              app.bundleID() + "</string>" + version + "</dict></plist>");
        EXPECT_EQ(DesktopLocator::locate(*workspace, app.bundleID()),
                  (DesktopInstall{app.bundle(), std::nullopt}))
            << version;
    }
}

TEST_F(DesktopLocatorTest, RecordsTheAppPathExactlyAndOnlyWhenItChanged) {
    FakeApp app(home.paths.applicationsDirectory, "ChatGPT", CodexAdapter::desktopAppBundleID);
    record();
    EXPECT_EQ(tltest::readFile(hint), app.bundle());
    EXPECT_EQ(tltest::fileMode(hint), 0600u);

    const auto before = modified(hint);
    const ino_t inode = tltest::inode(hint);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    record();
    EXPECT_EQ(tltest::inode(hint), inode);
    EXPECT_EQ(modified(hint).tv_nsec, before.tv_nsec);
    EXPECT_EQ(modified(hint).tv_sec, before.tv_sec);

    tltest::writeFile(hint, app.bundle() + "\n");
    record();
    EXPECT_EQ(tltest::readFile(hint), app.bundle());
}

TEST_F(DesktopLocatorTest, AnUninstalledAppRemovesTheHintAndAMissingOneIsNoError) {
    {
        FakeApp app(home.paths.applicationsDirectory, "ChatGPT", CodexAdapter::desktopAppBundleID);
        record();
        ASSERT_TRUE(tltest::exists(hint));
        tltest::removeTree(app.bundle());
    }
    record();
    EXPECT_FALSE(tltest::exists(hint));
    record();
    EXPECT_FALSE(tltest::exists(hint));
}

TEST_F(DesktopLocatorTest, WhateverStandsAtTheHintPathNeverBlocksOrCrashes) {
    FakeApp app(home.paths.applicationsDirectory, "ChatGPT", CodexAdapter::desktopAppBundleID);
    tltest::makeDirs(home.paths.supportDirectory());
    for (const auto& c : tltest::hostileCases()) {
        tltest::removeTree(hint);
        tltest::makeHostile(c.kind, hint, 64 * 1024, app.bundle());
        const auto start = std::chrono::steady_clock::now();
        record();
        EXPECT_LT(std::chrono::steady_clock::now() - start, tltest::hostileReadBound) << c.name;
        if (c.kind != tltest::Hostile::folder) {
            EXPECT_EQ(tltest::readFile(hint), app.bundle()) << c.name; // replaced by the hint
        }
    }
    tltest::removeTree(hint);
    ASSERT_EQ(::symlink((home.dir / "nowhere").c_str(), hint.c_str()), 0);
    record();
    EXPECT_EQ(tltest::readFile(hint), app.bundle());
    EXPECT_FALSE(tltest::exists(home.dir / "nowhere"));
}

} // namespace
} // namespace twinlantern
