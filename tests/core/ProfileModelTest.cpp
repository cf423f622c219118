#include "core/Profile.h"

#include <gtest/gtest.h>

using namespace twinlantern;

TEST(ProfileModel, Smoke) {
    EXPECT_TRUE(ProfileID("work-ab12").isValid());
}
