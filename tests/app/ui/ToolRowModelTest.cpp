#include "TwinLanternApp/ui/profiles/ToolRowModel.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

using Case = ToolStatus::Case;
using Action = ToolRowButton::Action;

ToolStatus signedIn(std::optional<std::string> email) {
    AccountInfo account;
    account.email = std::move(email);
    return ToolStatus::signedIn(account);
}

ToolRowFacts facts(ToolKind tool, std::optional<ToolStatus> status,
                   Profile::Storage storage = Profile::Storage::managed) {
    ToolRowFacts f;
    f.tool = tool;
    f.status = std::move(status);
    f.storage = storage;
    return f;
}

TEST(ToolRowCaption, EachBranch) {
    const struct {
        ToolRowFacts facts;
        std::string caption;
    } cases[] = {
        {facts(ToolKind::claudeCode, std::nullopt), "Checking…"},
        {facts(ToolKind::claudeCode, signedIn("w@example.com")), "w@example.com"},
        {facts(ToolKind::claudeCode, signedIn(std::nullopt)), "Signed in"},
        {facts(ToolKind::claudeCode, signedIn("")), ""}, // present but empty stays empty
        {facts(ToolKind::claudeDesktop, ToolStatus::ready("Running")), "Open"},
        {facts(ToolKind::chatGPTApp, ToolStatus::ready("Uses your usual ChatGPT app")),
         "Uses your usual ChatGPT app"},
        {facts(ToolKind::claudeDesktop, ToolStatus::ready("Uses your existing Claude Desktop")),
         "Ready"},
        {facts(ToolKind::claudeDesktop, ToolStatus::ready("Not running")), "Ready"},
        {facts(ToolKind::codex, ToolStatus::needsAttention("Signed out. Sign in again.")),
         "Needs signing in"},
        {facts(ToolKind::codex, ToolStatus::notInstalled()), "Not installed"},
        {facts(ToolKind::claudeDesktop, ToolStatus::notSetUp()), "Not opened yet"},
        {facts(ToolKind::chatGPTApp, ToolStatus::notSetUp()), "Not signed in"},
        {facts(ToolKind::codex, ToolStatus::notSetUp()), "Not signed in"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(toolRowCaption(c.facts), c.caption) << c.caption;
    }
}

TEST(ToolRowCaption, NotesAfterTheState) {
    ToolRowFacts codex = facts(ToolKind::codex, ToolStatus::notSetUp());
    codex.usesBundledCodex = true;
    EXPECT_EQ(toolRowCaption(codex), "Not signed in · shares the ChatGPT app's login");
    codex.weekTokens = 1500;
    EXPECT_EQ(toolRowCaption(codex),
              "Not signed in · shares the ChatGPT app's login · 1.5k tokens this week");
    // The bundled note belongs to "not set up" only.
    ToolRowFacts signedInCodex = facts(ToolKind::codex, signedIn("a@b.c"));
    signedInCodex.usesBundledCodex = true;
    EXPECT_EQ(toolRowCaption(signedInCodex), "a@b.c");

    const struct {
        std::optional<std::int64_t> tokens;
        std::string caption;
    } tokens[] = {
        {std::nullopt, "x@y.z"},
        {0, "x@y.z"},
        {-5, "x@y.z"},
        {999, "x@y.z · 999 tokens this week"},
        {1500, "x@y.z · 1.5k tokens this week"},
    };
    for (const auto& t : tokens) {
        ToolRowFacts f = facts(ToolKind::claudeCode, signedIn("x@y.z"));
        f.weekTokens = t.tokens;
        EXPECT_EQ(toolRowCaption(f), t.caption);
    }
    // Waiting for Terminal and still checking say nothing more, usage or not.
    ToolRowFacts checking = facts(ToolKind::claudeCode, std::nullopt);
    checking.weekTokens = 5000;
    EXPECT_EQ(toolRowCaption(checking), "Checking…");
    ToolRowFacts waiting = facts(ToolKind::codex, ToolStatus::needsAttention("x"));
    waiting.signingIn = true;
    waiting.weekTokens = 5000;
    EXPECT_EQ(toolRowCaption(waiting), "Waiting for you to finish in Terminal…");
    // The colour follows the status, not the words.
    EXPECT_TRUE(captionNeedsAttention(waiting));
    EXPECT_FALSE(captionNeedsAttention(checking));
    EXPECT_FALSE(captionNeedsAttention(codex));
}

std::vector<std::string> titles(const std::vector<ToolRowButton>& buttons) {
    std::vector<std::string> out;
    for (const auto& b : buttons) {
        out.push_back(b.title);
    }
    return out;
}

TEST(ToolRowButtons, ByToolStorageAndStatus) {
    using S = Profile::Storage;
    using V = std::vector<std::string>;
    const struct {
        ToolRowFacts facts;
        V titles;
    } cases[] = {
        // The ChatGPT app: Open whatever the status, even not installed.
        {facts(ToolKind::chatGPTApp, ToolStatus::notInstalled()), V{"Open"}},
        {facts(ToolKind::chatGPTApp, std::nullopt, S::system), V{"Open"}},
        {facts(ToolKind::claudeDesktop, ToolStatus::notSetUp(), S::system), V{"Open"}},
        {facts(ToolKind::claudeDesktop, ToolStatus::notSetUp()), V{"Sign in with Google", "Open"}},
        {facts(ToolKind::claudeCode, std::nullopt), V{"Sign In"}},
        {facts(ToolKind::claudeCode, std::nullopt, S::system), V{}},
        {facts(ToolKind::claudeCode, signedIn(std::nullopt)), V{}},
        {facts(ToolKind::codex, ToolStatus::notInstalled()), V{}},
        {facts(ToolKind::codex, ToolStatus::needsAttention("x")), V{"Sign In"}},
        {facts(ToolKind::codex, ToolStatus::notSetUp()), V{"Sign In"}},
        {facts(ToolKind::codex, ToolStatus::ready("x")), V{"Sign In"}},
        {facts(ToolKind::codex, ToolStatus::needsAttention("x"), S::system), V{}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(titles(toolRowButtons(c.facts)), c.titles);
    }
    ToolRowFacts running = facts(ToolKind::claudeDesktop, ToolStatus::ready("Running"));
    running.running = true;
    const auto desktop = toolRowButtons(running);
    ASSERT_EQ(desktop.size(), 2u);
    EXPECT_EQ(desktop[0], (ToolRowButton{"Sign in with Google",
                                         "Opens this profile's Claude and makes sure Google's "
                                         "sign-in reaches this window",
                                         Action::signInWithGoogle, true, true}));
    EXPECT_EQ(desktop[1],
              (ToolRowButton{"Show",
                             "Sign in with your email address, or Google, in the window that opens",
                             Action::openApp}));
    running.storage = Profile::Storage::system;
    EXPECT_EQ(toolRowButtons(running),
              (std::vector<ToolRowButton>{
                  {"Show", "Sign in with your email address in the window that opens",
                   Action::openApp}}));
    EXPECT_EQ(toolRowButtons(facts(ToolKind::chatGPTApp, std::nullopt)).front().help,
              "Sign in inside the window that opens");
}

TEST(ToolRowButtons, CodexSignInLocksEveryCodexButtonButNotClaudeCode) {
    ToolRowFacts codex = facts(ToolKind::codex, ToolStatus::notSetUp());
    codex.codexSignInRunning = true;
    ToolRowFacts code = facts(ToolKind::claudeCode, ToolStatus::notSetUp());
    code.codexSignInRunning = true;
    EXPECT_FALSE(toolRowButtons(codex).front().enabled);
    EXPECT_TRUE(toolRowButtons(code).front().enabled);
    EXPECT_EQ(toolRowButtons(code).front().action, Action::signIn);
    code.signingIn = true;
    EXPECT_FALSE(toolRowButtons(code).front().enabled);
    EXPECT_TRUE(toolRowButtons(code).front().help.empty());
}

} // namespace
