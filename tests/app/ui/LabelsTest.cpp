#include "TwinLanternApp/ui/frame/Labels.h"

#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

TEST(FunctionSummary, ZeroToFourTools) {
    const struct {
        std::vector<ToolKind> tools;
        std::string summary;
    } cases[] = {
        {{}, "Nothing yet"},
        {{ToolKind::codex}, "Codex (terminal)"},
        {{ToolKind::claudeDesktop, ToolKind::codex}, "Claude app and Codex (terminal)"},
        {{ToolKind::claudeDesktop, ToolKind::chatGPTApp, ToolKind::claudeCode},
         "Claude app, ChatGPT app and Claude Code (terminal)"},
        // Stored order is ToolKind order, whatever order they were given in.
        {{ToolKind::codex, ToolKind::chatGPTApp}, "ChatGPT app and Codex (terminal)"},
        {{ToolKind::claudeDesktop, ToolKind::chatGPTApp, ToolKind::claudeCode, ToolKind::codex},
         "Claude, ChatGPT and the terminal"},
    };
    for (const auto& c : cases) {
        const Profile p = tltest::profile("p-1", "P", Profile::Storage::managed, c.tools);
        EXPECT_EQ(functionSummary(p), c.summary) << c.summary;
    }
}

TEST(MenuLabel, ThirtyCharactersStayWholeThirtyOneAreCut) {
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; // one character
    const std::string combining = "e\u0301";                                 // one character
    const struct {
        std::string label;
        std::string shown;
    } cases[] = {
        {std::string(29, 'a'), std::string(29, 'a')},
        {std::string(30, 'a'), std::string(30, 'a')},
        {std::string(31, 'a'), std::string(29, 'a') + "…"},
        {"Claude — Extraordinarily Long Profile Name", "Claude — Extraordinarily Long…"},
        // An emoji sequence or a combining mark is one character: 30 stay whole.
        {family + std::string(29, 'b'), family + std::string(29, 'b')},
        {std::string(29, 'c') + combining, std::string(29, 'c') + combining},
        {family + std::string(30, 'b'), family + std::string(28, 'b') + "…"},
        {std::string(28, 'c') + combining + "xy", std::string(28, 'c') + combining + "…"},
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(menuLabel(c.label), c.shown) << c.label;
    }
}

} // namespace

namespace {

TEST(Labels, AMenuLabelIsolatesTheNameAndCountsOnlyWhatIsSeen) {
    const std::string fsi = "\u2068", pdi = "\u2069";
    const struct {
        std::string before, name, after, shown;
    } cases[] = {
        {"Claude — ", "Work", "", "Claude — " + fsi + "Work" + pdi},
        // 42 seen characters: the cut falls in the name, which stays isolated.
        {"Claude — ", "Extraordinarily Long Profile Name", "",
         "Claude — " + fsi + "Extraordinarily Long" + pdi + "…"},
        // The name's own bidi controls are not shown and not counted: 30 stay whole.
        {"", "\u202E" + std::string(30, 'a') + "\u202C", "", fsi + std::string(30, 'a') + pdi},
        // The cut falls after the name.
        {"\u26A0\uFE0E ", "Work", " needs signing in… and more words",
         "\u26A0\uFE0E " + fsi + "Work" + pdi + " needs signing in… and …"},
        // The cut falls before it: no name, no isolate.
        {std::string(29, 'x') + " ", "Work", "", std::string(29, 'x') + "…"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(menuLabel(c.before, c.name, c.after), c.shown) << c.before << c.name;
    }
}

} // namespace
