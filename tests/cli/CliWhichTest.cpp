// `twinlantern which` resolves as the shims do: never a different answer than the resolver.
#include "tests/cli/CliFixture.h"
#include "tests/support/DeepFolders.h"
#include "tests/support/OtherUser.h"

#include <gmock/gmock.h>

#include <sys/stat.h>
#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;

namespace {

class CliWhich : public CliFixture {
protected:
    void SetUp() override {
        CliFixture::SetUp();
        document = {
            1,
            {profile("work", "Work"), profile("client", "Client"), profile("personal", "Personal")},
            {FolderRule("~/work/**", ProfileID("work")),
             FolderRule("~/work/client/**", ProfileID("client")),
             FolderRule("~/proj/app/**", ProfileID("work")),
             FolderRule("~/linked/**", ProfileID("client"))},
            ProfileID("personal")};
        store(document);
    }

    // The profile `which` names for a tool: "" for none.
    static std::string profileFor(const std::string& out, const std::string& tool) {
        for (const std::string& line : lines(out)) {
            if (line.starts_with(tool + "  ")) {
                std::string rest = line.substr(8);
                return rest.starts_with("no profile") ? "" : rest.substr(0, rest.find(", "));
            }
        }
        ADD_FAILURE() << "no line for " << tool << " in:\n" << out;
        return "?";
    }

    ProfileDocument document;
};

TEST_F(CliWhich, AgreesWithTheResolverInEveryFolder) {
    dir("work/api");
    dir("work/client/site");
    dir("proj/app");
    writeFile(home.dir / "proj/.twinlantern", "# above the rule\nClient\n");
    dir("notes/acme");
    writeFile(home.dir / "notes/.twinlantern", "Work\n");
    dir("elsewhere");
    dir("real");
    ASSERT_EQ(::symlink((home.dir / "real").c_str(), (home.dir / "linked").c_str()), 0);

    struct Row {
        const char* name;
        std::string folder; // the physical folder to run in
        std::optional<std::string> pwd;
        bool noDefault = false;
        const char* expected;
    };
    const Row rows[] = {
        {"folder rule", home.dir / "work/api", {}, false, "Work"},
        {"deeper rule", home.dir / "work/client/site", {}, false, "Client"},
        {".twinlantern above a rule", home.dir / "proj/app", {}, false, "Work"},
        {".twinlantern file", home.dir / "notes/acme", {}, false, "Work"},
        {"terminal default", home.dir / "elsewhere", {}, false, "Personal"},
        {"none", home.dir / "elsewhere", {}, true, ""},
        {"symlinked folder with PWD", home.dir / "real", home.dir / "linked", false, "Client"},
        {"PWD naming another place", home.dir / "elsewhere", home.dir / "work", false, "Personal"},
    };
    for (const Row& row : rows) {
        ProfileDocument d = document;
        if (row.noDefault) {
            d.cliDefault.reset();
        }
        store(d);
        Environment e = env();
        if (row.pwd) {
            e["PWD"] = *row.pwd;
        }
        const RunResult which =
            runProgram(program(), {"twinlantern", "which"}, e, {.cwd = row.folder});
        const RunResult prompt =
            runProgram(resolver(), {"twinlantern-resolve", "--prompt"}, e, {.cwd = row.folder});
        ASSERT_EQ(which.exitCode, 0) << row.name << ": " << which.err;
        ASSERT_EQ(prompt.exitCode, 0) << row.name;
        const std::string fromPrompt =
            prompt.out.empty() ? "" : prompt.out.substr(0, prompt.out.size() - 1);
        EXPECT_EQ(profileFor(which.out, "claude"), fromPrompt) << row.name << "\n" << which.out;
        EXPECT_EQ(profileFor(which.out, "codex"), fromPrompt) << row.name;
        EXPECT_EQ(fromPrompt, row.expected) << row.name;
        // A folder given as the argument resolves the same as running in it.
        const bool logical = row.pwd && row.pwd->ends_with("linked");
        const RunResult given = run({"which", logical ? *row.pwd : row.folder}, e, home.home());
        EXPECT_EQ(profileFor(given.out, "claude"), fromPrompt) << row.name;
    }
}

TEST_F(CliWhich, SaysWhyAndWhetherTheShimComesFirst) {
    dir("work/api");
    dir("proj/x");
    writeFile(home.dir / "proj/.twinlantern", "Client\n");
    const RunResult rule = run({"which"}, {}, home.dir / "work/api");
    EXPECT_EQ(rule.out, "~/work/api\n"
                        "claude  Work, from the folder rule ~/work/**\n"
                        "        `claude` skips TwinLantern: PATH finds ~/tools/claude first, not "
                        "~/.twinlantern/bin/claude\n"
                        "codex   Work, from the folder rule ~/work/**\n"
                        "        `codex` skips TwinLantern: PATH finds ~/tools/codex first, "
                        "not ~/.twinlantern/bin/codex\n");
    EXPECT_THAT(run({"which"}, {}, home.dir / "proj/x").out,
                HasSubstr("claude  Client, from ~/proj/.twinlantern\n"));
    EXPECT_THAT(run({"which"}, {}, dir("nowhere")).out,
                HasSubstr("codex   Personal, the terminal default\n"));

    ASSERT_EQ(run({"shell", "install", "--yes"}).exitCode, 0);
    Environment shims = env();
    shims["PATH"] = home.paths.shimDirectory() + ":" + shims["PATH"];
    EXPECT_THAT(
        run({"which"}, shims).out,
        HasSubstr(
            "        `claude` goes through TwinLantern: ~/.twinlantern/bin is first on PATH\n"));
}

TEST_F(CliWhich, ADeletedWorkingFolderResolvesAsTheRootAndSaysSo) {
    dir("work/gone");
    const RunResult r = shell("cd work/gone && rmdir ../gone && twinlantern which && "
                              "twinlantern-resolve --prompt",
                              home.home());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, ::testing::StartsWith("/ (the working folder no longer exists, so the "
                                             "shims resolve as for /)\n"
                                             "claude  Personal, the terminal default\n"));
    EXPECT_THAT(r.out, ::testing::EndsWith("\nPersonal\n")); // the prompt agrees
}

