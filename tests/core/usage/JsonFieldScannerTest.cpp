#include "core/usage/JsonFieldScanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace twinlantern;

namespace {

using Result = JsonFieldScanner::Result;
using Value = JsonFieldScanner::Value;

const JsonFieldScanner::KeyPath ab{"a", "b"};
const JsonFieldScanner::KeyPath c{"c"};

std::optional<Result> scanAbC(std::string_view line) {
    static const JsonFieldScanner scanner({ab, c});
    return scanner.scan(line);
}

struct Case {
    const char* name;
    std::string line;
    std::optional<Result> expected;
};

Result only(const JsonFieldScanner::KeyPath& path, Value value) {
    return Result{{path, value}};
}

} // namespace

TEST(JsonFieldScanner, CasesAsOneTable) {
    const std::optional<Result> refused;
    const Result empty;
    const Case cases[] = {
        // What is found where.
        {"nested wanted int", R"({"a":{"b":5}})", only(ab, std::int64_t{5})},
        {"b at the top level is not a.b", R"({"b":5})", empty},
        {"wanted path holding an object", R"({"c":{"x":1},"a":{"b":[1,2]}})", empty},
        {"later duplicate wins", R"({"c":1,"c":"two"})", only(c, std::string("two"))},
        {"both paths", R"({"c":"x","a":{"z":[{"b":1}],"b":-3}})",
         Result{{ab, std::int64_t{-3}}, {c, std::string("x")}}},
        {"array positions are never paths", R"({"a":[{"b":1}]})", empty},
        // Whitespace: only space, tab, line feed and carriage return.
        {"all four whitespace bytes", " \t{ \"c\" \r\n: \t7 } \r", only(c, std::int64_t{7})},
        {"vertical tab is not whitespace", "\v{\"c\":1}", refused},
        {"form feed after the object", "{\"c\":1}\f", refused},
        {"blank line", "   ", refused},
        {"empty line", "", refused},
        {"empty object", "{}", empty},
        {"not an object", "[1]", refused},
        // Numbers at the limits.
        {"int64 max", R"({"c":9223372036854775807})", only(c, INT64_MAX)},
        {"int64 min", R"({"c":-9223372036854775808})", only(c, INT64_MIN)},
        {"past int64 max reads as a double out of range", R"({"c":9223372036854775808})", empty},
        {"leading plus", R"({"c":+12})", only(c, std::int64_t{12})},
        {"fraction truncated", R"({"c":1.9})", only(c, std::int64_t{1})},
        {"negative fraction toward zero", R"({"c":-2.5})", only(c, std::int64_t{-2})},
        {"exponent", R"({"c":1e3})", only(c, std::int64_t{1000})},
        {"huge double stores nothing", R"({"c":1e300})", empty},
        {"infinity stores nothing", R"({"c":inf})", empty},
        {"nan stores nothing", R"({"c":nan})", empty},
        {"largest double below 2^63", R"({"c":9223372036854774784.0})",
         only(c, std::int64_t{9223372036854774784})},
        {"true", R"({"c":true})", empty},
        {"null", R"({"c":null})", empty},
        {"malformed number", R"({"c":12ab})", empty},
        {"lone sign", R"({"c":-})", empty},
        // Strings and escapes.
        {"escaped quote", R"({"c":"say \"hi\""})", only(c, std::string("say \"hi\""))},
        {"escaped backslash", R"({"c":"a\\b"})", only(c, std::string("a\\b"))},
        {"other escapes stay", R"({"c":"\n\t\/\u0041"})", only(c, std::string(R"(\n\t\/\u0041)"))},
        {"escaped key", R"({"\u0063":1,"a":{"\"b":2}})", empty},
        {"invalid UTF-8 replaced", "{\"c\":\"x\xff\"}", only(c, std::string("x\xEF\xBF\xBD"))},
        {"truncated UTF-8 sequence replaced once", "{\"c\":\"\xE2\x82\"}",
         only(c, std::string("\xEF\xBF\xBD"))},
        // Skipped values.
        {"mismatched brackets in a skipped value", R"({"x":{"y":[1}],"c":3})",
         only(c, std::int64_t{3})},
        {"brackets inside skipped strings", R"({"x":["}]\"{",{"q":"]"}],"c":4})",
         only(c, std::int64_t{4})},
        {"skipped scalar keeps its spaces", R"({"x":1 2,"c":5})", only(c, std::int64_t{5})},
        {"open string in a skipped value", R"({"x":["abc],"c":1})", refused},
        {"open string at the end", R"({"c":"abc)", refused},
        {"backslash at the end", "{\"c\":\"abc\\", refused},
        {"unclosed skipped object", R"({"x":{"y":1,"c":1})", refused},
        // Broken objects give nothing.
        {"trailing comma", R"({"c":1,})", refused},
        {"garbage after the object", R"({"c":1}x)", refused},
        {"second object", R"({"c":1}{})", refused},
        {"key not a string", R"({c:1})", refused},
        {"missing colon", R"({"c" 1})", refused},
        {"missing comma", R"({"c":1 "x":2})", refused},
        {"empty scalar", R"({"c":,"x":1})", refused},
        {"skipped empty scalar", R"({"x":,"c":1})", refused},
        {"ends inside an object", R"({"a":{"b":1)", refused},
        {"ends after a colon", R"({"c":)", refused},
        {"wanted array unterminated", R"({"a":{"b":[1,2)", refused},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(scanAbC(test.line), test.expected) << test.name;
    }
}

