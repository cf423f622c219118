#include "core/base/TwinLanternError.h"
#include "core/tools/ClaudeCodeAdapter.h"

#include "tests/support/ErrorOf.h"
#include "tests/support/FakeTools.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

struct ClaudeAccountTest : ::testing::Test {
    TempHome home;
    std::string bin = home.dir / "bin";
    FakeTool tool{bin, "claude"};
    ToolContext context{home.paths, {{"PATH", bin}, {"HOME", home.home()}}};
    ClaudeCodeAdapter claude{context};
    Profile work = profile("work");
    Profile system = profile("sys", Profile::Storage::system);
    std::string folder = home.paths.supportDirectory() + "/claude-code/work";

    void SetUp() override {
        claude.setCommandTimeout(1);
        makeDirs(folder);
    }
};

TEST_F(ClaudeAccountTest, StatusFromTheToolsAnswer) {
    AccountInfo partial;
    partial.email = "Ann@Example.com";
    partial.organizationID = "org-1";
    const AccountInfo full{"a@b.c", "Acme", "org-2", "max", "claude.ai"};
    const std::string unreadable = "Couldn't read `claude auth status` (exit ";
    struct Case {
        const char* name;
        std::string out, err;
        int exit;
        ToolStatus managed, system;
    };
    const Case cases[] = {
        {"banner before the object",
         "Update available!\n{\"loggedIn\": true, \"email\": \"Ann@Example.com\", \"orgId\": "
         "\"org-1\"}\n",
         "", 0, ToolStatus::signedIn(partial), ToolStatus::signedIn(partial)},
        {"every field, other keys and a failing exit",
         "{\"loggedIn\":true,\"email\":\"a@b.c\",\"orgName\":\"Acme\",\"orgId\":\"org-2\","
         "\"subscriptionType\":\"max\",\"authMethod\":\"claude.ai\",\"extra\":{\"x\":1}}",
         "warning", 1, ToolStatus::signedIn(full), ToolStatus::signedIn(full)},
        {"signed out", "{\"loggedIn\": false, \"email\": 5}", "", 1,
         ToolStatus::needsAttention("Signed out. Sign in again."), ToolStatus::notSetUp()},
        {"loggedIn is a string", "{\"loggedIn\": \"true\"}", "", 0,
         ToolStatus::needsAttention(unreadable + "0)."),
         ToolStatus::needsAttention(unreadable + "0).")},
        {"empty object", "{}", "", 0, ToolStatus::needsAttention(unreadable + "0)."),
         ToolStatus::needsAttention(unreadable + "0).")},
        {"closing brace before opening", "} not json {", "", 3,
         ToolStatus::needsAttention(unreadable + "3)."),
         ToolStatus::needsAttention(unreadable + "3).")},
        {"answer only on standard error", "", "{\"loggedIn\": true}", 2,
         ToolStatus::needsAttention(unreadable + "2)."),
         ToolStatus::needsAttention(unreadable + "2).")},
        {"truncated object", "{\"loggedIn\": true, \"email\": \"a@b.c}", "", 0,
         ToolStatus::needsAttention(unreadable + "0)."),
         ToolStatus::needsAttention(unreadable + "0).")},
        {"an array between braces", "{\"loggedIn\": true}, {\"loggedIn\": false}", "", 0,
         ToolStatus::needsAttention(unreadable + "0)."),
         ToolStatus::needsAttention(unreadable + "0).")},
    };
    for (const Case& c : cases) {
        tool.answer(c.out, c.err, c.exit);
        EXPECT_EQ(claude.status(work), c.managed) << c.name;
        EXPECT_EQ(claude.status(system), c.system) << c.name;
    }
    EXPECT_EQ(tool.calls().size(), 2 * std::size(cases));
    EXPECT_EQ(tool.calls().front(), "auth status");
}

TEST_F(ClaudeAccountTest, ParserSurvivesHugeAndHostileText) {
    const std::string deep = "{\"a\":" + std::string(100000, '[') + "}";
    EXPECT_EQ(ClaudeCodeAdapter::parseAuthStatus(deep), std::nullopt);
    EXPECT_EQ(ClaudeCodeAdapter::parseAuthStatus("{\"loggedIn\": true, \"email\": \"\xFF\"}"),
              std::nullopt);
    const std::string noise(1 << 20, 'x');
    auto parsed = ClaudeCodeAdapter::parseAuthStatus(noise + "{\"loggedIn\":false}" + noise);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, ClaudeCodeAdapter::AuthStatus{});
}

TEST_F(ClaudeAccountTest, StatusWithoutAnAnswer) {
    tool.hang();
    tool.answer("{\"loggedIn\": true}");
    EXPECT_EQ(claude.status(work),
              ToolStatus::needsAttention("`claude auth status` didn't answer in time."));

    // Present on PATH but impossible to start: the same as an unreadable answer.
    writeFile(tool.path(), "#!/nonexistent/interpreter\n", 0755);
    EXPECT_EQ(claude.status(work),
              ToolStatus::needsAttention("Couldn't read `claude auth status` (exit 127)."));
}

