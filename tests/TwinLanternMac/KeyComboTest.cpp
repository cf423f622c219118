#include "TwinLanternMac/services/KeyCombo.h"

#include "core/base/JsonDecode.h"
#include "platform/KeyboardLayout.h"
#include "platform/test/FakeKeyboardLayout.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/XvfbServer.h"

#include <gtest/gtest.h>

using namespace twinlantern;
using platform::test::FakeKeyboardLayout;

namespace {

struct FromEvent {
    const char* what;
    KeyEvent event;
    std::optional<KeyCombo> expected;
    std::string display;
};

TEST(KeyCombo, FromAKeyEventAndItsText) {
    FakeKeyboardLayout us;
    us.keys = {{40, "k"}, {0, "a"}};
    const FromEvent cases[] = {
        {"control option K",
         {40, KeyEvent::controlFlag | KeyEvent::optionFlag},
         KeyCombo{40, 0x1800},
         "⌃⌥K"},
        {"command shift space",
         {49, KeyEvent::commandFlag | KeyEvent::shiftFlag},
         KeyCombo{49, 0x300},
         "⇧⌘Space"},
        {"all four, fixed order",
         {0, KeyEvent::shiftFlag | KeyEvent::commandFlag | KeyEvent::optionFlag |
                 KeyEvent::controlFlag},
         KeyCombo{0, 0x1b00},
         "⌃⌥⇧⌘A"},
        {"other flags ignored",
         {40, KeyEvent::optionFlag | 0x10000 | 0x800000 | 0xff},
         KeyCombo{40, 0x800},
         "⌥K"},
        {"shift alone", {40, KeyEvent::shiftFlag}, std::nullopt, ""},
        {"nothing held", {40, 0}, std::nullopt, ""},
        {"caps lock and fn only", {40, 0x10000 | 0x800000}, std::nullopt, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto combo = KeyCombo::fromEvent(c.event);
        EXPECT_EQ(combo, c.expected);
        if (combo) {
            EXPECT_EQ(combo->display(us), c.display);
        }
    }
}

TEST(KeyCombo, FixedNamesComeBeforeTheLayout) {
    FakeKeyboardLayout layout;
    const std::pair<std::uint32_t, const char*> named[] = {
        {49, "Space"}, {36, "↩"},  {48, "⇥"},  {53, "⎋"},  {51, "⌫"},
        {123, "←"},    {124, "→"}, {126, "↑"}, {125, "↓"},
    };
    for (const auto& [code, name] : named) {
        layout.keys[code] = std::string(1, 'x'); // `= "x"` trips GCC 12's -Wrestrict at -O3
        EXPECT_EQ(KeyCombo::keyName(code, layout), name) << code;
    }
    EXPECT_TRUE(layout.asked.empty());
}

TEST(KeyCombo, WhatTheLayoutTypesIsUpperCasedOrTheCodeShown) {
    FakeKeyboardLayout layout;
    layout.keys = {{12, "q"},    {41, "ö"}, {27, "ß"},        {50, "`"},    {60, "\x1b"},
                   {61, "\r\n"}, {62, ""},  {63, "\xc2\x85"}, {64, "\x7f"}, {65, "\xff"}};
    EXPECT_EQ(KeyCombo::keyName(12, layout), "Q");
    EXPECT_EQ(KeyCombo::keyName(41, layout), "Ö");
    EXPECT_EQ(KeyCombo::keyName(27, layout), "SS"); // full case mapping
    EXPECT_EQ(KeyCombo::keyName(50, layout), "`");
    // Control characters (Escape, a line break, a C1 control, Delete) name nothing.
    EXPECT_EQ(KeyCombo::keyName(60, layout), "#60");
    EXPECT_EQ(KeyCombo::keyName(61, layout), "#61");
    EXPECT_EQ(KeyCombo::keyName(62, layout), "#62");
    EXPECT_EQ(KeyCombo::keyName(63, layout), "#63");
    EXPECT_EQ(KeyCombo::keyName(64, layout), "#64");
    EXPECT_EQ(KeyCombo::keyName(65, layout), "#65"); // not UTF-8
    EXPECT_EQ(KeyCombo::keyName(105, layout), "#105");
}

TEST(KeyCombo, ACodeNoKeyboardProducesIsShownWithoutAskingTheLayout) {
    FakeKeyboardLayout layout;
    layout.keys = {{70000, "x"}, {65536, "y"}, {4294967295u, "z"}};
    EXPECT_EQ(KeyCombo::keyName(70000, layout), "#70000");
    EXPECT_EQ(KeyCombo::keyName(65536, layout), "#65536");
    EXPECT_EQ((KeyCombo{4294967295u, KeyCombo::cmdKey}.display(layout)), "⌘#4294967295");
    EXPECT_TRUE(layout.asked.empty());
    layout.keys[65535] = "w";
    EXPECT_EQ(KeyCombo::keyName(65535, layout), "W");
}

TEST(KeyCombo, KeyNamesFromARealXServer) {
    tltest::XvfbServer xvfb;
    TL_REQUIRE_XVFB(xvfb);
    auto layout = platform::makeKeyboardLayout({{"DISPLAY", xvfb.display()}});
    EXPECT_EQ(KeyCombo::keyName(40, *layout), "K");
    EXPECT_EQ(KeyCombo::keyName(0, *layout), "A");
    EXPECT_EQ(KeyCombo::keyName(18, *layout), "1");
    EXPECT_EQ(KeyCombo::keyName(41, *layout), ";");
    EXPECT_EQ(KeyCombo::keyName(105, *layout), "#105"); // F13 types nothing
    EXPECT_EQ(KeyCombo::keyName(117, *layout), "#117"); // forward Delete types DEL
    EXPECT_EQ(KeyCombo::keyName(76, *layout), "#76");   // keypad Enter types "\r"
    EXPECT_EQ(KeyCombo::keyName(52, *layout), "#52");   // no such key
    EXPECT_EQ((KeyCombo{40, 0x1800}.display(*layout)), "⌃⌥K");
    EXPECT_EQ(layout->characters(40), "k");
}

TEST(KeyCombo, WithoutAnXServerTheLayoutHasNothing) {
    for (const Environment& environment :
         {Environment{}, Environment{{"DISPLAY", ""}}, Environment{{"DISPLAY", ":31999"}}}) {
        auto layout = platform::makeKeyboardLayout(environment);
        EXPECT_EQ(layout->characters(40), std::nullopt);
        EXPECT_EQ(KeyCombo::keyName(40, *layout), "#40");
    }
}

TEST(KeyCombo, JsonHasExactlyTheTwoKeys) {
    const KeyCombo combo{40, 0x1800};
    EXPECT_EQ(combo.toJson().dump(), R"({"keyCode":40,"modifiers":6144})");
    EXPECT_EQ(KeyCombo::fromJson(combo.toJson()), combo);
    EXPECT_EQ(KeyCombo::fromJson(nlohmann::json::parse(
                  R"({"keyCode":4294967295,"modifiers":0,"other":"ignored"})")),
              (KeyCombo{4294967295u, 0}));
}

TEST(KeyCombo, JsonOfTheWrongShapeFails) {
    struct Case {
        const char* json;
        const char* message;
    };
    const Case cases[] = {
        {R"({"modifiers":6144})", "the shortcut has no \"keyCode\""},
        {R"({"keyCode":40})", "the shortcut has no \"modifiers\""},
        {R"({"keyCode":-1,"modifiers":0})",
         "the shortcut's \"keyCode\" should be an unsigned 32-bit integer but is -1"},
        {R"({"keyCode":40,"modifiers":1.5})",
         "the shortcut's \"modifiers\" should be an unsigned 32-bit integer but is a number"},
        {R"({"keyCode":40.0,"modifiers":0})",
         "the shortcut's \"keyCode\" should be an unsigned 32-bit integer but is a number"},
        {R"({"keyCode":4294967296,"modifiers":0})",
         "the shortcut's \"keyCode\" should be an unsigned 32-bit integer but is 4294967296"},
        {R"({"keyCode":"40","modifiers":0})",
         "the shortcut's \"keyCode\" should be an unsigned 32-bit integer but is a string"},
        {R"({"keyCode":null,"modifiers":0})",
         "the shortcut's \"keyCode\" should be an unsigned 32-bit integer but is null"},
        {R"([40,6144])", "the shortcut should be an object but is an array"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.json);
        try {
            KeyCombo::fromJson(nlohmann::json::parse(c.json));
            ADD_FAILURE() << "decoded";
        } catch (const JsonDecodeError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

} // namespace
