#include "core/base/TwinLanternError.h"
#include "core/tools/ClaudeCodeAdapter.h"
#include "core/tools/CodexAdapter.h"
#include "core/tools/ToolRegistry.h"

#include "tests/support/TestSupport.h"

#include "tests/support/ErrorOf.h"
#include "tests/support/HostileFiles.h"
#include "tests/support/Profiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct ToolAdapterTest : ::testing::Test {
    TempHome home;
    ToolContext context{home.paths, {{"PATH", home.dir / "bin"}}};
    ClaudeCodeAdapter claude{context};
    CodexAdapter codex{context};
};

} // namespace

TEST_F(ToolAdapterTest, DataFolderLifecycle) {
    const Profile work = profile("work");
    const std::string folder = home.paths.supportDirectory() + "/claude-code/work";
    EXPECT_EQ(claude.dataDirectory(work), folder);
    EXPECT_EQ(claude.createDataDirectory(work), folder);
    EXPECT_EQ(fileMode(folder), 0700u);
    EXPECT_EQ(claude.createDataDirectory(work), folder); // existing is fine
    writeFile(folder + "/inner/file", "x");
    claude.deleteDataDirectory(work);
    EXPECT_FALSE(exists(folder));
    claude.deleteDataDirectory(work); // missing is fine

    const Profile system = profile("sys", Profile::Storage::system);
    EXPECT_EQ(claude.dataDirectory(system), std::nullopt);
    EXPECT_EQ(claude.createDataDirectory(system), std::nullopt);
    claude.deleteDataDirectory(system);
    EXPECT_EQ(claude.environment(system), Environment{});
}

TEST_F(ToolAdapterTest, DataFolderFailures) {
    writeFile(home.paths.supportDirectory() + "/codex", "a file where a folder belongs");
    const std::string folder = home.paths.supportDirectory() + "/codex/work";
    EXPECT_EQ(errorOf([&] { codex.createDataDirectory(profile("work")); }).description(),
              "Couldn't create " + folder + ": " + std::strerror(ENOTDIR));
    EXPECT_EQ(errorOf([&] { claude.launch(profile("work")); }).description(),
              "Claude Code runs in your terminal; there's nothing to launch.");
}

TEST_F(ToolAdapterTest, InvalidIdNeverBecomesAPath) {
    const std::string outside = home.dir / "victim";
    makeDirs(outside);
    const Profile bad = profile("../../../victim");
    EXPECT_EQ(claude.dataDirectory(bad), std::nullopt);
    EXPECT_EQ(claude.environment(bad), Environment{});
    EXPECT_EQ(codex.environment(bad), Environment{});
    EXPECT_EQ(errorOf([&] { claude.deleteDataDirectory(bad); }).kind(),
              TwinLanternError::Kind::unsafeDeletion);
    EXPECT_EQ(errorOf([&] { codex.prepare(bad); }).kind(), TwinLanternError::Kind::invalidProfile);
    EXPECT_TRUE(exists(outside));
}

TEST_F(ToolAdapterTest, EnvironmentsAndRegistry) {
    const Profile work = profile("work");
    EXPECT_EQ(
        claude.environment(work),
        (Environment{{"CLAUDE_CONFIG_DIR", home.paths.supportDirectory() + "/claude-code/work"}}));
    EXPECT_EQ(codex.environment(work),
              (Environment{{"CODEX_HOME", home.paths.supportDirectory() + "/codex/work"}}));

    auto adapters = ToolRegistry::cliAdapters(context);
    ASSERT_EQ(adapters.size(), 2u);
    EXPECT_EQ(adapters[0]->kind(), ToolKind::claudeCode);
    EXPECT_EQ(adapters[1]->kind(), ToolKind::codex);

    EXPECT_EQ(ToolRegistry::environment(nullptr, context), Environment{});
    const Profile codexOnly = profile("work", Profile::Storage::managed, {ToolKind::codex});
    EXPECT_EQ(ToolRegistry::environment(&codexOnly, context),
              (Environment{{"TWINLANTERN_PROFILE", "Work"},
                           {"CODEX_HOME", home.paths.supportDirectory() + "/codex/work"}}));
    const Profile system = profile("sys", Profile::Storage::system);
    EXPECT_EQ(ToolRegistry::environment(&system, context),
              (Environment{{"TWINLANTERN_PROFILE", "Work"}}));
}

