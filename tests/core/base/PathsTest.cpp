#include "core/base/Paths.h"
#include "core/base/PathUtil.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;

TEST(PathUtil, Normalize) {
    struct Case {
        std::string path;
        std::optional<std::string> base;
        std::string expected;
    };
    const Case cases[] = {
        {"a/./b/../c", "/x", "/x/a/c"},
        {"/../..", std::nullopt, "/"},
        {"//a//b/", std::nullopt, "/a/b"},
        {"", std::nullopt, "/"},
        {"", "/base/", "/base"},
        {"~/x", "/h", "/h/~/x"},
        {"../../..", "/a/b", "/"},
        {"/a/b/..", "/x", "/a"},
        // Paths already in normal form pass through whole; near misses do not.
        {"/a/.b/..c", std::nullopt, "/a/.b/..c"},
        {"/a/b/.", std::nullopt, "/a/b"},
        {"c", "/a/./b", "/a/b/c"},
        {"b", "a", "/a/b"},
        {"/a/b", "/x", "/a/b"},
        {"x/..", "/a/b//", "/a/b"},
    };
    for (const auto& c : cases) {
        std::optional<std::string_view> base;
        if (c.base) {
            base = *c.base;
        }
        EXPECT_EQ(PathUtil::normalize(c.path, base), c.expected) << c.path;
    }
}

TEST(PathUtil, StringOperations) {
    EXPECT_EQ(PathUtil::expandTilde("~", "/Users/me"), "/Users/me");
    EXPECT_EQ(PathUtil::expandTilde("~/x", "/Users/me"), "/Users/me/x");
    EXPECT_EQ(PathUtil::expandTilde("~bob/x", "/Users/me"), "~bob/x");
    EXPECT_EQ(PathUtil::expandTilde("x/~", "/Users/me"), "x/~");

    EXPECT_EQ(PathUtil::parent("/a/b"), "/a");
    EXPECT_EQ(PathUtil::parent("/a"), "/");
    EXPECT_EQ(PathUtil::parent("a/b"), "a");
    EXPECT_EQ(PathUtil::parent("/a/b/"), "/a/b");
    EXPECT_EQ(PathUtil::parent("plain"), "/");
    EXPECT_EQ(PathUtil::parent("/"), "/");

    EXPECT_EQ(PathUtil::join("/", "x/y"), "/x/y");
    EXPECT_EQ(PathUtil::join("/home/me", ".twinlantern/bin"), "/home/me/.twinlantern/bin");
    EXPECT_EQ(PathUtil::join("/a", ""), "/a/");

    EXPECT_EQ(PathUtil::componentCount("/"), 0u);
    EXPECT_EQ(PathUtil::componentCount("/a/b"), 2u);
    EXPECT_EQ(PathUtil::componentCount("a//b/"), 2u);

    EXPECT_EQ(PathUtil::lastComponent("/usr/bin/claude"), "claude");
    EXPECT_EQ(PathUtil::lastComponent("claude"), "claude");
    EXPECT_EQ(PathUtil::lastComponent("/home/me/.zshrc/"), ".zshrc");
    EXPECT_EQ(PathUtil::lastComponent("/"), "");
}

TEST(PathUtil, IsSameOrInside) {
    struct Case {
        std::string path, ancestor;
        bool caseSensitive, expected;
    };
    const Case cases[] = {
        {"/a/b", "/a", true, true},        {"/ab", "/a", true, false},
        {"/A/b", "/a", true, false},       {"/A/b", "/a", false, true},
        {"/anything", "/", true, true},    {"/work", "/work", true, true},
        {"/work2", "/work", false, false}, {"/\u00c9t\u00e9/x", "/\u00e9t\u00e9", false, true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PathUtil::isSameOrInside(c.path, c.ancestor, c.caseSensitive), c.expected)
            << c.path << " in " << c.ancestor;
    }
}

TEST(PathUtil, CaseSensitivityWalksUpToAnAnswer) {
    std::vector<std::string> asked;
    PathUtil::setCaseProbe([&](const std::string& p) -> std::optional<bool> {
        asked.push_back(p);
        if (p == "/vol") {
            return false;
        }
        return std::nullopt;
    });
    EXPECT_FALSE(PathUtil::isCaseSensitiveVolume("/vol/missing/deeper"));
    EXPECT_EQ(asked, (std::vector<std::string>{"/vol/missing/deeper", "/vol/missing", "/vol"}));
    PathUtil::setCaseProbe([](const std::string&) -> std::optional<bool> { return std::nullopt; });
    EXPECT_TRUE(PathUtil::isCaseSensitiveVolume("/nowhere/at/all"));
    PathUtil::setCaseProbe({});

    tltest::TempDir dir;
    EXPECT_TRUE(
        PathUtil::isCaseSensitiveVolume(dir / "not/yet/there")); // tmpfs or ext4 without casefold
}

