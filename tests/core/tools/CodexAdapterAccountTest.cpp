#include "core/base/TwinLanternError.h"
#include "core/tools/CodexAdapter.h"

#include "tests/support/ErrorOf.h"
#include "tests/support/FakeTools.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {

using State = CodexAdapter::LoginState;
using Case = State::Case;

ToolStatus signedInWith(std::string method) {
    AccountInfo account;
    account.method = std::move(method);
    return ToolStatus::signedIn(account);
}

struct CodexAccountTest : ::testing::Test {
    TempHome home;
    std::string bin = home.dir / "bin";
    FakeTool tool{bin, "codex"};
    ToolContext context{home.paths, {{"PATH", bin}, {"HOME", home.home()}}};
    CodexAdapter codex{context};
    Profile work = profile("work");
    Profile system = profile("sys", Profile::Storage::system);
    std::string folder = home.paths.supportDirectory() + "/codex/work";

    void SetUp() override {
        codex.setCommandTimeout(1);
        makeDirs(folder);
    }
};

TEST(CodexLoginStatus, RecognisesTheTwoLineBeginnings) {
    struct Row {
        std::string text;
        State state;
    };
    const Row rows[] = {
        {"Logged in using ChatGPT", {Case::signedIn, "ChatGPT"}},
        {"  \tLogged in using ChatGPT \t", {Case::signedIn, "ChatGPT"}},
        {"Logged in using an API key - sk-****abcd - more", {Case::signedIn, "API key"}},
        {"Logged in using anthropic", {Case::signedIn, "anthropic"}},
        {"Checking…\nLogged in using ChatGPT", {Case::signedIn, "ChatGPT"}},
        {"Logged in using ChatGPT\nNot logged in", {Case::signedIn, "ChatGPT"}},
        {"warning\r\nNot logged in\r\n", {Case::signedOut, {}}},
        {"Not logged in yet", {Case::signedOut, {}}},
        {"x\xE2\x80\xA8Logged in using ChatGPT", {Case::signedIn, "ChatGPT"}},
        {"x\xE2\x80\xA9Not logged in", {Case::signedOut, {}}},
        {"x\xC2\x85Not logged in", {Case::signedOut, {}}},
        {"x\vNot logged in", {Case::signedOut, {}}},
        {"x\fLogged in using key", {Case::signedIn, "key"}},
        // codex 0.169 after an API-key sign-in.
        {"API key configured - sk-\u2026***abcd\n"
         "Authentication is checked when you send a request.\n",
         {Case::signedIn, "API key"}},
        {"\tAPI key configured \n", {Case::signedIn, "API key"}},
        {"Authentication is checked when you send a request.", {}},
        {"api key configured - sk-\u2026***abcd", {}},
        {"No API key configured", {}},
        {"Logged in using", {}},
        {"Logged in using   ", {}},
        {"", {}},
        {"\n\r\n\n", {}},
        {"You are not logged in", {}},
        {"logged in using ChatGPT", {}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(CodexAdapter::parseLoginStatus(row.text), row.state) << row.text;
    }
}

TEST_F(CodexAccountTest, StatusFromTheToolsAnswer) {
    const std::string unreadable = "Couldn't read `codex login status` (exit ";
    struct Row {
        const char* name;
        std::string out, err;
        int exit;
        ToolStatus managed, system;
    };
    const Row rows[] = {
        {"signed in", "Logged in using ChatGPT\n", "", 0, signedInWith("ChatGPT"),
         signedInWith("ChatGPT")},
        {"signed in with a key", "", "Logged in using an API key - sk-***\n", 0,
         signedInWith("API key"), signedInWith("API key")},
        {"signed in with a key, as codex 0.169 says it", "",
         "API key configured - sk-\u2026***abcd\n"
         "Authentication is checked when you send a request.\n",
         0, signedInWith("API key"), signedInWith("API key")},
        {"the keyring out of reach", "",
         "Error: failed to load CLI auth from keyring: no secret service provider or dbus "
         "session found\n",
         1, ToolStatus::needsAttention(unreadable + "1)."),
         ToolStatus::needsAttention(unreadable + "1).")},
        {"signed out on standard error", "", "Not logged in\n", 1,
         ToolStatus::needsAttention("Signed out. Sign in again."), ToolStatus::notSetUp()},
        {"empty answer", "", "", 1, ToolStatus::needsAttention(unreadable + "1)."),
         ToolStatus::needsAttention(unreadable + "1).")},
        {"other text", "error: unexpected argument\n", "usage: codex", 2,
         ToolStatus::needsAttention(unreadable + "2)."),
         ToolStatus::needsAttention(unreadable + "2).")},
    };
    for (const Row& row : rows) {
        tool.answer(row.out, row.err, row.exit);
        EXPECT_EQ(codex.status(work), row.managed) << row.name;
        EXPECT_EQ(codex.status(system), row.system) << row.name;
    }
    EXPECT_EQ(tool.calls().front(), "login status");
}

TEST_F(CodexAccountTest, StatusWithoutAnAnswerOrBeforeTheToolRuns) {
    tool.answer("Logged in using ChatGPT");
    tool.hang();
    EXPECT_EQ(codex.status(work),
              ToolStatus::needsAttention("`codex login status` didn't answer in time."));
    EXPECT_EQ(codex.status(profile("fresh")), ToolStatus::notSetUp());
    EXPECT_EQ(tool.calls().size(), 1u);

    ::unlink(tool.path().c_str());
    EXPECT_EQ(codex.status(work), ToolStatus::notInstalled());
    EXPECT_EQ(codex.status(system), ToolStatus::notInstalled());
}

TEST_F(CodexAccountTest, TheDesktopAppsCopyAnswersWhenNoneIsOnPath) {
    ::unlink(tool.path().c_str());
    FakeTool bundled(home.paths.applicationsDirectory +
                         "/ChatGPT.app/Contents/Resources/codex-cli/bin",
                     "codex");
    bundled.answer("Logged in using ChatGPT\n");
    EXPECT_EQ(codex.status(work), signedInWith("ChatGPT"));
    EXPECT_EQ(bundled.calls(), std::vector<std::string>{"login status"});
    EXPECT_EQ(codex.setUp(work)->executable, bundled.path());
}

TEST_F(CodexAccountTest, CommandsSeeTheReducedEnvironmentAndTheProfilesFolder) {
    Environment shell{{"PATH", bin},
                      {"HOME", home.home()},
                      {"https_proxy", ""},
                      {"CODEX_HOME", "/somewhere/else"},
                      {"OPENAI_API_KEY", "sk-secret"},
                      {"TWINLANTERN_MANAGED_VARS", "CODEX_HOME"}};
    CodexAdapter adapter(ToolContext{home.paths, shell});
    tool.answer("Not logged in");
    adapter.status(work);
    EXPECT_EQ(
        tool.lastEnvironment(),
        (Environment{
            {"PATH", bin}, {"HOME", home.home()}, {"https_proxy", ""}, {"CODEX_HOME", folder}}));
    adapter.status(system);
    EXPECT_EQ(tool.lastEnvironment(),
              (Environment{{"PATH", bin}, {"HOME", home.home()}, {"https_proxy", ""}}));
}

TEST_F(CodexAccountTest, SetUpPreparesTheFolderAndGivesTheSignInCommand) {
    const std::string fresh = home.paths.supportDirectory() + "/codex/fresh";
    EXPECT_EQ(codex.setUp(profile("fresh")),
              (SignInCommand{tool.path(), {"login"}, {{"CODEX_HOME", fresh}}, {}}));
    EXPECT_EQ(readFile(fresh + "/config.toml"), CodexAdapter::configText);
    EXPECT_EQ(codex.setUp(system), (SignInCommand{tool.path(), {"login"}, {}, {"CODEX_HOME"}}));
    EXPECT_TRUE(tool.calls().empty());

    ::unlink(tool.path().c_str());
    EXPECT_EQ(codex.setUp(profile("other")), std::nullopt);
    EXPECT_TRUE(exists(home.paths.supportDirectory() + "/codex/other/config.toml"));
}

TEST_F(CodexAccountTest, RemoveDataSignsOutThenDeletesInsideTheSupportFolderOnly) {
    writeFile(folder + "/config.toml", "x");
    tool.answer("Successfully logged out");
    codex.removeData(work);
    EXPECT_EQ(tool.calls(), std::vector<std::string>{"logout"});
    EXPECT_EQ(tool.lastEnvironment().at("CODEX_HOME"), folder);
    EXPECT_FALSE(exists(folder));

    makeDirs(folder);
    tool.hang();
    codex.removeData(work);
    EXPECT_FALSE(exists(folder));

    const std::string outside = home.dir / "elsewhere";
    writeFile(outside + "/auth.json", "keep me");
    ASSERT_EQ(::symlink(outside.c_str(), folder.c_str()), 0);
    codex.removeData(work);
    EXPECT_FALSE(exists(folder));
    EXPECT_EQ(readFile(outside + "/auth.json"), "keep me");
    EXPECT_EQ(tool.calls().size(), 2u); // no sign-out through the link

    EXPECT_EQ(errorOf([&] { codex.removeData(profile("../../elsewhere")); }).kind(),
              TwinLanternError::Kind::unsafeDeletion);
    codex.removeData(system);
    EXPECT_EQ(tool.calls().size(), 2u);
    EXPECT_EQ(readFile(outside + "/auth.json"), "keep me");
}

} // namespace
