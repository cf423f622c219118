#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "TwinLanternMac/apps/ProfileLaunchLock.h"

#include "core/base/PathUtil.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/OtherUser.h"
#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
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

// A process of the other account that holds an flock on path (creating the file, as
// anyone may in a folder open to all) until the object goes.
class HeldByOther {
public:
    HeldByOther(const tltest::OtherUser& other, const std::string& path) {
        EXPECT_EQ(::pipe2(release_, O_CLOEXEC), 0);
        held_ = other.run([&] {
            int ready[2];
            if (::pipe2(ready, O_CLOEXEC) != 0) {
                return 1;
            }
            if (::fork() == 0) {
                ::close(ready[0]);
                ::close(release_[1]);
                const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
                const bool held = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
                [[maybe_unused]] const ssize_t told = ::write(ready[1], held ? "y" : "n", 1);
                char c;
                [[maybe_unused]] const ssize_t got = ::read(release_[0], &c, 1); // until let go
                ::_exit(0);
            }
            ::close(ready[1]);
            char answer = 0;
            return ::read(ready[0], &answer, 1) == 1 && answer == 'y' ? 0 : 1;
        }) == 0;
        ::close(release_[0]);
    }
    ~HeldByOther() { ::close(release_[1]); }
    HeldByOther(const HeldByOther&) = delete;
    HeldByOther& operator=(const HeldByOther&) = delete;
    bool held() const { return held_; }

private:
    int release_[2] = {-1, -1};
    bool held_ = false;
};

// What a second local account can plant at a launch-lock folder: each ends in a clear
// error before any wait, and nothing is made where they planted.
TEST(LaunchLockBesideAnotherUser, PlantedFoldersLinksFilesAndHeldLocksAreRefused) {
    tltest::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    tltest::TempDir dir;
    ::chmod(dir.path().c_str(), 0711); // the other account may pass, as through a home
    // Not under a TMPDIR whose own folders are closed to them.
    const bool reachable =
        other.run([&] { return ::access(dir.path().c_str(), X_OK) == 0 ? 0 : 1; }) == 0;
    const std::string name = ProfileLaunchLock::fileName("k");
    const auto ours = [](const std::string& folder) {
        tltest::makeDirs(folder);
        ::chmod(folder.c_str(), 0700);
    };
    struct Case {
        const char* what;
        // Plants in the folder's place; the message the lock gives.
        std::function<std::string(const std::string& folder)> plant;
    };
    std::unique_ptr<HeldByOther> holder;
    const Case cases[] = {
        {"their folder",
         [&](const std::string& folder) {
             tltest::makeDirs(folder);
             other.give(folder);
             return "Couldn't use " + folder + ": it belongs to another user.";
         }},
        {"our folder open to all, their lock in it, held",
         [&](const std::string& folder) {
             tltest::makeDirs(folder);
             ::chmod(folder.c_str(), 0777);
             if (reachable) {
                 holder = std::make_unique<HeldByOther>(other, folder + "/" + name);
                 EXPECT_TRUE(holder->held());
             }
             return "Couldn't use " + folder + ": other users may write to it.";
         }},
        {"our folder open to its group",
         [&](const std::string& folder) {
             tltest::makeDirs(folder);
             ::chmod(folder.c_str(), 0770);
             return "Couldn't use " + folder + ": other users may write to it.";
         }},
        {"their link at the folder, to their folder",
         [&](const std::string& folder) {
             const std::string theirs = folder + ".theirs";
             tltest::makeDirs(theirs);
             other.give(theirs);
             EXPECT_EQ(::symlink(theirs.c_str(), folder.c_str()), 0);
             other.give(folder);
             return "Couldn't use " + folder + ": it is a symbolic link.";
         }},
        {"their link at the lock file",
         [&](const std::string& folder) {
             ours(folder);
             EXPECT_EQ(::symlink((folder + ".victim").c_str(), (folder + "/" + name).c_str()), 0);
             other.give(folder + "/" + name);
             return "Couldn't open " + folder + "/" + name;
         }},
        {"their file at the lock file",
         [&](const std::string& folder) {
             ours(folder);
             tltest::writeFile(folder + "/" + name, "", 0600);
             other.give(folder + "/" + name);
             return "Couldn't open " + folder + "/" + name + ": it belongs to another user.";
         }},
        {"a pipe at the lock file",
         [&](const std::string& folder) {
             ours(folder);
             EXPECT_EQ(::mkfifo((folder + "/" + name).c_str(), 0600), 0);
             return "Couldn't open " + folder + "/" + name;
         }},
    };
    int n = 0;
    for (const Case& c : cases) {
        const std::string folder = dir / ("case" + std::to_string(++n));
        const std::string expected = c.plant(folder);
        EXPECT_EQ(tltest::errorOf([&] { ProfileLaunchLock(folder, "k"); }).description(), expected)
            << c.what;
        EXPECT_FALSE(tltest::exists(folder + ".victim")) << c.what;
        holder.reset();
    }
}

TEST(LaunchLockBesideAnotherUser, AFolderItMakesIsPrivateAndItsLockOutOfTheirReach) {
    tltest::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    tltest::TempDir dir;
    ::chmod(dir.path().c_str(), 0711);
    const std::string support = dir / "Library/Application Support/TwinLantern";
    const mode_t previous = ::umask(0);
    std::optional<ProfileLaunchLock> lock;
    lock.emplace(support + "/desktop", "k");
    ::umask(previous);
    for (const std::string& folder :
         {dir / "Library", dir / "Library/Application Support", support, support + "/desktop"}) {
        EXPECT_EQ(tltest::fileMode(folder), 0700u) << folder;
    }
    EXPECT_EQ(tltest::fileMode(lock->path()), 0600u);
    lock->release();
    // They can neither take the lock nor put anything beside it.
    const std::string path = lock->path();
    EXPECT_EQ(other.run([&] {
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
        const int made = ::mkdir((support + "/desktop/x").c_str(), 0777);
        return fd < 0 && made != 0 ? 0 : 1;
    }),
              0);
    EXPECT_TRUE(ProfileLaunchLock(support + "/desktop", "k", 0ms).held());
}

} // namespace
} // namespace twinlantern
