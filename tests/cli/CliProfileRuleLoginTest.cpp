// `twinlantern profile list`, `rule remove` and `login`.
#include "tests/cli/CliFixture.h"

#include "core/base/TwinLanternError.h"

#include <gmock/gmock.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;
using ::testing::HasSubstr;

namespace {

class CliCommands : public CliFixture {
protected:
    ProfileDocument sample() const {
        Profile personal =
            profile("personal", "Personal", Profile::Storage::system, {ToolKind::claudeCode});
        personal.color = ProfileColor::green;
        personal.badge = "P";
        return {1,
                {profile("work", "Work"), personal},
                {FolderRule("~/work/**", ProfileID("work"))},
                ProfileID("personal")};
    }

    struct FileState {
        std::string bytes;
        ino_t inode = 0;
        friend bool operator==(const FileState&, const FileState&) = default;
    };
    FileState profilesFile() const {
        return {readFile(home.paths.profilesFile()), inode(home.paths.profilesFile())};
    }
};

TEST_F(CliCommands, ProfileListInDocumentOrderWithTheDefaultMarked) {
    EXPECT_EQ(run({"profile", "list"}).out, "No profiles yet.\n");
    EXPECT_EQ(run({"profile", "list", "--json"}).out, "[]\n");
    store(sample());
    const RunResult r = run({"profile", "list"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Work\n"
                     "  id       work\n"
                     "  colour   blue\n"
                     "  badge    W\n"
                     "  tools    claude-code, codex\n"
                     "  storage  managed\n"
                     "  rule     ~/work/**\n"
                     "\n"
                     "Personal (terminal default)\n"
                     "  id       personal\n"
                     "  colour   green\n"
                     "  badge    P\n"
                     "  tools    claude-code\n"
                     "  storage  system\n");
    const auto json = nlohmann::json::parse(run({"profile", "list", "--json"}).out);
    ASSERT_EQ(json.size(), 2u);
    EXPECT_EQ(json[0]["name"], "Work");
    EXPECT_EQ(json[0]["terminalDefault"], false);
    EXPECT_EQ(json[0]["rules"], nlohmann::json::array({"~/work/**"}));
    EXPECT_EQ(json[1]["id"], "personal");
    EXPECT_EQ(json[1]["tools"], nlohmann::json::array({"claude-code"}));
    EXPECT_EQ(json[1]["storage"], "system");
    EXPECT_EQ(json[1]["terminalDefault"], true);
}

TEST_F(CliCommands, ACorruptProfilesFileGivesTheStoresMessageAndStaysUntouched) {
    for (const char* bytes :
         {"{\"version\": 1, \"profiles\": [", "\xff\xfe", "{\"version\": 99}"}) {
        writeProfiles(bytes);
        const FileState before = profilesFile();
        std::string expected;
        try {
            (void)load();
        } catch (const TwinLanternError& e) {
            expected = std::string("twinlantern: ") + e.what() + "\n";
        }
        ASSERT_FALSE(expected.empty());
        for (const std::vector<std::string>& args : {std::vector<std::string>{"profile", "list"},
                                                     {"rule", "remove", "~/work/**"},
                                                     {"login", "Work", "codex"}}) {
            const RunResult r = run(args);
            EXPECT_EQ(r.exitCode, 1) << args[0];
            EXPECT_EQ(r.out, "") << args[0];
            EXPECT_EQ(r.err, expected) << args[0];
            EXPECT_EQ(profilesFile(), before) << args[0];
        }
    }
    EXPECT_FALSE(codex.received());
}

TEST_F(CliCommands, RuleRemoveTakesTheStoredPathExactly) {
    ProfileDocument d = sample();
    const std::string odd = "~/my 'odd' \"dir\" $HOME/**";
    d.rules.push_back(FolderRule(odd, ProfileID("personal")));
    d.rules.push_back(FolderRule("/abs/path", ProfileID("work")));
    store(d);

    // Not the stored form: a clear error and the file untouched.
    const FileState before = profilesFile();
    for (const std::string& path : {std::string("~/work"), home.home() + "/work/**",
                                    std::string("~/my 'odd' \"dir\" /**"), std::string("")}) {
        const RunResult r = run({"rule", "remove", path});
        EXPECT_EQ(r.exitCode, 1) << path;
        EXPECT_EQ(r.err, "twinlantern: There's no folder rule \u201C" + path +
                             "\u201D. `twinlantern profile list` shows each rule as stored.\n");
        EXPECT_EQ(profilesFile(), before) << path;
    }

    // As the doctor quotes it, through the shell.
    const RunResult r = shell("twinlantern rule remove '~/my '\\''odd'\\'' \"dir\" $HOME/**'");
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Removed the folder rule " + odd + " \u2192 Personal.\n");
    EXPECT_EQ(load().rules, (std::vector<FolderRule>{FolderRule("~/work/**", ProfileID("work")),
                                                     FolderRule("/abs/path", ProfileID("work"))}));
    EXPECT_EQ(load().profiles, sample().profiles);
}

TEST_F(CliCommands, LoginRunsTheToolsSignInInThisTerminal) {
    store(sample());
    const RunResult r = run({"login", "work", "codex"}); // names are caseless, as in the app
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "Signing Work in to Codex.\n");
    auto call = codex.received();
    ASSERT_TRUE(call);
    EXPECT_EQ(call->argv, (std::vector<std::string>{codex.path(), "login"}));
    const std::string folder = home.paths.dataDirectory(ToolKind::codex, ProfileID("work")).value();
    EXPECT_EQ(call->env.at("CODEX_HOME"), folder);
    EXPECT_EQ(call->env.at("HOME"), home.home());
    EXPECT_TRUE(exists(folder + "/config.toml"));

    // A system profile signs the tool's own default in: an exported variable goes.
    Environment own = env();
    own["CLAUDE_CONFIG_DIR"] = "/elsewhere";
    ASSERT_EQ(run({"login", "Personal", "claude-code"}, own).exitCode, 0);
    call = claude.received();
    ASSERT_TRUE(call);
    EXPECT_EQ(call->argv, (std::vector<std::string>{claude.path(), "auth", "login"}));
    EXPECT_FALSE(call->env.contains("CLAUDE_CONFIG_DIR"));

    // The tool on a terminal: its standard streams are the terminal's.
    claude.answer("");
    const RunResult terminal = runInTerminal(
        program(), {"twinlantern", "login", "Work", "claude-code"}, env(), home.home(), "");
    EXPECT_EQ(terminal.exitCode, 0) << terminal.out;
}

TEST_F(CliCommands, LoginTakesEachToolWordInAnyCase) {
    store(sample());
    struct Case {
        const char* word;
        bool codex;
    };
    for (const Case& c :
         {Case{"claude", false}, Case{"Claude", false}, Case{"code", false}, Case{"CODE", false},
          Case{"claude-code", false}, Case{"Claude-Code", false}, Case{"codex", true},
          Case{"Codex", true}, Case{"CODEX", true}}) {
        SCOPED_TRACE(c.word);
        const RunResult r = run({"login", "Work", c.word});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out,
                  std::string("Signing Work in to ") + (c.codex ? "Codex" : "Claude Code") + ".\n");
        const auto call = (c.codex ? codex : claude).received();
        ASSERT_TRUE(call);
        EXPECT_EQ(call->argv.back(), "login");
        EXPECT_FALSE((c.codex ? claude : codex).received());
        for (const FakeTool* tool : {&claude, &codex}) {
            ::unlink((tool->path() + ".fake/argv").c_str());
        }
    }
}

TEST_F(CliCommands, LoginFailuresSayWhatWentWrong) {
    store(sample());
    const RunResult unknown = run({"login", "Nobody", "codex"});
    EXPECT_EQ(unknown.exitCode, 1);
    EXPECT_EQ(unknown.err, std::string("twinlantern: ") +
                               TwinLanternError::profileNotFound("Nobody").what() + "\n");

    const RunResult unused = run({"login", "Personal", "codex"});
    EXPECT_EQ(unused.exitCode, 1);
    EXPECT_EQ(unused.err, "twinlantern: Personal doesn't use Codex. Turn it on for the profile in "
                          "TwinLantern first.\n");
    EXPECT_FALSE(codex.received());

    Environment noTools = env();
    noTools["PATH"] = "/nonexistent";
    const RunResult missing = run({"login", "Work", "claude-code"}, noTools);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_EQ(missing.err, "twinlantern: Claude Code isn't installed: no `claude` on PATH outside "
                           "~/.twinlantern/bin.\n");

    codex.answer("", "", 3);
    const RunResult failed = run({"login", "Work", "codex"});
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_EQ(failed.err, "twinlantern: Sign-in didn't finish (exit 3).\n");
}

} // namespace
