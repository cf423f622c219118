#include "core/tools/BinaryLocator.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {
void tool(const std::string& path, mode_t mode = 0755) {
    writeFile(path, "#!/bin/sh\n", mode);
}
} // namespace

TEST(BinaryLocator, SkipsShimFolderAndLinksToIt) {
    TempHome home;
    const std::string shims = home.paths.shimDirectory();
    tool(shims + "/claude");
    tool(home.dir / "real/claude");
    ASSERT_EQ(::symlink(shims.c_str(), (home.dir / "shimlink").c_str()), 0);

    const Environment env{{"PATH", shims + ":" + home.dir / "shimlink" + ":" + home.dir / "real"}};
    BinaryLocator locator(env, home.paths);
    EXPECT_EQ(locator.find("claude"), home.dir / "real/claude");
    EXPECT_EQ(locator.findIncludingExcluded("claude"), shims + "/claude");
}

TEST(BinaryLocator, CandidatesThatDoNotCount) {
    TempHome home;
    makeDirs(home.dir / "a/claude");   // a folder
    tool(home.dir / "b/claude", 0644); // not executable
    ASSERT_EQ(::chdir(home.dir.path().c_str()), 0);
    tool(home.dir / "rel/claude"); // only reachable relatively
    tool(home.dir / "target/tool");
    makeDirs(home.dir / "c");
    ASSERT_EQ(::symlink((home.dir / "target/tool").c_str(), (home.dir / "c/claude").c_str()), 0);

    const std::string path = home.dir / "a" + ":" + home.dir / "b" + ":rel:.:" + home.dir / "c";
    // The link's own path is returned, not its target.
    EXPECT_EQ(BinaryLocator(path, {}).find("claude"), home.dir / "c/claude");
    EXPECT_EQ(BinaryLocator(home.dir / "a" + ":rel", {}).find("claude"), std::nullopt);
}

TEST(BinaryLocator, NormalisesEntriesAndDefaults) {
    TempHome home;
    tool(home.dir / "usr/local/bin/claude");
    const std::string want = home.dir / "usr/local/bin/claude";
    EXPECT_EQ(BinaryLocator(home.dir / "usr/local/bin/", {}).find("claude"), want);
    EXPECT_EQ(BinaryLocator(home.dir / "usr/local//bin", {}).find("claude"), want);

    EXPECT_EQ(BinaryLocator(Environment{}, home.paths).searchPath, "/usr/bin:/bin:/usr/sbin:/sbin");
    EXPECT_EQ(BinaryLocator(Environment{{"PATH", ""}}, home.paths).find("sh"), std::nullopt);
    EXPECT_EQ(BinaryLocator(Environment{}, home.paths).excludedDirectories,
              std::vector<std::string>{home.home() + "/.twinlantern/bin"});
}
