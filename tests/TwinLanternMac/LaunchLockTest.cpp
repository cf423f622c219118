#include "TwinLanternMac/DesktopLauncher.h"
#include "TwinLanternMac/ProfileLaunchLock.h"

#include "core/base/PathUtil.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <memory>
#include <thread>

namespace twinlantern {
namespace {

using namespace std::chrono_literals;

// Whether another open of the file could take the lock now.
bool isFree(const std::string& path) {
    UniqueFd fd(::open(path.c_str(), O_RDWR | O_CLOEXEC));
    return fd && ::flock(fd.get(), LOCK_EX | LOCK_NB) == 0;
}

TEST(LaunchLockName, IsTheSameInEveryProgram) {
    EXPECT_EQ(ProfileLaunchLock::fileName("default"), ".launch-5e6ac746f2e375f4.lock");
    EXPECT_EQ(ProfileLaunchLock::fileName("/p/1700"), ".launch-8df82adef01515.lock");
    EXPECT_EQ(ProfileLaunchLock::hash(""), 1469598103934665603ULL);
    EXPECT_EQ(ProfileLaunchLock::key(std::nullopt), "default");
}

TEST(LaunchLock, CreatesItsFolderAndAPrivateFileAndHoldsIt) {
    tltest::TempDir dir;
    const std::string folder = dir / "a/b";
    ProfileLaunchLock lock(folder, "default");
    EXPECT_TRUE(lock.held());
    EXPECT_EQ(lock.path(), folder + "/.launch-5e6ac746f2e375f4.lock");
    EXPECT_EQ(tltest::fileMode(lock.path()), 0600u);
    EXPECT_FALSE(isFree(lock.path()));
    lock.release();
    EXPECT_TRUE(isFree(lock.path()));
    lock.release(); // twice is fine
    EXPECT_TRUE(isFree(lock.path()));
}

TEST(LaunchLock, DestructionReleasesWhatTheOwnerDidNot) {
    tltest::TempDir dir;
    std::string path;
    {
        ProfileLaunchLock lock(dir.path(), "k");
        path = lock.path();
        EXPECT_FALSE(isFree(path));
    }
    EXPECT_TRUE(isFree(path));
}

TEST(LaunchLock, ABusyLockIsWaitedForThenTheCallerGoesOnWithoutIt) {
    tltest::TempDir dir;
    ProfileLaunchLock first(dir.path(), "k");
    const auto start = std::chrono::steady_clock::now();
    ProfileLaunchLock second(dir.path(), "k", 300ms);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 300ms);
    EXPECT_FALSE(second.held());
    second.release(); // closes its descriptor; the first still holds the lock
    EXPECT_FALSE(isFree(first.path()));
}

TEST(LaunchLock, AWaiterGetsTheLockOnceItIsReleased) {
    tltest::TempDir dir;
    auto first = std::make_unique<ProfileLaunchLock>(dir.path(), "k");
    std::thread releaser([&] {
        std::this_thread::sleep_for(200ms);
        first->release();
    });
    ProfileLaunchLock second(dir.path(), "k", tltest::patience);
    releaser.join();
    EXPECT_TRUE(second.held());
}

TEST(LaunchLock, FolderAndFileErrors) {
    tltest::TempDir dir;
    tltest::writeFile(dir / "file", "x");
    EXPECT_EQ(tltest::errorOf([&] { ProfileLaunchLock(dir / "file/locks", "k"); }).description(),
              "Couldn't create " + (dir / "file/locks") + ": Not a directory");
    const std::string lockPath = dir / ProfileLaunchLock::fileName("k");
    tltest::makeDirs(lockPath);
    EXPECT_EQ(tltest::errorOf([&] { ProfileLaunchLock(dir.path(), "k"); }).description(),
              "Couldn't open " + lockPath);
}

TEST(LaunchLockKey, OneFolderHasOneKeyThroughALinkedParentBeforeAndAfterItExists) {
    tltest::TempDir dir;
    tltest::makeDirs(dir / "real");
    ASSERT_EQ(::symlink((dir / "real").c_str(), (dir / "link").c_str()), 0);
    const std::string real = *PathUtil::realPath(dir / "real");
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(ProfileLaunchLock::key(dir / "link/p/1"), real + "/p/1") << pass;
        EXPECT_EQ(ProfileLaunchLock::key(dir / "real/p/1"), real + "/p/1") << pass;
        EXPECT_EQ(ProfileLaunchLock::key(dir / "real/p/1/"), real + "/p/1") << pass;
        EXPECT_EQ(ProfileLaunchLock::key(dir / "real/q/../p/1"), real + "/p/1") << pass;
        tltest::makeDirs(dir / "real/p/1");
    }
    EXPECT_EQ(DesktopLauncher::compareForm("/"), "/");
}

} // namespace
} // namespace twinlantern