TEST_F(ClaudeAccountTest, StatusBeforeTheToolRuns) {
    tool.answer("{\"loggedIn\": true}");
    const Profile fresh = profile("fresh");
    EXPECT_EQ(claude.status(fresh), ToolStatus::notSetUp());
    writeFile(home.paths.supportDirectory() + "/claude-code/file", "not a folder");
    EXPECT_EQ(claude.status(profile("file")), ToolStatus::notSetUp());
    EXPECT_TRUE(tool.calls().empty());

    ::unlink(tool.path().c_str());
    EXPECT_EQ(claude.status(work), ToolStatus::notInstalled());
    EXPECT_EQ(claude.status(system), ToolStatus::notInstalled());
}

TEST_F(ClaudeAccountTest, CommandsSeeTheReducedEnvironmentAndTheProfilesFolder) {
    Environment shell{{"PATH", bin},
                      {"HOME", home.home()},
                      {"LANG", "C.UTF-8"},
                      {"CLAUDE_CONFIG_DIR", "/somewhere/else"},
                      {"ANTHROPIC_API_KEY", "sk-secret"},
                      {"TWINLANTERN_PROFILE", "Work"},
                      {"CODEX_HOME", "/codex"}};
    ClaudeCodeAdapter adapter(ToolContext{home.paths, shell});
    tool.answer("{\"loggedIn\": true}");
    adapter.status(work);
    EXPECT_EQ(tool.lastEnvironment(), (Environment{{"PATH", bin},
                                                   {"HOME", home.home()},
                                                   {"LANG", "C.UTF-8"},
                                                   {"CLAUDE_CONFIG_DIR", folder}}));
    adapter.status(system);
    EXPECT_EQ(tool.lastEnvironment(),
              (Environment{{"PATH", bin}, {"HOME", home.home()}, {"LANG", "C.UTF-8"}}));
}

TEST_F(ClaudeAccountTest, SetUpGivesTheSignInCommand) {
    const Profile fresh = profile("fresh");
    const std::string freshFolder = home.paths.supportDirectory() + "/claude-code/fresh";
    EXPECT_EQ(claude.setUp(fresh), (SignInCommand{tool.path(),
                                                  {"auth", "login"},
                                                  {{"CLAUDE_CONFIG_DIR", freshFolder}},
                                                  {"CLAUDE_CODE_OAUTH_TOKEN", "ANTHROPIC_API_KEY",
                                                   "ANTHROPIC_AUTH_TOKEN"}}));
    EXPECT_EQ(fileMode(freshFolder), 0700u);
    EXPECT_EQ(claude.setUp(system), (SignInCommand{tool.path(),
                                                   {"auth", "login"},
                                                   {},
                                                   {"CLAUDE_CODE_OAUTH_TOKEN", "ANTHROPIC_API_KEY",
                                                    "ANTHROPIC_AUTH_TOKEN", "CLAUDE_CONFIG_DIR"}}));
    EXPECT_TRUE(tool.calls().empty()); // sign-in runs in a terminal, never here

    ::unlink(tool.path().c_str());
    const Profile other = profile("other");
    EXPECT_EQ(claude.setUp(other), std::nullopt);
    EXPECT_TRUE(exists(home.paths.supportDirectory() + "/claude-code/other"));
}

TEST_F(ClaudeAccountTest, RemoveDataSignsOutThenDeletes) {
    writeFile(folder + "/settings.json", "{}");
    tool.answer("Logged out");
    claude.removeData(work);
    EXPECT_EQ(tool.calls(), std::vector<std::string>{"auth logout"});
    EXPECT_EQ(tool.lastEnvironment().at("CLAUDE_CONFIG_DIR"), folder);
    EXPECT_FALSE(exists(folder));

    // A sign-out that hangs or fails does not stop the removal.
    makeDirs(folder);
    tool.hang();
    claude.removeData(work);
    EXPECT_FALSE(exists(folder));

    // Without the tool the folder still goes.
    makeDirs(folder);
    ::unlink(tool.path().c_str());
    claude.removeData(work);
    EXPECT_FALSE(exists(folder));
}

TEST_F(ClaudeAccountTest, RemoveDataNeverLeavesTheSupportFolder) {
    const std::string outside = home.dir / "real-account";
    writeFile(outside + "/credentials", "keep me");
    ::rmdir(folder.c_str());
    ASSERT_EQ(::symlink(outside.c_str(), folder.c_str()), 0);
    const std::string inner = home.paths.supportDirectory() + "/claude-code/inner";
    writeFile(inner + "/own", "x");
    ASSERT_EQ(::symlink(outside.c_str(), (inner + "/link").c_str()), 0);

    claude.removeData(work); // the folder is a link: removed as a link, no sign-out through it
    claude.removeData(profile("inner"));
    EXPECT_TRUE(tool.calls() == std::vector<std::string>{"auth logout"});
    EXPECT_FALSE(exists(folder));
    EXPECT_FALSE(exists(inner));
    EXPECT_EQ(readFile(outside + "/credentials"), "keep me");

    EXPECT_EQ(errorOf([&] { claude.removeData(profile("../../../../real-account")); }).kind(),
              TwinLanternError::Kind::unsafeDeletion);
    EXPECT_EQ(readFile(outside + "/credentials"), "keep me");

    claude.removeData(system); // nothing at all
    EXPECT_EQ(tool.calls().size(), 1u);
}

} // namespace
