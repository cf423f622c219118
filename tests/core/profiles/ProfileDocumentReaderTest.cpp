#include "core/profiles/ProfileDocumentReader.h"
#include "core/base/JsonDecode.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;

namespace {

bool syntaxOk(std::string_view text, std::optional<std::int64_t>* version = nullptr) {
    std::optional<std::int64_t> v;
    try {
        ProfileDocumentReader::checkSyntax(text, v);
    } catch (const JsonDecodeError&) {
        return false;
    }
    if (version != nullptr) {
        *version = v;
    }
    return true;
}

} // namespace

// The reader must agree with a general JSON parser on what is JSON at all.
TEST(ProfileDocumentReader, SyntaxAgreesWithAGeneralParser) {
    const std::string cases[] = {
        "{}",
        "[]",
        "  {\"a\" : [1, 2.5, -0, 1e9, 1E-2, true, false, null, \"x\"]}\n",
        "\"just a string\"",
        "42",
        "{\"k\":\"\\u00e9\\ud83d\\ude00\\n\\t\\\\\\/\\\"\"}",
        "{\"caf\xc3\xa9\":\"\xf0\x9f\x98\x80\"}",
        "\xEF\xBB\xBF{}",
        "[1e308]",
        "[1e309]",
        "[-1e400]",
        "[1e-400]",
        "[" + std::string(400, '9') + "]",
        "[18446744073709551616]",
        // broken
        "",
        " ",
        "{",
        "}",
        "{\"a\":1,}",
        "[1,]",
        "[01]",
        "[1.]",
        "[.5]",
        "[1e]",
        "[-]",
        "[+1]",
        "{'a':1}",
        "{\"a\" 1}",
        "{\"a\":1 \"b\":2}",
        "[\"\\ud800\"]",
        "[\"\\udc00\"]",
        "[\"\\ud800\\u0041\"]",
        "[\"\\x\"]",
        "[\"\\u12\"]",
        "[\"tab\there\"]",
        "[\"\xc0\xaf\"]",
        "[\"\xed\xa0\x80\"]",
        "[\"\xf5\x80\x80\x80\"]",
        "[\"\xe2\x82\"]",
        "{\"a\":1} x",
        "{} {}",
        "[tru]",
        "[nul]",
        "NaN",
        "[Infinity]",
        "\"unterminated",
        std::string("[\"nul\0inside\"]", 14),
        "[1,\n2",
        std::string(10000, '[') + std::string(10000, ']'),
        std::string(10000, '[') + std::string(9999, ']'),
    };
    for (const auto& text : cases) {
        EXPECT_EQ(syntaxOk(text), nlohmann::json::accept(text)) << '"' << text.substr(0, 60) << '"';
    }
}

TEST(ProfileDocumentReader, VersionProbe) {
    struct Case {
        std::string text;
        std::optional<std::int64_t> version;
    };
    const Case cases[] = {
        {R"({"version":5})", 5},
        {R"({"version":-3,"x":[1]})", -3},
        {R"({"version":1.0})", std::nullopt},
        {R"({"version":"2"})", std::nullopt},
        {R"({"version":9223372036854775807})", INT64_MAX},
        {R"({"version":9223372036854775808})", std::nullopt},
        {R"({"version":-9223372036854775808})", INT64_MIN},
        {R"({"nested":{"version":7}})", std::nullopt},
        {R"({"version":1,"version":3})", 3},
        {R"({"ver\u0073ion":4})", 4},
        {R"([{"version":2}])", std::nullopt},
    };
    for (const auto& c : cases) {
        std::optional<std::int64_t> version;
        ASSERT_TRUE(syntaxOk(c.text, &version)) << c.text;
        EXPECT_EQ(version, c.version) << c.text;
    }
}

TEST(ProfileDocumentReader, DecodesWhatJsonMeans) {
    // Escaped keys and values, unknown members at every level, the last of two equal keys.
    auto d = ProfileDocumentReader::decodeDocument(R"({
        "v2field": {"deep": [[{}]]},
        "version": 1,
        "profiles": [{"\u0069d": "w\u00f6rk", "name": "W\u00f6rk \ud83d\ude00", "color": "red", "color": "pink",
                      "tools": ["codex", "claude-desktop", "codex"], "future": null}],
        "rules": [{"path": "~\/src\/**", "profileID": "w\u00f6rk", "note": 1}],
        "cliDefault": "x", "cliDefault": null
    })");
    ASSERT_EQ(d.profiles.size(), 1u);
    EXPECT_EQ(d.profiles[0].id.rawValue, "w\u00f6rk");
    EXPECT_EQ(d.profiles[0].name, "W\u00f6rk \U0001F600");
    EXPECT_EQ(d.profiles[0].color, ProfileColor::pink);
    EXPECT_EQ(d.profiles[0].badge, "W\U0001F600");
    EXPECT_EQ(d.profiles[0].tools(),
              (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
    EXPECT_EQ(d.rules, (std::vector<FolderRule>{FolderRule("~/src/**", ProfileID("w\u00f6rk"))}));
    EXPECT_EQ(d.cliDefault, std::nullopt);
}

TEST(ProfileDocumentReader, ShapeErrorsNameThePlace) {
    struct Case {
        std::string text;
        std::string message;
    };
    const Case cases[] = {
        {R"([])", "the file should hold an object but holds an array"},
        {R"({"profiles":[],"rules":[]})", "the document has no \"version\""},
        {R"({"version":1.5,"profiles":[],"rules":[]})", "\"version\" should be an integer"},
        {R"({"version":1,"rules":[]})", "the document has no \"profiles\""},
        {R"({"version":1,"profiles":null,"rules":[]})",
         "\"profiles\" should be an array but is null"},
        {R"({"version":1,"profiles":[],"rules":{}})",
         "\"rules\" should be an array but is an object"},
        {R"({"version":1,"profiles":[7],"rules":[]})",
         "a profile should be an object but is a number"},
        {R"({"version":1,"profiles":[{"id":"a"}],"rules":[]})",
         "the profile \"a\" has no \"name\""},
        {R"({"version":1,"profiles":[{"id":"a","name":"n","tools":[1]}],"rules":[]})",
         "the profile \"a\"'s \"tools\" should be an array of strings but is an array holding a "
         "number"},
        {R"({"version":1,"profiles":[{"id":"a","name":"n","storage":"shared"}],"rules":[]})",
         "the profile \"a\" has the unknown storage \"shared\""},
        {R"({"version":1,"profiles":[],"rules":[{"path":"/x"}]})", "a rule has no \"profileID\""},
        {R"({"version":1,"profiles":[],"rules":[],"cliDefault":3})",
         "\"cliDefault\" should be a string but is a number"},
    };
    for (const auto& c : cases) {
        try {
            ProfileDocumentReader::decodeDocument(c.text);
            ADD_FAILURE() << c.text;
        } catch (const JsonDecodeError& e) {
            EXPECT_TRUE(std::string(e.what()).starts_with(c.message)) << e.what();
        }
    }
}
