#include "core/shell/ShellIntegration.h"
#include "tests/support/ShellFixtures.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::testing;

namespace {
const std::string B = ShellIntegration::block();
const std::string begin = std::string(ShellIntegration::beginMarker);
const std::string end = std::string(ShellIntegration::endMarker);
} // namespace

TEST(ShellBlock, TextsHaveTheirExactLengths) {
    EXPECT_EQ(B.size(), 412u);
    EXPECT_TRUE(B.starts_with(begin + "\n"));
    EXPECT_TRUE(B.ends_with("\n" + end + "\n"));
    EXPECT_EQ(lines(B).size(), 7u);
    EXPECT_EQ(ShellIntegration::promptSnippet("zsh")->size(), 466u);
    EXPECT_EQ(ShellIntegration::promptSnippet("oh-my-zsh"), ShellIntegration::promptSnippet("zsh"));
    EXPECT_EQ(ShellIntegration::promptSnippet("bash")->size(), 337u);
    EXPECT_EQ(ShellIntegration::promptSnippet("starship")->size(), 240u);
    EXPECT_EQ(lines(*ShellIntegration::promptSnippet("zsh")).size(), 6u);
    EXPECT_EQ(lines(*ShellIntegration::promptSnippet("bash")).size(), 4u);
    for (const char* other : {"Zsh", "fish", "", "BASH"}) {
        EXPECT_FALSE(ShellIntegration::promptSnippet(other)) << other;
    }
}

TEST(ShellBlock, RemovingAndAdding) {
    struct Case {
        const char* name;
        std::string text;
        std::string removed;
        std::string added;
    };
    const Case cases[] = {
        {"empty", "", "", B},
        {"one line without LF", "a", "a", "a\n" + B},
        {"one line with LF", "a\n", "a\n", "a\n" + B},
        {"block alone", B, "", B},
        {"block last", "a\n" + B, "a\n", "a\n" + B},
        {"block in the middle", "a\n" + B + "b\n", "a\nb\n", "a\nb\n" + B},
        {"two blocks", B + "a\n" + B + "b", "a\nb", "a\nb\n" + B},
        {"indented and trailing blanks", "a\n  \t" + begin + "\nx\n" + end + "  \n", "a\n",
         "a\n" + B},
        {"CR LF markers do not match", "a\r\n" + begin + "\r\nx\r\n" + end + "\r\n",
         "a\r\n" + begin + "\r\nx\r\n" + end + "\r\n",
         "a\r\n" + begin + "\r\nx\r\n" + end + "\r\n" + B},
        {"end marker alone stays", "a\n" + end + "\nb\n", "a\n" + end + "\nb\n",
         "a\n" + end + "\nb\n" + B},
        {"other case is not a marker", "# >>> TwinLantern >>>\nx\n", "# >>> TwinLantern >>>\nx\n",
         "# >>> TwinLantern >>>\nx\n" + B},
        // Without an end marker only our own lines go; the user's lines stay.
        {"begin marker without end", "a\n" + begin + "\nx\n", "a\nx\n", "a\nx\n" + B},
        {"truncated block", "a\n" + B.substr(0, B.size() - end.size() - 1) + "u\n", "a\nu\n",
         "a\nu\n" + B},
        {"begin without end, user line inside ours",
         "a\n" + begin + "\n" + lines(B)[1] + "\nmine\n" + lines(B)[3] + "\n", "a\nmine\n",
         "a\nmine\n" + B},
        {"begin marker last without LF", "a\n" + begin, "a", "a\n" + B},
        {"begin marker alone", begin + "\n", "", B},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShellIntegration::removingBlock(c.text), c.removed) << c.name;
        const std::string added = ShellIntegration::addingBlock(c.text);
        EXPECT_EQ(added, c.added) << c.name;
        EXPECT_EQ(ShellIntegration::addingBlock(added), added) << c.name;
        EXPECT_TRUE(ShellIntegration::blockIsLast(added)) << c.name;
    }
}

TEST(ShellBlock, BlockIsLast) {
    struct Case {
        std::string text;
        bool last;
    };
    const Case cases[] = {
        {"a\n", false},
        {"", false},
        {B, true},
        {B + "\n\n  \t\n", true},
        {B + "\u00a0\u2003\n", true},
        {B + "# comment\n   # indented comment\n\n", true},
        {B + "export X=1\n", false},
        {B + "# ok\nls\n", false},
        {"a\n" + end + " trailing\n", false},
        {"a\n" + end + " # note\n", true},
        {B + "a\n" + end, true},
        {begin + "\nx\n", false},
        // The prompt snippets, pasted below the block as they say; a line of them changed
        // is a command like any other.
        {B + *ShellIntegration::promptSnippet("zsh") + "\n", true},
        {B + "\n" + *ShellIntegration::promptSnippet("bash"), true},
        {B + "  setopt PROMPT_SUBST\n", true},
        {B + "setopt PROMPT_SUBST; export PATH=/opt/bin:$PATH\n", false},
        {B + *ShellIntegration::promptSnippet("zsh") + "\nexport PATH=/opt/bin:$PATH\n", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ShellIntegration::blockIsLast(c.text), c.last) << c.text;
    }
}

TEST(ShellBlock, ZdotdirAndTargets) {
    TempHome home;
    const std::string& h = home.home();
    struct Case {
        std::optional<std::string> zdotdir;
        std::optional<std::string> stored;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt},
        {"relative/zsh", std::nullopt},
        {h, std::nullopt},
        {h + "/", std::nullopt},
        {h + "/./", std::nullopt},
        {h + "/.config/zsh/", h + "/.config/zsh"},
        {"/etc/zsh", "/etc/zsh"},
    };
    for (const auto& c : cases) {
        Environment env{{"HOME", h}};
        if (c.zdotdir) {
            env["ZDOTDIR"] = *c.zdotdir;
        }
        ShellIntegration shell(home.paths, env);
        EXPECT_EQ(shell.zdotdir, c.stored) << c.zdotdir.value_or("(none)");
        EXPECT_EQ(shell.targetFiles(), std::vector<std::string>{c.stored.value_or(h) + "/.zshrc"});
    }

    // Bash files count when anything is there (a link to a folder too); never in ZDOTDIR.
    writeFile(h + "/.config/zsh/.bashrc", "x");
    makeDirs(h + "/somewhere");
    ASSERT_EQ(::symlink((h + "/somewhere").c_str(), (h + "/.bash_profile").c_str()), 0);
    ShellIntegration shell(home.paths, {{"ZDOTDIR", h + "/.config/zsh"}});
    EXPECT_EQ(shell.targetFiles(),
              (std::vector<std::string>{h + "/.config/zsh/.zshrc", h + "/.bash_profile"}));
    writeFile(h + "/.bashrc", "");
    EXPECT_EQ(shell.targetFiles(),
              (std::vector<std::string>{h + "/.config/zsh/.zshrc", h + "/.bashrc",
                                        h + "/.bash_profile"}));
}
