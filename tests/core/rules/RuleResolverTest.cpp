#include "core/rules/RuleResolver.h"

#include "core/base/PathUtil.h"

#include "tests/support/DeepFolders.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/OtherUser.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct RuleResolverTest : ::testing::Test {
    TempHome home;
    ProfileDocument document;

    void SetUp() override {
        document.profiles = {profile("work", "Work"), profile("home", "Home"),
                             profile("oss", "OSS")};
    }
    void TearDown() override { PathUtil::setCaseProbe({}); }

    std::string dir(const std::string& relative) {
        makeDirs(home.dir / relative);
        return home.dir / relative;
    }
    Resolution resolve(const std::string& path) const {
        return RuleResolver{document, home.home()}.resolve(path, home.home());
    }
    std::string profileAt(const std::string& path) const {
        auto r = resolve(path);
        return r.profile ? r.profile->id.rawValue : "";
    }
};

} // namespace

TEST_F(RuleResolverTest, DeepestRuleWinsAndFirstOnTies) {
    const std::string work = dir("work/deep/er");
    dir("workshop");
    ASSERT_EQ(::symlink(work.c_str(), (home.dir / "alias").c_str()), 0);
    document.rules = {{"/", ProfileID("oss")},
                      {"~/work/**", ProfileID("work")},
                      {home.dir / "alias", ProfileID("home")}, // same depth through a link
                      {"~/work/deep/", ProfileID("home")},
                      {"~/gone/**", ProfileID("missing")}};
    EXPECT_EQ(profileAt("~/workshop"), "oss"); // not inside work
    EXPECT_EQ(resolve("~/workshop").rule, (FolderRule{"/", ProfileID("oss")}));
    EXPECT_EQ(profileAt("~/work"), "work");
    EXPECT_EQ(profileAt("work/deep/er"), "home"); // relative to the base
    EXPECT_EQ(resolve("~/work/deep").source, Resolution::Source::folderRule);

    // Rules of equal depth through a link: the earlier one.
    document.rules = {{home.dir / "alias", ProfileID("home")},
                      {"~/work/deep/er", ProfileID("work")}};
    EXPECT_EQ(profileAt(home.dir / "alias"), "home");
}

TEST_F(RuleResolverTest, RuleFoldersAreExpandedAndNormalised) {
    const std::string work = dir("work/sub");
    const std::vector<std::string> written = {"~//work", "~/./work/sub/..", "~/work/x/../",
                                              "/" + work + "/sub/.."};
    for (const auto& path : written) {
        document.rules = {{"~", ProfileID("home")}, {path, ProfileID("work")}};
        EXPECT_EQ(profileAt(work), "work") << path;
        EXPECT_EQ(profileAt("~"), "home") << path;
    }
    document.rules = {{"~/", ProfileID("home")}, {"~work", ProfileID("work")}}; // not expanded
    EXPECT_EQ(profileAt(work), "home");
}

TEST_F(RuleResolverTest, CaseInsensitiveVolumesFoldCase) {
    dir("Work");
    document.rules = {{home.dir / "work", ProfileID("work")}};
    PathUtil::setCaseProbe([](const std::string&) { return std::optional<bool>(true); });
    EXPECT_EQ(profileAt("~/Work"), "");
    PathUtil::setCaseProbe([](const std::string&) { return std::optional<bool>(false); });
    EXPECT_EQ(profileAt("~/Work"), "work");
}

TEST_F(RuleResolverTest, DotfilePrecedence) {
    dir("rules/sub/leaf");
    document.rules = {{"~/rules", ProfileID("work")}};
    writeFile(home.dir / "rules/.twinlantern", "Home\n"); // same folder as the rule: loses
    EXPECT_EQ(profileAt("~/rules/sub/leaf"), "work");
    writeFile(home.dir / "rules/sub/.twinlantern", "# note\n\n   home  \n"); // below it: wins
    auto r = resolve("~/rules/sub/leaf");
    EXPECT_EQ(r.profile->id.rawValue, "home");
    EXPECT_EQ(r.source, Resolution::Source::dotfile);
    EXPECT_EQ(r.dotfilePath, home.dir / "rules/sub/.twinlantern");

    // A rule for a subfolder of the dotfile's folder wins.
    document.rules = {{"~/rules/sub/leaf", ProfileID("oss")}};
    EXPECT_EQ(profileAt("~/rules/sub/leaf"), "oss");
    EXPECT_EQ(profileAt("~/rules/sub"), "home");

    // Any dotfile below "/" beats a rule for "/".
    document.rules = {{"/", ProfileID("oss")}};
    EXPECT_EQ(profileAt("~/rules/sub/leaf"), "home");
}

