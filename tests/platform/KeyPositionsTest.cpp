#include "platform/KeyPositions.h"

#include <gtest/gtest.h>

#include <set>

using namespace twinlantern::platform;

namespace {

TEST(KeyPositions, KnownKeysBothWays) {
    const std::pair<std::uint32_t, std::uint32_t> known[] = {
        {40, 45},   // K
        {49, 65},   // Space
        {36, 36},   // Return
        {53, 9},    // Escape
        {105, 191}, // F13
        {0, 38},    // A
        {59, 37},   // Control
        {58, 64},   // Option: Alt
        {55, 133},  // Command: Super
        {123, 113}, // Left
        {122, 67},  // F1
    };
    for (const auto& [code, x] : known) {
        EXPECT_EQ(xKeycodeForVirtualKey(code), x) << code;
        EXPECT_EQ(virtualKeyForXKeycode(x), code) << x;
    }
}

TEST(KeyPositions, OneToOneAndNothingForKeysItLacks) {
    std::set<std::uint32_t> seen;
    for (std::uint32_t code = 0; code < 70000; ++code) {
        auto x = xKeycodeForVirtualKey(code);
        if (!x) {
            continue;
        }
        EXPECT_TRUE(seen.insert(*x).second) << "two keys at X keycode " << *x;
        EXPECT_GE(*x, 8u);
        EXPECT_LE(*x, 255u);
        EXPECT_EQ(virtualKeyForXKeycode(*x), code);
    }
    EXPECT_GT(seen.size(), 110u); // a full keyboard
    for (std::uint32_t code : {52u, 66u, 68u, 70u, 77u, 108u, 112u, 127u, 128u, 65535u, 70000u}) {
        EXPECT_EQ(xKeycodeForVirtualKey(code), std::nullopt) << code;
    }
    for (std::uint32_t x : {0u, 7u, 8u, 256u, 4294967295u}) {
        EXPECT_EQ(virtualKeyForXKeycode(x), std::nullopt) << x;
    }
}

} // namespace