TEST(PathUtil, FileTests) {
    tltest::TempDir dir;
    tltest::writeFile(dir / "plain", "x", 0644);
    tltest::writeFile(dir / "tool", "#!/bin/sh\n", 0755);
    EXPECT_TRUE(PathUtil::isRegularFile(dir / "plain"));
    EXPECT_FALSE(PathUtil::isExecutableFile(dir / "plain"));
    EXPECT_TRUE(PathUtil::isExecutableFile(dir / "tool"));
    EXPECT_TRUE(PathUtil::isDirectory(dir.path()));
    EXPECT_FALSE(PathUtil::isExecutableFile(dir.path()));
    EXPECT_FALSE(PathUtil::isRegularFile(dir / "missing"));
    EXPECT_EQ(PathUtil::realPath(dir / "missing"), std::nullopt);
    EXPECT_EQ(PathUtil::realPath(dir / "./plain"), dir / "plain");
    // Links are followed; a dangling one or a file taken for a folder has no real path.
    const std::string real = PathUtil::realPath(dir.path()).value();
    ASSERT_EQ(::symlink("plain", (dir / "link").c_str()), 0);
    ASSERT_EQ(::symlink("gone", (dir / "dangling").c_str()), 0);
    EXPECT_EQ(PathUtil::realPath(dir / "link"), real + "/plain");
    EXPECT_EQ(PathUtil::realPath(dir / "dangling"), std::nullopt);
    EXPECT_EQ(PathUtil::realPath(dir / "plain/x"), std::nullopt);
    EXPECT_EQ(PathUtil::realPath("/"), "/");
}

TEST(Paths, DerivedLocations) {
    Paths p("/Users/me/", "/Applications");
    EXPECT_EQ(p.home, "/Users/me");
    EXPECT_EQ(p.supportDirectory(), "/Users/me/Library/Application Support/TwinLantern");
    EXPECT_EQ(p.profilesFile(), p.supportDirectory() + "/profiles.json");
    EXPECT_EQ(p.lockFile(), p.supportDirectory() + "/.profiles.lock");
    EXPECT_EQ(p.shimDirectory(), "/Users/me/.twinlantern/bin");
    EXPECT_EQ(p.dataDirectory(ToolKind::claudeDesktop, ProfileID("w")),
              p.supportDirectory() + "/desktop/w");
    EXPECT_EQ(p.dataDirectory(ToolKind::codex, ProfileID("w")), p.supportDirectory() + "/codex/w");

    EXPECT_EQ(p.abbreviate("/Users/me"), "~");
    EXPECT_EQ(p.abbreviate("/Users/me/x"), "~/x");
    EXPECT_EQ(p.abbreviate("/Users/meow"), "/Users/meow");
}

TEST(Paths, InvalidIdsNeverBecomePaths) {
    const Paths p("/Users/me", "/Applications");
    const std::string ids[] = {
        "",
        "..",
        ".",
        "../../x",
        "a/b",
        "/etc",
        "Work",
        "-work",
        "w-",
        "a--b",
        "a b",
        "wörk",
        std::string(41, 'a'),
        std::string("a\0b", 3),
    };
    for (const std::string& id : ids) {
        for (ToolKind kind : allToolKinds) {
            EXPECT_EQ(p.dataDirectory(kind, ProfileID(id)), std::nullopt)
                << '"' << id << "\" for " << rawValue(kind);
        }
    }
    EXPECT_EQ(p.dataDirectory(ToolKind::claudeCode, ProfileID(std::string(40, 'a'))),
              p.supportDirectory() + "/claude-code/" + std::string(40, 'a'));
}

TEST(Paths, InsideSupportDirectory) {
    for (const std::string home : {"/Users/me", "/"}) {
        Paths p(home, "/Applications");
        const std::string s = p.supportDirectory();
        EXPECT_FALSE(p.isInsideSupportDirectory(s)) << home;
        EXPECT_FALSE(p.isInsideSupportDirectory(s + "/")) << home;
        EXPECT_TRUE(p.isInsideSupportDirectory(s + "/codex/work")) << home;
        EXPECT_FALSE(p.isInsideSupportDirectory(s + "/codex/../../x")) << home;
        EXPECT_FALSE(p.isInsideSupportDirectory(s + "/../TwinLantern")) << home;
        EXPECT_FALSE(p.isInsideSupportDirectory("Library/Application Support/TwinLantern/x"))
            << home;
        EXPECT_FALSE(p.isInsideSupportDirectory("/elsewhere")) << home;
    }
    // A home of "/" must still give clean paths.
    EXPECT_EQ(Paths("/", "/Applications").supportDirectory(),
              "/Library/Application Support/TwinLantern");
    EXPECT_EQ(Paths("//", "/Applications").shimDirectory(), "/.twinlantern/bin");
}

TEST(Paths, ForCurrentUser) {
    EXPECT_EQ(Paths::forCurrentUser({{"HOME", "/tmp/someone/"}}).home, "/tmp/someone");
    Paths relative = Paths::forCurrentUser({{"HOME", "relative/home"}});
    EXPECT_TRUE(relative.home.starts_with("/"));
    EXPECT_EQ(relative, Paths::forCurrentUser({}));
    EXPECT_EQ(relative.applicationsDirectory, "/Applications");
}
