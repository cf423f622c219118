#include "core/tools/KeychainStatus.h"

#include <gtest/gtest.h>

using namespace twinlantern;

TEST(KeychainStatus, ErrorTexts) {
    struct Case {
        std::int32_t status;
        std::string text;
    };
    const Case cases[] = {
        {-25300, "Keychain error -25300: The specified item could not be found in the keychain."},
        {-99999, "Keychain error -99999: unknown"},
    };
    for (const auto& c : cases) {
        const TwinLanternError error = keychainError(c.status);
        EXPECT_EQ(error.what(), c.text);
        EXPECT_EQ(error.kind(), TwinLanternError::Kind::keychain);
        EXPECT_EQ(error.code(), c.status);
    }
}
