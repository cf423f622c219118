// The text module's Unicode rules. tests/resolve runs these same cases against
// the resolver's build of ICU (static, with its data cut down), so both must agree.
#include "core/base/Text.h"

#include <gtest/gtest.h>
#include <unicode/utf8.h>

#include <string>

using namespace twinlantern;

TEST(Text, Utf8Sequence) {
    struct Case {
        std::string bytes;
        int expected; // length, or the invalid subpart's length negated
    };
    const Case cases[] = {
        {"A", 1},
        {"\xC3\xA9", 2},                      // é
        {"\xE2\x82\xAC", 3},                  // €
        {"\xF0\x9F\x98\x80", 4},              // 😀
        {"\xF4\x8F\xBF\xBF", 4},              // U+10FFFF
        {"\xC3\x28", -1},                     // lead byte, then no trail byte
        {"\xC0\xAF", -1},                     // overlong
        {"\xE0\x80\x80", -1},                 // overlong
        {"\xED\xA0\x80", -1},                 // surrogate
        {"\xF4\x90\x80\x80", -1},             // past U+10FFFF
        {"\xF5\x80", -1},                     // never a lead byte
        {"\x80", -1},                         // lone trail byte
        {std::string("\xE2\x82", 2), -2},     // cut short
        {std::string("\xF0\x9F\x98", 3), -3}, // cut short
        {"\xF0\x9F\x98\x41", -3},
    };
    for (const auto& c : cases) {
        const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
        EXPECT_EQ(text::utf8Sequence(p, c.bytes.size()), c.expected) << c.bytes;
    }
    // Only the bytes there are read: "é" with one byte available is cut short.
    EXPECT_EQ(text::utf8Sequence(reinterpret_cast<const unsigned char*>("\xC3\xA9"), 1), -1);
    EXPECT_TRUE(text::isValidUtf8("caf\xC3\xA9 \xF0\x9F\x98\x80"));
    EXPECT_FALSE(text::isValidUtf8("caf\xC3"));
    EXPECT_FALSE(text::isValidUtf8("\xED\xA0\x80"));
}

TEST(Text, Utf8ScalarValues) {
    struct Case {
        std::string bytes;
        char32_t expected;
    };
    const Case cases[] = {
        {"A", U'A'},
        {"\x7F", 0x7F},
        {"\xC2\x80", 0x80},
        {"\u00E9", 0xE9},
        {"\u07FF", 0x7FF},
        {"\u0800", 0x800},
        {"\u20AC", 0x20AC},
        {"\uFFFD", 0xFFFD},
        {"\U0001F600", 0x1F600},
        {"\U0010FFFF", 0x10FFFF},
    };
    for (const auto& c : cases) {
        const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
        const int length = text::utf8Sequence(p, c.bytes.size());
        ASSERT_EQ(length, static_cast<int>(c.bytes.size())) << c.bytes;
        EXPECT_EQ(text::utf8Scalar(p, length), c.expected) << c.bytes;
    }
}

