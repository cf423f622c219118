#include "core/base/ShellQuote.h"

#include <gtest/gtest.h>

using namespace twinlantern;

TEST(ShellQuote, BareOrQuoted) {
    const std::pair<std::string, std::string> cases[] = {
        {"", "''"},
        {"/usr/local/bin/claude", "/usr/local/bin/claude"},
        {"caf\u00e9-1.2_x:y=z@a%b+c,d", "caf\u00e9-1.2_x:y=z@a%b+c,d"},
        {"\u0663\u2167", "\u0663\u2167"}, // digits and letter numbers of other scripts
        {"a b", "'a b'"},
        {"$HOME", "'$HOME'"},
        {"~", "'~'"},
        {"*", "'*'"},
        {"it's", "'it'\\''s'"},
        // A prepended letter forms one character with the ";" after it.
        {"a\u0D4E;reboot", "'a\u0D4E;reboot'"},
        {"e\u0301", "'e\u0301'"}, // a combining mark is neither letter nor number
        {"bad\xff", "'bad\xff'"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(ShellQuote::quote(input), expected) << input;
    }
}
