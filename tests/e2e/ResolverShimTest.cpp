#include "tests/e2e/ShimFixture.h"
#include "tests/support/Profiles.h"

#include "core/base/Json.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/profiles/ProfileStore.h"
#include "tests/support/DeepFolders.h"
#include "tests/support/HostileFiles.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include <nlohmann/json.hpp>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct ResolverShimTest : ShimFixture {
    std::string project;
    void SetUp() override {
        ShimFixture::SetUp();
        project = dir("src/project");
        ProfileDocument document;
        document.profiles = {profile("work", "Work"), profile("home", "Home"),
                             profile("mine", "Mine", Profile::Storage::system)};
        document.rules = {{"~/src/**", ProfileID("work")}};
        document.cliDefault = ProfileID("home");
        store(document);
    }
    std::string dataFolder(const char* tool, const char* id) const {
        return home.paths.supportDirectory() + "/" + tool + "/" + id;
    }
    Environment envWith(const Environment& extra) const {
        Environment env = baseEnv();
        for (const auto& [k, v] : extra) {
            env[k] = v;
        }
        return env;
    }
};

} // namespace

TEST_F(ResolverShimTest, ProfileByRuleDotfileDefaultOrNone) {
    dir("src/project/personal");
    writeFile(home.dir / "src/project/personal/.twinlantern", "# mine\nhome\n");
    struct Case {
        std::string cwd;
        std::string profileName, configDir;
    };
    const Case cases[] = {
        {project, "Work", dataFolder("claude-code", "work")},
        {home.dir / "src/project/personal", "Home", dataFolder("claude-code", "home")},
        {home.home(), "Home", dataFolder("claude-code", "home")}, // terminal default
    };
    for (const auto& c : cases) {
        RunResult r = runShim("claude", {"-p", "hi"}, baseEnv(), c.cwd);
        ASSERT_EQ(r.exitCode, 0) << r.err;
        auto got = received(claudeTool);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->argv, (std::vector<std::string>{claudeTool, "-p", "hi"}));
        EXPECT_EQ(got->env.at("TWINLANTERN_PROFILE"), c.profileName) << c.cwd;
        EXPECT_EQ(got->env.at("CLAUDE_CONFIG_DIR"), c.configDir) << c.cwd;
        EXPECT_EQ(got->env.at("TWINLANTERN_MANAGED_VARS"), "CLAUDE_CONFIG_DIR");
        EXPECT_EQ(got->env.at("TWINLANTERN_SHIM_DEPTH"), "1");
        EXPECT_TRUE(PathUtil::isDirectory(c.configDir)) << "prepared before the tool runs";
    }

    ProfileDocument none;
    none.profiles = {profile("work", "Work")};
    store(none);
    ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
    auto expected = baseEnv();
    expected["TWINLANTERN_SHIM_DEPTH"] = "1";
    EXPECT_EQ(received(claudeTool)->env, expected);
}

TEST_F(ResolverShimTest, ExportedVariableLeftAloneSystemProfileRemovesOuterValue) {
    ASSERT_EQ(runShim("claude", {}, envWith({{"CLAUDE_CONFIG_DIR", "/mine"}}), project).exitCode,
              0);
    auto got = received(claudeTool);
    EXPECT_EQ(got->env.at("CLAUDE_CONFIG_DIR"), "/mine");
    EXPECT_FALSE(got->env.contains("TWINLANTERN_PROFILE"));

    writeFile(project + "/.twinlantern", "Mine");
    const Environment outer = envWith({{"CODEX_HOME", "/outer"},
                                       {"TWINLANTERN_MANAGED_VARS", "CODEX_HOME"},
                                       {"TWINLANTERN_PROFILE", "Work"}});
    ASSERT_EQ(runShim("codex", {}, outer, project).exitCode, 0);
    got = received(codexTool);
    EXPECT_FALSE(got->env.contains("CODEX_HOME"));
    EXPECT_FALSE(got->env.contains("TWINLANTERN_MANAGED_VARS"));
    EXPECT_EQ(got->env.at("TWINLANTERN_PROFILE"), "Mine");
}

TEST_F(ResolverShimTest, DepthGuard) {
    const std::pair<std::string, std::string> runs[] = {
        {"3", "4"}, {"x3", "1"}, {"-2", "-1"}, {"+1", "2"}};
    for (const auto& [depth, child] : runs) {
        ASSERT_EQ(
            runShim("claude", {}, envWith({{"TWINLANTERN_SHIM_DEPTH", depth}}), project).exitCode,
            0);
        EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_SHIM_DEPTH"), child) << depth;
    }
    ::unlink((claudeTool + ".fake/argv").c_str()); // forget the runs above
    RunResult r = runShim("claude", {}, envWith({{"TWINLANTERN_SHIM_DEPTH", "4"}}), project);
    EXPECT_EQ(r.exitCode, 127);
    EXPECT_EQ(r.err,
              "twinlantern: `claude` keeps resolving to a shim. Run `twinlantern doctor`.\n");
    EXPECT_FALSE(received(claudeTool));
}

