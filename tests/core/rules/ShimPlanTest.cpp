#include "core/rules/ShimPlan.h"

#include "core/tools/ToolRegistry.h"

#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct ShimPlanTest : ::testing::Test {
    TempHome home;
    ProfileDocument document;
    std::string work;

    void SetUp() override {
        document.profiles = {
            Profile(ProfileID("work"), "Work", ProfileColor::blue, std::nullopt,
                    {ToolKind::claudeCode, ToolKind::codex}, Profile::Storage::managed),
            Profile(ProfileID("mine"), "Mine", ProfileColor::green, std::nullopt,
                    {ToolKind::claudeCode, ToolKind::codex}, Profile::Storage::system),
            Profile(ProfileID("apps"), "Apps", ProfileColor::pink, std::nullopt,
                    {ToolKind::claudeDesktop}, Profile::Storage::managed),
        };
        work = home.dir / "work";
        makeDirs(work);
    }
    std::string folder(const char* tool) const {
        return home.paths.supportDirectory() + "/" + tool + "/work";
    }
    ShimPlan::Changes plan(const char* tool, const Environment& env, const char* profileID) {
        document.rules = {};
        if (profileID != nullptr) {
            document.rules = {{work, ProfileID(profileID)}};
        }
        return ShimPlan::changes(tool, env, work, document, home.paths);
    }
};

ShimPlan::Changes changes(Environment set, std::vector<std::string> unset,
                          std::optional<std::string> profile = std::nullopt) {
    ShimPlan::Changes c{std::move(set), std::move(unset), std::move(profile), std::nullopt};
    return c;
}

} // namespace

TEST_F(ShimPlanTest, NoProfile) {
    EXPECT_EQ(plan("claude", {{"CLAUDE_CONFIG_DIR", "/mine"}}, nullptr), changes({}, {}));
    EXPECT_EQ(
        plan("claude",
             {{"CLAUDE_CONFIG_DIR", "/old"},
              {"TWINLANTERN_PROFILE", "Old"},
              {"TWINLANTERN_MANAGED_VARS", "CLAUDE_CONFIG_DIR"}},
             nullptr),
        changes({}, {"CLAUDE_CONFIG_DIR", "TWINLANTERN_MANAGED_VARS", "TWINLANTERN_PROFILE"}));
    // The profile's tools leave this one out: treated as no profile.
    EXPECT_EQ(plan("claude", {}, "apps"), changes({}, {}));
    EXPECT_EQ(plan("foo", {{"TWINLANTERN_PROFILE", "x"}}, "work"), changes({}, {}));
}

TEST_F(ShimPlanTest, ManagedProfileApplies) {
    auto c = plan("claude", {}, "work");
    auto expected = changes({{"CLAUDE_CONFIG_DIR", folder("claude-code")},
                             {"TWINLANTERN_PROFILE", "Work"},
                             {"TWINLANTERN_MANAGED_VARS", "CLAUDE_CONFIG_DIR"}},
                            {}, "Work");
    expected.prepare = document.profiles[0];
    EXPECT_EQ(c, expected);

    // An outer shim's value is replaced.
    EXPECT_EQ(
        plan("claude",
             {{"CLAUDE_CONFIG_DIR", "/outer"}, {"TWINLANTERN_MANAGED_VARS", "CLAUDE_CONFIG_DIR"}},
             "work")
            .set.at("CLAUDE_CONFIG_DIR"),
        folder("claude-code"));

    // Another tool's managed variable stays listed.
    EXPECT_EQ(plan("claude", {{"CODEX_HOME", "/c"}, {"TWINLANTERN_MANAGED_VARS", ",,CODEX_HOME,"}},
                   "work")
                  .set.at("TWINLANTERN_MANAGED_VARS"),
              "CLAUDE_CONFIG_DIR,CODEX_HOME");
}

TEST_F(ShimPlanTest, UserExportWins) {
    EXPECT_EQ(
        plan("claude", {{"CLAUDE_CONFIG_DIR", "/mine"}, {"TWINLANTERN_PROFILE", "Stale"}}, "work"),
        changes({}, {"TWINLANTERN_PROFILE"}));
}