TEST_F(CliWhich, FindsTheDotfileDeeperThanPathMaxAsTheShimDoes) {
    DeepFolder deep(dir("work"), 5000);
    deep.writeFile(".twinlantern", "Client\n");
    const std::string file = deep.path() + "/.twinlantern";
    deep.deepen(2000);
    const DeepFolder::Inside inside(deep);
    const RunResult r = runProgram(program(), {"twinlantern", "which"}, env());
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("claude  Client, from " + home.paths.abbreviate(file) + "\n"));
}

TEST_F(CliWhich, SaysWhyAnotherUsersDotfileIsIgnored) {
    const OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    const std::string shared = dir("shared");
    const std::string mine = dir("shared/mine");
    writeFile(shared + "/.twinlantern", "Work\n");
    other.give(shared + "/.twinlantern");
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    const RunResult r = run({"which"}, {}, mine);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("warning: " + shared +
                                 "/.twinlantern is ignored: another user owns it.\n"));
    EXPECT_THAT(r.out, HasSubstr("claude  Personal, the terminal default\n"));
    const RunResult prompt =
        runProgram(resolver(), {"twinlantern-resolve", "--prompt"}, env(), {.cwd = mine});
    EXPECT_EQ(prompt.out, "Personal\n");
    ASSERT_EQ(::chmod(shared.c_str(), 0700), 0);
}

TEST_F(CliWhich, ShowsWhatKeepsAProfileFromApplying) {
    ProfileDocument d = document;
    d.profiles[2].setTools({ToolKind::claudeCode});
    store(d);
    dir("elsewhere/deeper");
    writeFile(home.dir / "elsewhere/deeper/.twinlantern", "Nobody\n");
    Environment own = env();
    own["CLAUDE_CONFIG_DIR"] = "/mine";
    const RunResult r = run({"which"}, own, home.dir / "elsewhere/deeper");
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_THAT(r.out,
                HasSubstr("warning: " + (home.dir / "elsewhere/deeper/.twinlantern") +
                          " names \u201CNobody\u201D, but there's no profile with that name.\n"));
    EXPECT_THAT(r.out,
                HasSubstr("claude  no profile: CLAUDE_CONFIG_DIR is set in this shell, and a "
                          "value you set wins (Personal would apply, the terminal default)\n"));
    EXPECT_THAT(r.out,
                HasSubstr("codex   no profile: Personal applies here (the terminal default) but "
                          "doesn't use Codex\n"));

    Environment off = env();
    off["TWINLANTERN_DISABLE"] = "1";
    EXPECT_THAT(run({"which"}, off).out,
                HasSubstr("claude  no profile: TWINLANTERN_DISABLE=1 turns the shims off"));
    const RunResult prompt =
        runProgram(resolver(), {"twinlantern-resolve", "--prompt"}, off, {.cwd = home.home()});
    EXPECT_EQ(prompt.out, "");
}

TEST_F(CliWhich, ACorruptProfilesFileIsTheStoresMessage) {
    writeProfiles("{\"version\": 1, \"profiles\": 7}");
    const std::string before = readFile(home.paths.profilesFile());
    const RunResult r = run({"which"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    try {
        (void)load();
        ADD_FAILURE() << "the store read it";
    } catch (const std::exception& e) {
        EXPECT_EQ(r.err, std::string("twinlantern: ") + e.what() + "\n");
    }
    EXPECT_EQ(readFile(home.paths.profilesFile()), before);
}

} // namespace