TEST_F(ResolverShimTest, OwnFoldersAreSkipped) {
    ASSERT_EQ(::symlink(home.paths.shimDirectory().c_str(), (home.dir / "shimlink").c_str()), 0);
    const std::string other = dir("otherbin");
    ASSERT_EQ(::symlink(resolver().c_str(), (other + "/claude").c_str()), 0);
    const std::string path = home.paths.shimDirectory() + ":" + home.dir / "shimlink" + ":" +
                             other + ":" + std::string(TL_HELPERS_DIR) + ":" + tools;
    RunResult r =
        run(other + "/claude", {other + "/claude", "x"}, envWith({{"PATH", path}}), project);
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(received(claudeTool)->argv, (std::vector<std::string>{claudeTool, "x"}));
}

TEST_F(ResolverShimTest, MissingToolAndBadExecutable) {
    const Environment noTools = envWith({{"PATH", home.paths.shimDirectory() + ":/nonexistent"}});
    RunResult r = runShim("claude", {}, noTools, project);
    EXPECT_EQ(r.exitCode, 127);
    EXPECT_EQ(r.err,
              "twinlantern: couldn't find the real `claude` on your PATH. Is it installed?\n");

    const std::string junk = dir("junk") + "/claude";
    writeFile(junk, "\x01\x02 not a program", 0755);
    r = runShim("claude", {}, envWith({{"PATH", home.dir / "junk"}}), project);
    EXPECT_EQ(r.exitCode, 126);
    EXPECT_EQ(r.err, "twinlantern: couldn't run " + junk + ": " + std::strerror(ENOEXEC) + "\n");
}

TEST_F(ResolverShimTest, DisabledOrRemovedAppChangesOnlyTheDepth) {
    auto unchanged = baseEnv();
    unchanged["TWINLANTERN_SHIM_DEPTH"] = "1";
    ASSERT_EQ(runShim("claude", {}, envWith({{"TWINLANTERN_DISABLE", "1"}}), project).exitCode, 0);
    auto expected = unchanged;
    expected["TWINLANTERN_DISABLE"] = "1";
    EXPECT_EQ(received(claudeTool)->env, expected);
    EXPECT_EQ(run(resolver(), {"twinlantern-resolve", "--prompt"},
                  envWith({{"TWINLANTERN_DISABLE", "1"}}), project)
                  .out,
              "");
    // Any other value does not disable.
    ASSERT_EQ(runShim("claude", {}, envWith({{"TWINLANTERN_DISABLE", "true"}}), project).exitCode,
              0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");

    writeFile(home.dir / ".twinlantern/app-path", "  " + home.dir / "Applications/Gone.app\n");
    ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env, unchanged);
    writeFile(home.dir / ".twinlantern/app-path", " \n");
    ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");

    // Another name passes through with only the depth added.
    writeFile(home.dir / ".twinlantern/app-path", "");
    ASSERT_EQ(runShim("foo", {"a"}, envWith({{"TWINLANTERN_PROFILE", "x"}}), project).exitCode, 0);
    expected = unchanged;
    expected["TWINLANTERN_PROFILE"] = "x";
    EXPECT_EQ(received(fooTool)->env, expected);
}

TEST_F(ResolverShimTest, CodexFallsBackToTheAppsCopy) {
    ::unlink(codexTool.c_str());
    const std::string bundled =
        fakeTool(home.dir / "Applications/ChatGPT.app/Contents/Resources/codex-cli/bin", "codex");
    ASSERT_EQ(runShim("codex", {"login"}, baseEnv(), project).exitCode, 0);
    auto got = received(bundled);
    ASSERT_TRUE(got);
    EXPECT_EQ(got->argv, (std::vector<std::string>{bundled, "login"}));
    EXPECT_EQ(got->env.at("CODEX_HOME"), dataFolder("codex", "work"));
    EXPECT_TRUE(exists(dataFolder("codex", "work") + "/config.toml"));

    ::unlink(claudeTool.c_str()); // no such fallback for claude
    EXPECT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 127);
}