TEST_F(RuleResolverTest, DotfileNamingNoProfileHidesFilesAbove) {
    dir("a/b");
    writeFile(home.dir / "a/.twinlantern", "Work\n");
    writeFile(home.dir / "a/b/.twinlantern", "Nobody # here\n");
    document.cliDefault = ProfileID("oss");
    auto r = resolve("~/a/b");
    EXPECT_EQ(r.source, Resolution::Source::cliDefault);
    EXPECT_EQ(r.profile->id.rawValue, "oss");
    EXPECT_EQ(r.warnings,
              std::vector<std::string>{home.dir / "a/b/.twinlantern" +
                                       " names \u201CNobody # here\u201D, but there's no "
                                       "profile with that name."});
    document.rules = {{"~/a", ProfileID("work")}};
    EXPECT_EQ(resolve("~/a/b").source, Resolution::Source::folderRule);
    EXPECT_EQ(resolve("~/a/b").warnings.size(), 1u);
}

TEST_F(RuleResolverTest, HostileDotfilesAreSkipped) {
    const std::string leaf = dir("top/fifo/folder/dangling/huge/badutf/comments/leaf");
    writeFile(home.dir / "top/.twinlantern", "Work\n");
    ASSERT_EQ(::mkfifo((home.dir / "top/fifo/.twinlantern").c_str(), 0644), 0);
    makeDirs(home.dir / "top/fifo/folder/.twinlantern");
    ASSERT_EQ(::symlink("nowhere", (home.dir / "top/fifo/folder/dangling/.twinlantern").c_str()),
              0);
    writeFile(home.dir / "top/fifo/folder/dangling/huge/.twinlantern",
              "Home\n" + std::string(4092, ' '));
    writeFile(home.dir / "top/fifo/folder/dangling/huge/badutf/.twinlantern", "Home\xC0\xAF\n");
    writeFile(home.dir / "top/fifo/folder/dangling/huge/badutf/comments/.twinlantern",
              "# a\n  \n\t# b\n");
    auto r = resolve(leaf);
    EXPECT_EQ(r.source, Resolution::Source::dotfile);
    EXPECT_EQ(r.dotfilePath, home.dir / "top/.twinlantern");
    EXPECT_TRUE(r.warnings.empty());
}

// The walk opens each folder relative to its parent, so depth is no limit.
TEST_F(RuleResolverTest, DotfilesBeyondPathMaxAreFound) {
    document.rules = {{"~/work/**", ProfileID("work")}};
    DeepFolder deep(dir("work"), 5000);
    deep.writeFile(".twinlantern", "Home\n");
    const std::string file = deep.path() + "/.twinlantern";
    Resolution r = resolve(deep.path());
    EXPECT_EQ(r.source, Resolution::Source::dotfile);
    EXPECT_EQ(r.profile->id.rawValue, "home");
    EXPECT_EQ(r.dotfilePath, file);

    deep.deepen(2000); // the working folder further down
    r = resolve(deep.path());
    EXPECT_EQ(r.profile->id.rawValue, "home");
    EXPECT_EQ(r.dotfilePath, file);
    deep.writeFile(".twinlantern", "OSS\n");
    EXPECT_EQ(profileAt(deep.path()), "oss");
}

// A file another user could have put there, or could swap, never chooses the account.
TEST_F(RuleResolverTest, DotfilesOtherUsersCouldWriteAreIgnored) {
    const OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    struct Case {
        const char* name;
        mode_t folderMode;
        bool folderTheirs;
        bool theirGroup; // the folder's group is the other user's
        bool fileTheirs;
        const char* why; // nullptr: the file counts
    };
    const Case cases[] = {
        {"their file, sticky shared folder", 01777, false, false, true, "another user owns it"},
        {"their file, open folder", 0777, false, false, true, "another user owns it"},
        {"my file, open folder", 0777, false, false, false, "other users can write to its folder"},
        {"my file, their group may write", 0770, false, true, false,
         "other users can write to its folder"},
        {"my file, their folder", 0755, true, false, false, "another user owns its folder"},
        {"my file, sticky shared folder", 01777, false, false, false, nullptr},
        {"my file, my own group may write", 0775, false, false, false, nullptr},
    };
    document.cliDefault = ProfileID("home");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        removeTree(home.dir / "shared");
        const std::string shared = dir("shared");
        const std::string mine = dir("shared/mine");
        const std::string file = shared + "/.twinlantern";
        writeFile(file, "Work\n");
        if (c.fileTheirs) {
            other.give(file);
        }
        if (c.folderTheirs) {
            other.give(shared);
        }
        if (c.theirGroup) {
            ASSERT_EQ(::chown(shared.c_str(), static_cast<uid_t>(-1), other.gid()), 0);
        }
        ASSERT_EQ(::chmod(shared.c_str(), c.folderMode), 0);
        const Resolution r = resolve(mine);
        if (c.why == nullptr) {
            EXPECT_EQ(r.source, Resolution::Source::dotfile);
            EXPECT_EQ(r.profile->id.rawValue, "work");
            EXPECT_TRUE(r.warnings.empty());
        } else {
            EXPECT_EQ(r.source, Resolution::Source::cliDefault);
            EXPECT_EQ(r.warnings, std::vector<std::string>{file + " is ignored: " + c.why + "."});
        }
        // A trusted file below it is found, and nothing above it is then named.
        writeFile(mine + "/.twinlantern", "OSS\n");
        EXPECT_EQ(profileAt(mine), "oss");
        EXPECT_TRUE(resolve(mine).warnings.empty());
    }
    ASSERT_EQ(::chmod((home.dir / "shared").c_str(), 0700), 0);
}

