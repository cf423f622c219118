#include "platform/SystemLog.h"

#include <gtest/gtest.h>

#include <string>

namespace twinlantern {
namespace {

TEST(SystemLogTest, LinesCarryTheCategoryAndStayOneLine) {
    using platform::LogLevel;
    EXPECT_EQ(platform::logLine("google-sign-in", LogLevel::normal, "armed for Work"),
              "twinlantern[google-sign-in]: armed for Work\n");
    EXPECT_EQ(platform::logLine("google-sign-in", LogLevel::error, "arm failed: x"),
              "twinlantern[google-sign-in]: error: arm failed: x\n");
    EXPECT_EQ(platform::logLine("c", LogLevel::normal, "a\nb\x1b[2Jc\x7f"),
              "twinlantern[c]: a b [2Jc \n");
}

} // namespace
} // namespace twinlantern