TEST_F(ToolAdapterTest, CodexPrepareWritesConfigOnce) {
    const Profile work = profile("work");
    codex.prepare(work);
    const std::string config = home.paths.supportDirectory() + "/codex/work/config.toml";
    EXPECT_EQ(readFile(config), CodexAdapter::configText);
    EXPECT_EQ(tltest::fileMode(config), 0600u);
#ifdef __linux__
    // The keyring when it answers, else a private auth.json: sign-in works without one.
    EXPECT_TRUE(CodexAdapter::configText.ends_with("\ncli_auth_credentials_store = \"auto\"\n"));
#else
    EXPECT_EQ(CodexAdapter::configText.size(), 202u);
#endif
    writeFile(config, "model = \"mine\"\n");
    codex.prepare(work);
    EXPECT_EQ(readFile(config), "model = \"mine\"\n");

    // Whatever exists at config.toml is never replaced.
    const Profile other = profile("other");
    makeDirs(home.paths.supportDirectory() + "/codex/other/config.toml/x");
    codex.prepare(other);
    EXPECT_TRUE(exists(home.paths.supportDirectory() + "/codex/other/config.toml/x"));
}

TEST_F(ToolAdapterTest, BundledCodexFallback) {
    const std::string tail = "/Contents/Resources/codex-cli/bin/codex";
    const std::string hinted = home.dir / "Elsewhere/ChatGPT.app";
    auto candidates = CodexAdapter::bundledCandidates(home.paths);
    EXPECT_EQ(candidates,
              (std::vector<std::string>{home.paths.applicationsDirectory + "/ChatGPT.app" + tail,
                                        home.paths.applicationsDirectory + "/Codex.app" + tail,
                                        home.home() + "/Applications/ChatGPT.app" + tail,
                                        home.home() + "/Applications/Codex.app" + tail}));
    writeFile(CodexAdapter::bundledHintFile(home.paths), "/somewhere/not-an-app\n");
    EXPECT_EQ(CodexAdapter::bundledCandidates(home.paths).size(), 4u);
    writeFile(CodexAdapter::bundledHintFile(home.paths), "  " + hinted + "\n");
    EXPECT_EQ(CodexAdapter::bundledCandidates(home.paths).front(), hinted + tail);

    EXPECT_FALSE(codex.isInstalled());
    writeFile(hinted + tail, "#!/bin/sh\n", 0644); // not executable: skipped
    writeFile(home.paths.applicationsDirectory + "/Codex.app" + tail, "#!/bin/sh\n", 0755);
    EXPECT_EQ(codex.binaryPath(), home.paths.applicationsDirectory + "/Codex.app" + tail);
    EXPECT_TRUE(codex.usesBundledCodex());

    writeFile(home.dir / "bin/codex", "#!/bin/sh\n", 0755);
    EXPECT_EQ(codex.binaryPath(), home.dir / "bin/codex");
    EXPECT_FALSE(codex.usesBundledCodex());
}

TEST(CodexHintFile, HostileHintFilesAreSkippedAtOnce) {
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        TempHome home;
        const std::string hint = CodexAdapter::bundledHintFile(home.paths);
        makeDirs(home.paths.supportDirectory());
        makeHostile(c.kind, hint, 64 * 1024, home.dir / "Elsewhere/ChatGPT.app");
        const FolderSnapshot before = snapshot(hint);
        const auto started = std::chrono::steady_clock::now();
        const auto candidates = CodexAdapter::bundledCandidates(home.paths);
        EXPECT_EQ(CodexAdapter::bundledCodex(home.paths), std::nullopt);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        ASSERT_EQ(candidates.size(), 4u);
        EXPECT_TRUE(candidates.front().starts_with(home.paths.applicationsDirectory));
        EXPECT_EQ(snapshot(hint), before);
    }
}
