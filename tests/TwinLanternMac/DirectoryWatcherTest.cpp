#include "TwinLanternMac/services/DirectoryWatcher.h"

#include "platform/PollMainLoop.h"
#include "platform/test/VirtualTimeLoop.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using namespace twinlantern;
using namespace std::chrono_literals;
using platform::test::VirtualTimeLoop;

namespace {

std::size_t openDescriptors() {
    return tltest::folderEntries("/proc/self/fd").size();
}

class DirectoryWatcherTest : public ::testing::Test {
protected:
    // Watches `path` and notes the virtual time of every call.
    void watch(const std::string& path) {
        watcher = DirectoryWatcher::create(loop, path, [this] { calls.push_back(loop.elapsed()); });
        ASSERT_NE(watcher, nullptr);
    }
    void write(const std::string& name, std::string_view bytes = "x") {
        tltest::writeFile(folder + "/" + name, bytes);
    }

    tltest::TempDir dir;
    std::string folder = dir / "support";
    VirtualTimeLoop loop;
    std::unique_ptr<DirectoryWatcher> watcher;
    std::vector<VirtualTimeLoop::Duration> calls;
};

TEST_F(DirectoryWatcherTest, ABurstGivesOneCallAQuietPeriodAfterItsLastEvent) {
    watch(folder);
    write("a");
    loop.advance(50ms);
    write("b");
    loop.advance(50ms);
    write("c");
    loop.advance(149ms);
    EXPECT_TRUE(calls.empty());
    loop.advance(2s);
    EXPECT_EQ(calls, (std::vector<VirtualTimeLoop::Duration>{250ms}));
}

TEST_F(DirectoryWatcherTest, EventsFurtherApartThanTheQuietPeriodGiveACallEach) {
    watch(folder);
    write("a");
    loop.advance(200ms);
    write("b");
    loop.advance(2s);
    EXPECT_EQ(calls, (std::vector<VirtualTimeLoop::Duration>{150ms, 350ms}));
}

TEST_F(DirectoryWatcherTest, AnAtomicReplaceIsOneCall) {
    write("profiles.json", "old");
    watch(folder);
    // A temporary file beside the target, then renamed over it.
    write(".profiles.json.tmp", "new");
    std::filesystem::rename(folder + "/.profiles.json.tmp", folder + "/profiles.json");
    loop.advance(1s);
    EXPECT_EQ(calls, (std::vector<VirtualTimeLoop::Duration>{150ms}));
    // A file moved in from elsewhere, and one moved out, are entries too.
    tltest::writeFile(dir / "elsewhere", "x");
    std::filesystem::rename(dir / "elsewhere", folder + "/moved-in");
    loop.advance(1s);
    std::filesystem::rename(folder + "/moved-in", dir / "moved-out");
    loop.advance(1s);
    std::filesystem::remove(folder + "/profiles.json");
    loop.advance(1s);
    EXPECT_EQ(calls.size(), 4u);
}

TEST_F(DirectoryWatcherTest, RewritesInPlaceAndSubfoldersAreNotSeen) {
    write("profiles.json", "old");
    tltest::makeDirs(folder + "/sub");
    watch(folder);
    {
        std::ofstream rewrite(folder + "/profiles.json", std::ios::trunc);
        rewrite << "rewritten in place";
    }
    ::chmod((folder + "/profiles.json").c_str(), 0600);
    tltest::writeFile(folder + "/sub/file", "x");
    tltest::makeDirs(folder + "/sub/deeper");
    std::filesystem::remove(folder + "/sub/file");
    loop.advance(1s);
    EXPECT_TRUE(calls.empty());
}

TEST_F(DirectoryWatcherTest, AMissingNestedFolderIsCreatedAndWatched) {
    folder = dir / "a/b/c";
    watch(folder);
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    write("x");
    loop.advance(1s);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(DirectoryWatcherTest, AFolderThatCannotBeWatchedGivesNothingAndLeavesNothingOpen) {
    tltest::writeFile(dir / "file", "x");
    const std::size_t before = openDescriptors();
    for (const std::string& path : {dir / "file", dir / "file/below", dir / "file/below/more",
                                    std::string(), dir / std::string(5000, 'n')}) {
        SCOPED_TRACE(path.size() < 200 ? path : "a long name");
        EXPECT_EQ(DirectoryWatcher::create(loop, path, [] { ADD_FAILURE(); }), nullptr);
    }
    EXPECT_EQ(openDescriptors(), before);
    EXPECT_EQ(tltest::readFile(dir / "file"), "x");
    loop.advance(1s);
}

TEST_F(DirectoryWatcherTest, ReleasedWhilePendingTheHandlerNeverRuns) {
    auto owner = std::make_shared<int>(0);
    watcher = DirectoryWatcher::create(loop, folder, [weak = std::weak_ptr<int>(owner), &owner] {
        ASSERT_FALSE(weak.expired()) << "the handler ran after its owner went";
        ++*owner;
    });
    ASSERT_NE(watcher, nullptr);
    const std::size_t before = openDescriptors();
    write("a");
    loop.advance(100ms);
    watcher.reset();
    owner.reset();
    EXPECT_EQ(openDescriptors(), before - 1); // the inotify descriptor
    write("b");
    loop.advance(1s);
    EXPECT_FALSE(loop.hasTimers());
}

TEST_F(DirectoryWatcherTest, TheHandlerMayReleaseItsWatcher) {
    watcher = DirectoryWatcher::create(loop, folder, [this] {
        calls.push_back(loop.elapsed());
        watcher.reset();
    });
    ASSERT_NE(watcher, nullptr);
    write("a");
    loop.advance(1s);
    EXPECT_EQ(calls.size(), 1u);
    EXPECT_EQ(watcher, nullptr);
}

TEST_F(DirectoryWatcherTest, TheFolderDeletedIsOneCallAndThenQuiet) {
    write("a");
    write("b");
    watch(folder);
    std::filesystem::remove_all(folder);
    loop.advance(1s);
    EXPECT_EQ(calls, (std::vector<VirtualTimeLoop::Duration>{150ms}));
    // It comes back; noticing that is the owner's business, not the watcher's.
    tltest::makeDirs(folder);
    write("c");
    loop.advance(1s);
    EXPECT_EQ(calls.size(), 1u);
}

TEST_F(DirectoryWatcherTest, TheFolderMovedAwayIsOneCallAndItsLaterChangesAreNotOurs) {
    watch(folder);
    std::filesystem::rename(folder, dir / "moved");
    loop.advance(1s);
    EXPECT_EQ(calls, (std::vector<VirtualTimeLoop::Duration>{150ms}));
    tltest::writeFile(dir / "moved/file", "x");
    std::filesystem::remove(dir / "moved/file");
    tltest::makeDirs(folder);
    write("new");
    loop.advance(1s);
    EXPECT_EQ(calls.size(), 1u);
}

TEST(DirectoryWatcherPollLoop, ABurstGivesOneCallAQuietPeriodAfterItsLastEvent) {
    using Clock = std::chrono::steady_clock;
    tltest::TempDir dir;
    platform::PollMainLoop loop;
    std::vector<Clock::time_point> calls;
    auto watcher =
        DirectoryWatcher::create(loop, dir / "support", [&] { calls.push_back(Clock::now()); });
    ASSERT_NE(watcher, nullptr);
    tltest::writeFile(dir / "support/a", "x");
    loop.runFor(40ms);
    tltest::writeFile(dir / "support/b", "x");
    loop.runFor(40ms);
    tltest::writeFile(dir / "support/c", "x");
    const auto third = Clock::now();
    loop.runFor(600ms);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_GE(calls[0] - third, 150ms);
    EXPECT_LT(calls[0] - third, 450ms); // a loaded machine, not a second burst
}

} // namespace
