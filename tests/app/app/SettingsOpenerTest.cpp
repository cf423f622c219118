#include "TwinLanternApp/app/SettingsOpener.h"

#include <gtest/gtest.h>

using twinlantern::app::SettingsOpener;

namespace {

class SettingsOpenerTest : public ::testing::Test {
protected:
    void TearDown() override { SettingsOpener::setAction({}); }
};

TEST_F(SettingsOpenerTest, ARequestBeforeTheActionIsCarriedOutOnceWhenItComes) {
    int opened = 0;
    SettingsOpener::open();
    SettingsOpener::open();
    EXPECT_TRUE(SettingsOpener::pending());
    SettingsOpener::setAction({}); // no action yet: still waiting
    EXPECT_TRUE(SettingsOpener::pending());
    SettingsOpener::setAction([&] { ++opened; });
    EXPECT_EQ(opened, 1);
    EXPECT_FALSE(SettingsOpener::pending());
    SettingsOpener::setAction([&] { ++opened; }); // a new action doesn't repeat it
    EXPECT_EQ(opened, 1);
    SettingsOpener::open();
    EXPECT_EQ(opened, 2);
}

TEST_F(SettingsOpenerTest, AnActionThatReplacesItselfWhileRunningIsSafe) {
    int opened = 0;
    SettingsOpener::open();
    SettingsOpener::setAction([&] {
        ++opened;
        SettingsOpener::setAction([&] { opened += 10; });
    });
    EXPECT_EQ(opened, 1);
    SettingsOpener::open();
    EXPECT_EQ(opened, 11);
}

} // namespace