TEST_F(ResolverShimTest, LinkedWorkingFolderUsesTheLogicalPath) {
    const std::string elsewhere = dir("elsewhere/repo");
    ASSERT_EQ(::symlink(elsewhere.c_str(), (project + "/linked").c_str()), 0);
    const std::string logical = project + "/linked";
    ASSERT_EQ(runShim("claude", {}, envWith({{"PWD", logical}}), logical).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");
    // A PWD naming another folder is not believed.
    ASSERT_EQ(runShim("claude", {}, envWith({{"PWD", project}}), logical).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Home");
}

TEST_F(ResolverShimTest, DeepWorkingFolderResolves) {
    std::string deep = project;
    while (deep.size() < 1600) {
        deep += "/" + std::string(60, 'd');
    }
    makeDirs(deep);
    ASSERT_EQ(runShim("claude", {}, baseEnv(), deep).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");
}

TEST_F(ResolverShimTest, DotfileDeeperThanPathMaxIsFound) {
    DeepFolder deep(project, 5000);
    deep.writeFile(".twinlantern", "Home\n");
    deep.deepen(2000);
    const DeepFolder::Inside inside(deep); // no path reaches it: the run starts here
    ASSERT_EQ(run(shim("claude"), {"claude"}, baseEnv(), "").exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Home");
    EXPECT_EQ(run(resolver(), {"twinlantern-resolve", "--prompt"}, baseEnv(), "").out, "Home\n");
}

TEST_F(ResolverShimTest, ArgumentsPassByteForByte) {
    const std::vector<std::string> args = {
        "", " spaced  out ", "line\nbreak", "\xff\xfe", "--prompt", "'$HOME'", "*"};
    ASSERT_EQ(runShim("claude", args, baseEnv(), project).exitCode, 0);
    std::vector<std::string> expected{claudeTool};
    expected.insert(expected.end(), args.begin(), args.end());
    EXPECT_EQ(received(claudeTool)->argv, expected);
}

TEST_F(ResolverShimTest, DirectMode) {
    const std::string self = "twinlantern-resolve";
    dir("src/project/sub");
    writeFile(home.dir / "src/project/sub/.twinlantern", "Nobody");
    RunResult r =
        run(resolver(), {self, "--prompt", "extra"}, baseEnv(), home.dir / "src/project/sub");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Work\n");
    EXPECT_EQ(r.err, ""); // warnings are not shown

    r = run(resolver(), {self, "--version"}, baseEnv(), project);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "twinlantern-resolve 0.1.0\n");

    const std::string usage = "twinlantern: this is TwinLantern's shim. Run it as `claude` or "
                              "`codex` (via ~/.twinlantern/bin), or with --prompt.\n";
    for (const std::vector<std::string>& argv : std::vector<std::vector<std::string>>{
             {self}, {self, "--PROMPT"}, {"/some/where/" + self, "help"}}) {
        r = run(resolver(), argv, baseEnv(), project);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, usage);
    }
    r = run(resolver(), {}, baseEnv(), project, true);
    EXPECT_EQ(r.exitCode, 2);
    EXPECT_EQ(r.err, usage);
}

TEST_F(ResolverShimTest, HostileDotfilesNeverHang) {
    const std::string leaf = dir("src/project/a/b/c/d");
    ASSERT_EQ(::mkfifo((project + "/a/b/c/d/.twinlantern").c_str(), 0644), 0);
    makeDirs(project + "/a/b/c/.twinlantern");
    ASSERT_EQ(::symlink("missing", (project + "/a/b/.twinlantern").c_str()), 0);
    writeFile(project + "/a/.twinlantern", std::string(4097, 'x'));
    writeFile(project + "/.twinlantern", "\xC3\x28 Home");
    writeFile(home.dir / "src/.twinlantern", "# only\n# comments\n");
    RunResult r = run(resolver(), {"twinlantern-resolve", "--prompt"}, baseEnv(), leaf);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "Work\n");
    ASSERT_EQ(runShim("claude", {}, baseEnv(), leaf).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");
}

// Non-ASCII names and folders through the built resolver, whose ICU data is cut to what
// it uses: badges made from whole characters on reading, names in `.twinlantern` files
// matched by full case folding, rules on accented folders.
TEST_F(ResolverShimTest, NonAsciiNamesAndFolders) {
    const std::string family = "\U0001F469\u200D\U0001F469\u200D\U0001F467";
    auto profileJson = [](const std::string& id, const std::string& name) {
        return R"({"id": ")" + id + R"(", "name": ")" + name +
               R"(", "color": "blue", "tools": ["claude-code"], "storage": "managed"})";
    };
    const std::string school = "\u00C9cole"; // École
    makeDirs(home.paths.supportDirectory());
    writeFile(home.paths.profilesFile(),
              R"({"version": 1, "profiles": [)" + profileJson("street", "Stra\u00DFe") + "," +
                  profileJson("school", school) + "," + profileJson("family", family + " team") +
                  R"(], "rules": [{"path": "~/src/)" + school + R"(/**", "profileID": "school"}]})",
              0600);
    const std::string inRule = dir("src/" + school + "/caf\u00E9");
    const std::string street = dir("src/" + school + "/rue");
    const std::string together = dir("src/ensemble");
    writeFile(street + "/.twinlantern", "STRASSE\n");
    writeFile(together + "/.twinlantern", family + " TEAM\n");
    struct Case {
        std::string cwd, name, id;
    };
    const Case cases[] = {
        {inRule, school, "school"},
        {street, "Stra\u00DFe", "street"},
        {together, family + " team", "family"},
    };
    for (const auto& c : cases) {
        RunResult r = run(resolver(), {"twinlantern-resolve", "--prompt"}, baseEnv(), c.cwd);
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.name + "\n") << c.cwd;
        ASSERT_EQ(runShim("claude", {}, baseEnv(), c.cwd).exitCode, 0);
        auto got = received(claudeTool);
        ASSERT_TRUE(got);
        EXPECT_EQ(got->env.at("TWINLANTERN_PROFILE"), c.name);
        EXPECT_EQ(got->env.at("CLAUDE_CONFIG_DIR"), dataFolder("claude-code", c.id.c_str()));
    }
}

// Removing a fixture never reaches through its links: the shims link to the built
// resolver, and shell tests link to /dev/null.
TEST(TempHomeRemoval, LeavesLinkTargetsAlone) {
    TempDir outside;
    const std::string target = outside / "target";
    writeFile(target, "x", 0644);
    {
        TempHome home;
        makeDirs(home.dir / "sub");
        ASSERT_EQ(::symlink(target.c_str(), (home.dir / "sub/link").c_str()), 0);
    }
    EXPECT_EQ(fileMode(target), 0644u);
    EXPECT_EQ(folderEntries(outside.path()), std::vector<std::string>{"target"});
}

TEST_F(ResolverShimTest, HostileProfilesFileRunsTheToolUnchangedAtOnce) {
    auto unchanged = baseEnv();
    unchanged["TWINLANTERN_SHIM_DEPTH"] = "1";
    ProfileDocument document;
    document.profiles = {profile("work", "Work")};
    document.rules = {{"~/src/**", ProfileID("work")}};
    const std::string validDocument = jsonText(nlohmann::json(document));
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        const std::string file = home.paths.profilesFile();
        removeTree(file);
        makeHostile(c.kind, file, ProfileStore::maxFileBytes, validDocument);
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
        EXPECT_EQ(received(claudeTool)->env, unchanged);
        const RunResult prompt =
            run(resolver(), {"twinlantern-resolve", "--prompt"}, baseEnv(), project);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_EQ(prompt.exitCode, 0);
        EXPECT_EQ(prompt.out, "");
    }
}

TEST_F(ResolverShimTest, HostileAppPathCountsAsUnreadableAndProfilesApply) {
    makeDirs(home.dir / ".twinlantern");
    for (const auto& c : hostileCases()) {
        SCOPED_TRACE(c.name);
        const std::string file = home.dir / ".twinlantern/app-path";
        removeTree(file);
        makeHostile(c.kind, file, 64 * 1024, home.dir / "Applications/Gone.app");
        const auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
        EXPECT_LT(std::chrono::steady_clock::now() - started, hostileReadBound);
        EXPECT_EQ(received(claudeTool)->env.at("TWINLANTERN_PROFILE"), "Work");
    }
}

TEST_F(ResolverShimTest, AWriteThatWouldPassTheReadLimitLeavesTheShimOnTheOldFile) {
    const std::string before = readFile(home.paths.profilesFile());
    ProfileStore writer(home.paths);
    EXPECT_THROW(writer.update([](ProfileDocument& d) {
        d.rules.push_back(
            {"/big" + std::string(ProfileStore::maxFileBytes, 'x'), ProfileID("home")});
    }),
                 TwinLanternError);
    EXPECT_EQ(readFile(home.paths.profilesFile()), before);
    ASSERT_EQ(runShim("claude", {}, baseEnv(), project).exitCode, 0);
    EXPECT_EQ(received(claudeTool)->env.at("CLAUDE_CONFIG_DIR"), dataFolder("claude-code", "work"));
}
