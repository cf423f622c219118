#include "core/base/JsonDecode.h"
#include "core/profiles/Profile.h"
#include "core/profiles/ProfileDocumentReader.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

using namespace twinlantern;

TEST(ProfileID, Validity) {
    struct Case {
        std::string id;
        bool valid;
    };
    const Case cases[] = {
        {"", false},
        {std::string(40, 'a'), true},
        {std::string(41, 'a'), false},
        {"-work", false},
        {"work-", false},
        {"wo--rk", false},
        {"Work", false},
        {"wo_rk", false},
        {"caf\u00e9", false},
        {"a", true},
        {"7", true},
        {"a-b-c", true},
        {"work 1", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ProfileID(c.id).isValid(), c.valid) << '"' << c.id << '"';
    }
}

TEST(ProfileID, GenerateSlugs) {
    struct Case {
        std::string name;
        std::string slug;
    };
    const Case cases[] = {
        {"Work", "work"},
        {"  Work, & Play!! ", "work-play"},
        {std::string(30, 'x'), std::string(20, 'x')},
        {"abcdefghijklmnopqrs tuv", "abcdefghijklmnopqrs"}, // 20th slug character is "-"
        {"!!!", "profile"},
        {"", "profile"},
        {"Caf\u00e9 cr\u00e8me", "cafe-creme"},
        {"\u65e5\u672c", "profile"},
    };
    for (const auto& c : cases) {
        ProfileID id = ProfileID::generate(c.name, {});
        EXPECT_TRUE(id.isValid()) << id.rawValue;
        ASSERT_EQ(id.rawValue.size(), c.slug.size() + 5) << c.name;
        EXPECT_EQ(id.rawValue.substr(0, c.slug.size() + 1), c.slug + "-") << c.name;
        for (char ch : id.rawValue.substr(c.slug.size() + 1)) {
            EXPECT_NE(std::string_view("abcdefghijkmnpqrstuvwxyz23456789").find(ch),
                      std::string_view::npos);
        }
    }
}

TEST(ProfileID, GenerateAvoidsIdsInUse) {
    // With all but one suffix taken, the generator must keep drawing until it finds it.
    const std::string alphabet = "abcdefghijkmnpqrstuvwxyz23456789";
    std::set<ProfileID> used;
    for (char a : alphabet) {
        for (char b : alphabet) {
            for (char c : alphabet) {
                used.insert(ProfileID(std::string("x-") + a + b + c + 'a'));
            }
        }
    }
    for (int i = 0; i < 20; ++i) {
        ProfileID id = ProfileID::generate("x", used);
        EXPECT_FALSE(used.contains(id));
        EXPECT_NE(id.rawValue.back(), 'a');
    }
}

TEST(ToolKind, TablesAndArguments) {
    EXPECT_STREQ(dataFolderName(ToolKind::claudeDesktop), "desktop");
    EXPECT_STREQ(rawValue(ToolKind::chatGPTApp), "chatgpt-app");
    EXPECT_TRUE(isApp(ToolKind::chatGPTApp));
    EXPECT_FALSE(isApp(ToolKind::codex));
    EXPECT_EQ(toolKindFromArgument("ClAuDe"), ToolKind::claudeCode);
    EXPECT_EQ(toolKindFromArgument("CODEX-APP"), ToolKind::chatGPTApp);
    EXPECT_EQ(toolKindFromArgument(" codex"), std::nullopt);
    EXPECT_EQ(toolKindFromRawValue("Codex"), std::nullopt);
    EXPECT_LT(ToolKind::claudeDesktop, ToolKind::chatGPTApp);
    EXPECT_LT(ToolKind::claudeCode, ToolKind::codex);
}

TEST(ProfileColor, HexAndRgb) {
    EXPECT_STREQ(hex(ProfileColor::blue), "#2563EB");
    EXPECT_EQ(rgb(ProfileColor::blue), (RGB{0x25, 0x63, 0xEB}));
    EXPECT_EQ(rgb(ProfileColor::graphite), (RGB{0x4B, 0x55, 0x63}));
}

TEST(Profile, ToolsStaySortedAndUnique) {
    Profile p(ProfileID("a"), "A", ProfileColor::blue, std::nullopt,
              {ToolKind::codex, ToolKind::claudeDesktop, ToolKind::codex},
              Profile::Storage::managed);
    EXPECT_EQ(p.tools(), (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::codex}));
    p.addTool(ToolKind::chatGPTApp);
    p.addTool(ToolKind::codex);
    EXPECT_EQ(p.tools(), (std::vector<ToolKind>{ToolKind::claudeDesktop, ToolKind::chatGPTApp,
                                                ToolKind::codex}));
    p.removeTool(ToolKind::claudeDesktop);
    EXPECT_TRUE(p.uses(ToolKind::codex));
    EXPECT_FALSE(p.uses(ToolKind::claudeDesktop));
}

TEST(Profile, DefaultBadge) {
    struct Case {
        std::string name, badge;
    };
    const Case cases[] = {
        {"work personal", "WP"},
        {"acme-dev_team", "AD"},
        {"x", "X"},
        {"", "?"},
        {" - _ ", "?"},
        {"stra\u00dfe", "S"},
        {"\u00dfig", "SS"},
        {"\u00e9lan vital", "\u00c9V"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Profile::defaultBadge(c.name), c.badge) << c.name;
    }
}

TEST(Profile, JsonDefaultsAndErrors) {
    auto p = ProfileDocumentReader::decodeProfile(
        R"({"id":"Odd Id!","name":"work personal","extra":1})");
    EXPECT_EQ(p.id.rawValue, "Odd Id!");
    EXPECT_EQ(p.color, ProfileColor::graphite);
    EXPECT_EQ(p.badge, "WP");
    EXPECT_EQ(p.tools().size(), 4u);
    EXPECT_EQ(p.storage, Profile::Storage::managed);

    auto q = ProfileDocumentReader::decodeProfile(
        R"({"id":"a","name":"n","badge":"","tools":[],"color":null})");
    EXPECT_EQ(q.badge, "");
    EXPECT_TRUE(q.tools().empty());
    EXPECT_EQ(q.color, ProfileColor::graphite);

    for (const char* bad :
         {R"({"name":"n"})", R"({"id":1,"name":"n"})", R"({"id":"a","name":"n","color":"red"})",
          R"({"id":"a","name":"n","tools":["vim"]})", R"({"id":"a","name":"n","tools":"codex"})",
          R"({"id":"a","name":"n","storage":"shared"})"}) {
        EXPECT_THROW(ProfileDocumentReader::decodeProfile(bad), JsonDecodeError) << bad;
    }

    nlohmann::json round = q;
    EXPECT_EQ(
        round.dump(),
        R"({"badge":"","color":"graphite","id":"a","name":"n","storage":"managed","tools":[]})");
    EXPECT_EQ(ProfileDocumentReader::decodeProfile(round.dump()), q);
}
