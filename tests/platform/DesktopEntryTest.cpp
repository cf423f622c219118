#include "platform/DesktopEntry.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace twinlantern {
namespace {

TEST(DesktopEntryTest, ExecArgumentQuotesOnlyWhatItMust) {
    struct Case {
        std::string argument;
        std::optional<std::string> exec;
    };
    for (const Case& c : {
             Case{"/usr/bin/app", "/usr/bin/app"},
             Case{"/p%q", "/p%%q"},
             Case{"/a b/app", "\"/a b/app\""},
             Case{"/a\"b", "\"/a\\\\\"b\""},
             Case{"/x$y`z`", "\"/x\\\\$y\\\\`z\\\\`\""},
             Case{"/back\\slash", "\"/back\\\\\\\\slash\""},
             Case{"/it's ~/x;y", "\"/it's ~/x;y\""},
             Case{"/Ünïcødé—/app", "/Ünïcødé—/app"},
             Case{"", "\"\""},
             Case{"/line\nbreak", std::nullopt},
             Case{"/tab\there", std::nullopt},
         }) {
        EXPECT_EQ(DesktopEntry::execArgument(c.argument), c.exec) << c.argument;
    }
}

TEST(DesktopEntryTest, ExecArgumentsUndoTheQuoting) {
    const std::vector<std::string> hostile{"/a b/O'Brien \"x\" $(id) `id` \\ %s %u", "/plain",
                                           "/Ünï cødé", "100%", "\\\\"};
    for (const auto& argument : hostile) {
        const auto exec = DesktopEntry::execArgument(argument);
        ASSERT_TRUE(exec);
        EXPECT_EQ(DesktopEntry::execArguments(*exec + " %u"),
                  (std::vector<std::string>{argument, "%u"}))
            << *exec;
    }
    for (const char* bad : {"\"/unclosed", "\"/a\\\\q\"", "/trailing\\", "\"/a\"b"}) {
        EXPECT_EQ(DesktopEntry::execArguments(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(DesktopEntry::execArguments("  /a\\sb  x "),
              (std::vector<std::string>{"/a", "b", "x"}));
}

TEST(DesktopEntryTest, ValueComesFromTheDesktopEntryGroupOnly) {
    const std::string text = "# Exec=/comment\n[Desktop Action x]\nExec=/action\n"
                             "[Desktop Entry]\nName=N\nExec = /real %u \n";
    EXPECT_EQ(DesktopEntry::value(text, "Exec"), "/real %u");
    EXPECT_EQ(DesktopEntry::value("[Other]\nExec=/x\n", "Exec"), std::nullopt);
}

} // namespace
} // namespace twinlantern
