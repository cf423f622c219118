#include "core/base/FileUtil.h"

#include "tests/support/TestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>

using namespace twinlantern;
using namespace twinlantern::testing;

TEST(ReadWholeFile, TheLimitIsInclusiveAndFilesWithoutASizeAreReadToTheirEnd) {
    TempDir dir;
    writeFile(dir / "f", "12345");
    EXPECT_EQ(readWholeFile(dir / "f", 5).bytes, "12345");
    EXPECT_EQ(readWholeFile(dir / "f", 4).error, EFBIG);
    EXPECT_EQ(readWholeFile(dir / "f", 0).error, EFBIG);
    writeFile(dir / "empty", "");
    EXPECT_EQ(readWholeFile(dir / "empty", 0).bytes, "");
    // /proc files say they are empty: they are read up to the limit and no further.
    const ReadResult status = readWholeFile("/proc/self/status", 1 << 20);
    ASSERT_TRUE(status.bytes);
    EXPECT_TRUE(status.bytes->starts_with("Name:"));
    EXPECT_EQ(readWholeFile("/proc/self/status", 16).error, EFBIG);
}

TEST(WriteFileThroughLinks, ChainsAreFollowedToTheFileAtTheirEnd) {
    TempDir dir;
    makeDirs(dir / "dotfiles");
    ASSERT_EQ(::symlink("dotfiles/one", (dir / ".zshrc").c_str()), 0);
    ASSERT_EQ(::symlink("two", (dir / "dotfiles/one").c_str()), 0);
    EXPECT_EQ(finalLinkTarget(dir / ".zshrc"), dir / "dotfiles/two");

    // Dangling: the missing file is created, with newMode, and the links stay.
    EXPECT_EQ(writeFileThroughLinks(dir / ".zshrc", "a\n", 0640), 0);
    EXPECT_EQ(readFile(dir / "dotfiles/two"), "a\n");
    EXPECT_EQ(fileMode(dir / "dotfiles/two"), 0640u);
    struct stat st {};
    ASSERT_EQ(::lstat((dir / ".zshrc").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // Existing: replaced keeping its mode.
    ::chmod((dir / "dotfiles/two").c_str(), 0600);
    EXPECT_EQ(writeFileThroughLinks(dir / ".zshrc", "b\n", 0644), 0);
    EXPECT_EQ(readFile(dir / "dotfiles/two"), "b\n");
    EXPECT_EQ(fileMode(dir / "dotfiles/two"), 0600u);

    ASSERT_EQ(::symlink("loop", (dir / "loop").c_str()), 0);
    int error = 0;
    EXPECT_EQ(finalLinkTarget(dir / "loop", &error), std::nullopt);
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(writeFileThroughLinks(dir / "loop", "x", 0644), ELOOP);
}

TEST(WriteFileThroughLinks, APipeFolderOrDeviceIsNeverReplaced) {
    TempDir dir;
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    makeDirs(dir / "folder");
    ASSERT_EQ(::symlink("/dev/null", (dir / "device").c_str()), 0);
    EXPECT_EQ(writeFileThroughLinks(dir / "fifo", "x", 0644), EINVAL);
    EXPECT_EQ(writeFileThroughLinks(dir / "folder", "x", 0644), EISDIR);
    EXPECT_EQ(writeFileThroughLinks(dir / "device", "x", 0644), EINVAL);
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    ASSERT_EQ(::lstat((dir / "fifo").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST(RemoveTreeWithoutFollowing, LinksGoAsLinks) {
    TempDir dir;
    writeFile(dir / "outside/keep", "k");
    writeFile(dir / "tree/a/b", "x");
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "tree/a/link").c_str()), 0);
    EXPECT_EQ(removeTreeWithoutFollowing(dir / "tree"), 0);
    EXPECT_FALSE(exists(dir / "tree"));
    EXPECT_EQ(readFile(dir / "outside/keep"), "k");
    EXPECT_EQ(removeTreeWithoutFollowing(dir / "tree"), 0); // nothing there is fine
    // A link given as the tree goes itself; the folder it names stays whole.
    ASSERT_EQ(::symlink((dir / "outside").c_str(), (dir / "linked").c_str()), 0);
    EXPECT_EQ(removeTreeWithoutFollowing(dir / "linked"), 0);
    EXPECT_FALSE(exists(dir / "linked"));
    EXPECT_EQ(readFile(dir / "outside/keep"), "k");
    writeFile(dir / "file", "f");
    EXPECT_EQ(removeTreeWithoutFollowing(dir / "file/below"), ENOTDIR);
}
