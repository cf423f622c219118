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
             Case{"/line\nbreak", "\"/line\\nbreak\""},
             Case{"/tab\there", "\"/tab\\there\""},
             Case{"/bell\a", std::nullopt},
             Case{"/esc\x1b[31m", std::nullopt},
             Case{"/del\x7f", std::nullopt},
         }) {
        EXPECT_EQ(DesktopEntry::execArgument(c.argument), c.exec) << c.argument;
    }
}

TEST(DesktopEntryTest, ExecArgumentsUndoTheQuoting) {
    const std::vector<std::string> hostile{"/a b/O'Brien \"x\" $(id) `id` \\ %s %u",
                                           "/plain",
                                           "/Ünï cødé",
                                           "100%",
                                           "\\\\",
                                           "/a\nb\r\tc"};
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

TEST(DesktopEntryTest, ExecWrapsOnlyAProgramWithPercentAndCommandTakesTheWrapperOff) {
    EXPECT_EQ(DesktopEntry::exec("/usr/bin/app", {"--flag"}, "%u"), "/usr/bin/app --flag %u");
    EXPECT_EQ(DesktopEntry::exec("/a=b/app"), "/a=b/app");
    EXPECT_EQ(DesktopEntry::exec("/100%/app", {"x"}),
              "/bin/sh -c \"exec \\\\\"\\\\$0\\\\\" \\\\\"\\\\$@\\\\\"\" /100%%/app x");
    EXPECT_EQ(DesktopEntry::exec("/esc\x1b"), std::nullopt);
    EXPECT_EQ(DesktopEntry::exec("/ok", {"bad\x01"}), std::nullopt);
    for (const std::string program : {"/100%/a b/app", "/plain/app", "/%=/\n/app"}) {
        EXPECT_EQ(DesktopEntry::command(*DesktopEntry::exec(program, {"-x"}, "%u")),
                  (std::vector<std::string>{program, "-x", "%u"}));
    }
    // Someone else's shell line is what it runs.
    EXPECT_EQ(DesktopEntry::command("/bin/sh -c \"echo\" x"),
              (std::vector<std::string>{"/bin/sh", "-c", "echo", "x"}));
}

TEST(DesktopEntryTest, ValueComesFromTheDesktopEntryGroupOnly) {
    const std::string text = "# Exec=/comment\n[Desktop Action x]\nExec=/action\n"
                             "[Desktop Entry]\nName=N\nExec = /real %u \n";
    EXPECT_EQ(DesktopEntry::value(text, "Exec"), "/real %u");
    EXPECT_EQ(DesktopEntry::value("[Other]\nExec=/x\n", "Exec"), std::nullopt);
}

} // namespace
} // namespace twinlantern