TEST(RuleResolverRead, Reference) {
    TempDir dir;
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"Work", "Work"},
        {"\r\n\v\f# c\u2028 \u3000Team A\u00A0\u2029rest", "Team A"},
        {"\u0085x y\n", "x y"},
        {"#only\n#comments", std::nullopt},
        {"", std::nullopt},
        {std::string(4095, '\n') + "A", "A"}, // 4096 bytes is still fine
        {std::string(4096, '\n') + "A", std::nullopt},
        {"\xFF", std::nullopt},
    };
    for (const auto& [bytes, expected] : cases) {
        writeFile(dir / "f", bytes);
        EXPECT_EQ(RuleResolver::readReference(dir / "f"), expected) << bytes.size();
    }
    ASSERT_EQ(::symlink((dir / "f").c_str(), (dir / "link").c_str()), 0);
    writeFile(dir / "f", "Linked");
    EXPECT_EQ(RuleResolver::readReference(dir / "link"), "Linked");
}

TEST_F(RuleResolverTest, LinkedWorkingFolderTriesItsOwnPathFirst) {
    const std::string real = dir("real/project");
    dir("links");
    ASSERT_EQ(::symlink(real.c_str(), (home.dir / "links/project").c_str()), 0);
    writeFile(home.dir / "links/.twinlantern", "Work");
    writeFile(home.dir / "real/.twinlantern", "Home");
    EXPECT_EQ(profileAt(home.dir / "links/project"), "work");
    EXPECT_EQ(profileAt(real), "home");
    document.rules = {{"~/real/**", ProfileID("oss")}};
    EXPECT_EQ(profileAt(home.dir / "links/project"), "oss"); // rules match either form

    // Relative links with "..", and chains of them, resolve like realpath.
    dir("links/deeper");
    ASSERT_EQ(::symlink("../../real/./project", (home.dir / "links/deeper/rel").c_str()), 0);
    ASSERT_EQ(::symlink("deeper/rel", (home.dir / "links/chain").c_str()), 0);
    ASSERT_EQ(::symlink("loop", (home.dir / "links/loop").c_str()), 0);
    EXPECT_EQ(profileAt(home.dir / "links/deeper/rel"), "oss");
    EXPECT_EQ(profileAt(home.dir / "links/chain"), "oss");
    document.rules = {{"~/links/chain", ProfileID("home")}, {"~/links/loop", ProfileID("home")}};
    EXPECT_EQ(profileAt(real), "home");                    // the rule's folder is itself a link
    EXPECT_EQ(profileAt(home.dir / "links/loop"), "home"); // unresolvable: the path as given
}

TEST_F(RuleResolverTest, NothingApplies) {
    document.cliDefault = ProfileID("deleted");
    auto r = resolve("~");
    EXPECT_EQ(r, Resolution{});
}

TEST_F(RuleResolverTest, ManyRulesInOneFolder) {
    // Enough siblings that the folder is listed once instead of asked per rule.
    const std::string target = dir("target/inner");
    for (int i = 0; i < 12; ++i) {
        document.rules.push_back({"~/many/missing" + std::to_string(i), ProfileID("oss")});
        document.rules.push_back({"~/many/dir" + std::to_string(i), ProfileID("home")});
        dir("many/dir" + std::to_string(i));
    }
    ASSERT_EQ(::symlink("../target", (home.dir / "many/zlink").c_str()), 0);
    document.rules.push_back({"~/many/zlink", ProfileID("work")});
    EXPECT_EQ(profileAt(target), "work");
    EXPECT_EQ(profileAt(home.dir / "many/dir11"), "home");
    EXPECT_EQ(profileAt(home.dir / "many/missing3/x"), "oss");
}

TEST(RuleResolverRead, HostileReferenceFilesAreSkippedAtOnce) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const std::string file = dir / ".twinlantern";
        makeHostile(c.kind, file, 4096, "Work\n");
        const FolderSnapshot before = snapshot(file);
        const auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(RuleResolver::readReference(file), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_EQ(snapshot(file), before);
    }
}