// ICU's own decoder as the judge: every lead and second byte, the boundary values of the
// trail bytes, each length available.
TEST(Text, Utf8DecodingAgreesWithIcu) {
    const unsigned char trails[] = {0x41, 0x80, 0xBF, 0xC0};
    int disagreements = 0;
    for (int lead = 0; lead < 256; ++lead) {
        for (int second = 0; second < 256; ++second) {
            for (unsigned char third : trails) {
                for (unsigned char fourth : trails) {
                    const unsigned char bytes[] = {static_cast<unsigned char>(lead),
                                                   static_cast<unsigned char>(second), third,
                                                   fourth};
                    for (int available = 1; available <= 4; ++available) {
                        std::int32_t i = 0;
                        UChar32 icu = 0;
                        U8_NEXT(bytes, i, available, icu);
                        const int ours =
                            text::utf8Sequence(bytes, static_cast<std::size_t>(available));
                        const bool agree = icu < 0 ? ours == -i
                                                   : ours == i && text::utf8Scalar(bytes, ours) ==
                                                                      static_cast<char32_t>(icu);
                        if (!agree && ++disagreements <= 5) {
                            ADD_FAILURE() << std::hex << lead << " " << second << " " << int(third)
                                          << " " << int(fourth) << " of " << available << ": ICU "
                                          << icu << "/" << i << ", ours " << ours;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(disagreements, 0);
}

TEST(Text, FullCaseMapping) {
    struct Case {
        std::string text, lower, upper;
    };
    const Case cases[] = {
        {"Hello World", "hello world", "HELLO WORLD"},
        {"\u00C9cole", "\u00E9cole", "\u00C9COLE"},  // École
        {"Stra\u00DFe", "stra\u00DFe", "STRASSE"},   // ß becomes SS
        {"\uFB03", "\uFB03", "FFI"},                 // the ﬃ ligature
        {"\u0130", "i\u0307", "\u0130"},             // İ lowers to i + dot
        {"\u03A3\u0391\u03A3", "\u03C3\u03B1\u03C2", // ΣΑΣ: final sigma
         "\u03A3\u0391\u03A3"},
        {"\u01C5", "\u01C6", "\u01C4"}, // ǅ titlecase digraph
        {"\U0001F600 ok", "\U0001F600 ok", "\U0001F600 OK"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::lowercased(c.text), c.lower) << c.text;
        EXPECT_EQ(text::uppercased(c.text), c.upper) << c.text;
    }
}

TEST(Text, CaselessEqualFoldsFully) {
    struct Case {
        std::string a, b;
        bool equal;
    };
    const Case cases[] = {
        {"Work", "wORK", true},
        {"Work", "Works", false},
        {"Stra\u00DFe", "STRASSE", true}, // ß folds to ss
        {"\u00C9COLE", "\u00E9cole", true},
        {"\u03A3\u0391\u03A3", "\u03C3\u03B1\u03C2", true}, // σ and ς fold alike
        {"\uFB03", "ffi", true},
        {"e\u0301", "\u00E9", false}, // folding does not normalise
        {"K", "\u212A", true},        // the Kelvin sign
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::caselessEqual(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(text::caselessEqual(c.b, c.a), c.equal) << c.b << " / " << c.a;
    }
}

TEST(Text, UserPerceivedCharacters) {
    struct Case {
        std::string text;
        std::size_t count;
        std::string first;
    };
    const std::string family =
        "\U0001F469\u200D\U0001F469\u200D\U0001F467"; // woman, ZWJ, woman, ZWJ, girl
    const Case cases[] = {
        {"", 0, ""},
        {"abc", 3, "a"},
        {"\r\nx", 2, "\r\n"},
        {"e\u0301x", 2, "e\u0301"}, // e + combining acute
        {family + " team", 6, family},
        {"\U0001F1EB\U0001F1F7\U0001F1E9\U0001F1EA", 2, "\U0001F1EB\U0001F1F7"}, // two flags
        {"\u1100\u1161\u11A8!", 2, "\u1100\u1161\u11A8"},                        // jamo
        {"\U0001F44D\U0001F3FD", 1, "\U0001F44D\U0001F3FD"},                     // skin tone
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::characterCount(c.text), c.count) << c.text;
        EXPECT_EQ(text::firstCharacter(c.text), c.first) << c.text;
    }
}

TEST(Text, FirstCharactersKeepsWholeClusters) {
    struct Case {
        std::string text;
        std::size_t n;
        std::string first;
    };
    const std::string thumb = "\U0001F44D\U0001F3FD"; // thumbs up, skin tone
    const std::string family = "\U0001F469\u200D\U0001F469\u200D\U0001F467";
    const std::string flag = "\U0001F1EB\U0001F1F7";
    const Case cases[] = {
        {"", 2, ""},
        {"ABC", 0, ""},
        {"ABC", 2, "AB"},
        {"A", 2, "A"},
        {"\r\nx", 1, "\r\n"},
        {thumb + "X", 2, thumb + "X"},
        {thumb + "XY", 2, thumb + "X"},
        {family + flag + "!", 2, family + flag},
        {"e\u0301e\u0301e", 2, "e\u0301e\u0301"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::firstCharacters(c.text, c.n), c.first) << c.text << " " << c.n;
    }
}

TEST(Text, FoldedForSlugDropsMarksAndComposes) {
    struct Case {
        std::string text, folded;
    };
    const Case cases[] = {
        {"Work Stuff", "work stuff"},
        {"Cr\u00E8me Br\u00FBl\u00E9e", "creme brulee"},
        {"e\u0301t\u00E9", "ete"}, // decomposed and composed alike
        {"\u00C5ngstr\u00F6m", "angstrom"},
        {"\uAC00", "\uAC00"}, // Hangul decomposes and composes back
        {"\u0419", "\u0438"}, // Й loses its breve: и
    };
    for (const auto& c : cases) {
        EXPECT_EQ(text::foldedForSlug(c.text), c.folded) << c.text;
    }
}

TEST(Text, TerminalSafeShowsControlsAndBrokenBytes) {
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"Work ~/src/a b", "Work ~/src/a b"},
        {"", ""},
        {"x\033]0;PWNED\007\033[2J", "x\\x1B]0;PWNED\\x07\\x1B[2J"},
        {std::string("a\tb\rc\nd\0e", 9), "a\\x09b\\x0Dc\\x0Ad\\x00e"},
        {"del\x7F", "del\\x7F"},
        {"\xC2\x9B"
         "31m",
         "\\u009B31m"},                                        // CSI as UTF-8
        {"\xC2\x85\xC2\x80\xC2\x9F", "\\u0085\\u0080\\u009F"}, // NEL, the ends of C1
        {"\x9B"
         "2J",
         "\\x9B2J"},                                // a raw C1 byte, not UTF-8
        {"\xFF\xC2", "\\xFF\\xC2"},                 // broken and cut short
        {"\xE2\x82", "\\xE2\\x82"},                 // one maximal invalid subpart
        {"\xC2\xA0ü—😀 Ärger", "\xC2\xA0ü—😀 Ärger"}, // printable text stays
        {"\u202Eabc", "\u202Eabc"},                 // a format character is not a control
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text::terminalSafe(c.in), c.out) << c.out;
    }
}