TEST_F(ShimPlanTest, SystemProfileRemovesOuterValue) {
    EXPECT_EQ(plan("codex", {{"CODEX_HOME", "/outer"}, {"TWINLANTERN_MANAGED_VARS", "CODEX_HOME"}},
                   "mine"),
              changes({{"TWINLANTERN_PROFILE", "Mine"}}, {"CODEX_HOME", "TWINLANTERN_MANAGED_VARS"},
                      "Mine"));
}

TEST_F(ShimPlanTest, InvalidIdAppliesNothing) {
    document.profiles[0].id = ProfileID("../../escape");
    EXPECT_EQ(plan("claude", {}, "../../escape"), changes({}, {}));
    EXPECT_EQ(
        plan("claude",
             {{"CLAUDE_CONFIG_DIR", "/outer"}, {"TWINLANTERN_MANAGED_VARS", "CLAUDE_CONFIG_DIR"}},
             "../../escape"),
        changes({}, {"CLAUDE_CONFIG_DIR", "TWINLANTERN_MANAGED_VARS"}));
}

TEST_F(ShimPlanTest, AppliedAndPrepare) {
    auto c = changes({{"A", "new"}, {"B", "b"}}, {"A", "C", "Z"});
    EXPECT_EQ(c.applied({{"A", "old"}, {"C", "c"}, {"D", "d"}}),
              (Environment{{"A", "new"}, {"B", "b"}, {"D", "d"}}));

    auto codex = plan("codex", {}, "work");
    const std::string config = folder("codex") + "/config.toml";
    makeDirs(folder("codex"));
    ShimPlan::prepare(codex, "codex", home.paths, {});
    EXPECT_TRUE(exists(config)); // folder present but no config.toml
    writeFile(config, "mine");
    ShimPlan::prepare(codex, "codex", home.paths, {});
    EXPECT_EQ(readFile(config), "mine");

    // A failing preparation is dropped: the shim still runs the tool.
    const std::string blocker = home.paths.supportDirectory() + "/claude-code";
    writeFile(blocker, "not a folder");
    EXPECT_NO_THROW(ShimPlan::prepare(plan("claude", {}, "work"), "claude", home.paths, {}));
    EXPECT_EQ(readFile(blocker), "not a folder");
    // A tool without an adapter prepares nothing.
    const auto before = folderEntries(home.paths.supportDirectory());
    EXPECT_NO_THROW(ShimPlan::prepare(plan("claude", {}, "work"), "foo", home.paths, {}));
    EXPECT_EQ(folderEntries(home.paths.supportDirectory()), before);
}

// Each terminal tool's shim points that tool, and only it, at its own folder, and prepares
// that folder with the tool's own adapter.
TEST_F(ShimPlanTest, EachTerminalToolUsesItsOwnAdapter) {
    for (ToolKind kind : terminalTools) {
        const ToolInfo& row = toolInfo(kind);
        SCOPED_TRACE(row.command);
        const std::string mine = folder(row.dataFolderName);
        const ShimPlan::Changes c = plan(row.command, {}, "work");
        EXPECT_EQ(ShimPlan::tool(row.command), kind);
        EXPECT_EQ(ShimPlan::variables(kind), std::vector<std::string>{row.configVariable});
        EXPECT_EQ(c.set.at(row.configVariable), mine);
        for (ToolKind other : terminalTools) {
            if (other != kind) {
                EXPECT_FALSE(c.set.contains(toolInfo(other).configVariable));
            }
        }

        ShimPlan::prepare(c, row.command, home.paths, {});
        const auto adapter = ToolRegistry::adapter(kind, ToolContext{home.paths, {}});
        EXPECT_TRUE(adapter->isPrepared(mine));
        for (ToolKind other : allToolKinds) {
            if (other != kind) {
                EXPECT_FALSE(exists(folder(dataFolderName(other)))) << rawValue(other);
            }
        }
        removeTree(home.paths.supportDirectory());
    }
}