TEST(JsonFieldScanner, PrefixesCoverEveryLeadingPath) {
    JsonFieldScanner scanner({{"m", "u", "i"}, {"t"}});
    const std::set<JsonFieldScanner::KeyPath> expected{
        {}, {"m"}, {"m", "u"}, {"m", "u", "i"}, {"t"}};
    EXPECT_EQ(scanner.prefixes(), expected);
    const std::set<JsonFieldScanner::KeyPath> emptyPath{JsonFieldScanner::KeyPath{}};
    EXPECT_EQ(JsonFieldScanner(emptyPath).prefixes(), emptyPath);
}

TEST(JsonFieldScanner, ReusedCapturesCarryNothingOverFromLineToLine) {
    const JsonFieldScanner scanner({ab, c});
    const std::vector<std::string> lines = {
        R"({"c":"with \"quotes\" and \\ here","a":{"b":1.9}})",
        R"({"a":{"b":"x"}})",
        R"({"c":"plain"})",
        "{\"c\":\"caf\xC3\xA9 \xFF\"}",
        R"({"c":"open)",
        R"({"x":1})",
        R"({"c\"":2,"a":{"b":-7}})",
        R"({"c":true,"a":{"b":"\\\""}})",
    };
    const std::size_t abSlot = scanner.slotOf(ab), cSlot = scanner.slotOf(c);
    EXPECT_EQ(scanner.slotOf({"a"}), scanner.paths().size());
    auto asResult = [&](const JsonFieldScanner::Captures& captures) {
        Result result;
        for (auto [path, slot] : {std::pair{ab, abSlot}, std::pair{c, cSlot}}) {
            const auto& found = captures.slots[slot];
            if (found.kind == JsonFieldScanner::Captured::Kind::text) {
                result.emplace(path, std::string(found.text));
            } else if (found.kind == JsonFieldScanner::Captured::Kind::integer) {
                result.emplace(path, found.integer);
            }
        }
        return result;
    };
    // Forwards and backwards through one set of captures: each line as if scanned alone.
    JsonFieldScanner::Captures captures;
    for (int pass = 0; pass < 2; ++pass) {
        for (std::size_t k = 0; k < lines.size(); ++k) {
            const std::string& line = lines[pass == 0 ? k : lines.size() - 1 - k];
            const bool accepted = scanner.scan(line, captures);
            const std::optional<Result> alone = scanner.scan(line);
            ASSERT_EQ(accepted, alone.has_value()) << line;
            if (accepted) {
                EXPECT_EQ(asResult(captures), *alone) << line;
            }
        }
    }
    ASSERT_TRUE(scanner.scan(lines[0], captures));
    EXPECT_EQ(asResult(captures),
              (Result{{c, std::string(R"(with "quotes" and \ here)")}, {ab, std::int64_t{1}}}));
}
