#include "TwinLanternMac/launchers/LauncherSettings.h"
#include "tests/support/ErrorOf.h"

#include <gtest/gtest.h>

namespace twinlantern {
namespace {

TEST(LauncherSettings, InfoPlistOnlyInsideABundle) {
    EXPECT_EQ(
        launcherInfoPlist("/h/Applications/TwinLantern/Claude — W.app/Contents/MacOS/launcher"),
        "/h/Applications/TwinLantern/Claude — W.app/Contents/Info.plist");
    EXPECT_EQ(launcherInfoPlist("/opt/tl/TwinLantern.app/Contents/Helpers/twinlantern-launcher"),
              std::nullopt);
    EXPECT_EQ(launcherInfoPlist("/usr/bin/launcher"), std::nullopt);
    EXPECT_EQ(launcherInfoPlist("/x/Contents/MacOS/launcher"), std::nullopt);
    EXPECT_EQ(launcherInfoPlist("/.app/Contents/MacOS/launcher"), std::nullopt);
    EXPECT_EQ(launcherInfoPlist("launcher"), std::nullopt);
}

TEST(LauncherSettings, FallbackLockFolderIsNeverOneOthersShare) {
    EXPECT_EQ(fallbackLockDirectory({{"XDG_RUNTIME_DIR", "/run/user/7"}, {"TMPDIR", "/t"}}),
              "/run/user/7/twinlantern");
    EXPECT_EQ(fallbackLockDirectory({{"XDG_RUNTIME_DIR", "/run/user/7/"}}),
              "/run/user/7/twinlantern");
    const std::string support = "/h/Library/Application Support/TwinLantern/desktop";
    for (const Environment& environment :
         {Environment{{"HOME", "/h"}, {"XDG_RUNTIME_DIR", ""}, {"TMPDIR", "/t/"}},
          Environment{{"HOME", "/h"}, {"XDG_RUNTIME_DIR", "rel"}, {"TMPDIR", "/t"}},
          Environment{{"HOME", "/h"}}}) {
        EXPECT_EQ(fallbackLockDirectory(environment), support);
    }
}

TEST(LauncherSettings, KeysAndFallbacks) {
    struct Case {
        const char* plist; // the dictionary's inner XML; nullptr: no Info.plist
        LauncherSettings expected;
    };
    const Environment environment = {{"XDG_RUNTIME_DIR", "/run/user/7"}};
    const std::string fallbackLock = "/run/user/7/twinlantern";
    const std::string claude = "com.anthropic.claudefordesktop";
    const Case cases[] = {
        {"<key>TLUserDataDir</key><string>/d/w</string>"
         "<key>TLTargetBundleID</key><string>com.x</string>"
         "<key>TLLockDirectory</key><string>/l</string>",
         {"/d/w", "com.x", "/l"}},
        {"<key>TLUserDataDir</key><string></string>", {std::nullopt, claude, fallbackLock}},
        {"<key>TLUserDataDir</key><integer>4</integer>"
         "<key>TLTargetBundleID</key><true/><key>TLLockDirectory</key><array/>",
         {std::nullopt, claude, fallbackLock}},
        {"<key>TLTargetBundleID</key><string></string>"
         "<key>TLLockDirectory</key><string></string>",
         {std::nullopt, "", ""}},
        {"", {std::nullopt, claude, fallbackLock}},
        {nullptr, {std::nullopt, claude, fallbackLock}},
    };
    for (const Case& c : cases) {
        std::optional<PropertyList> info;
        if (c.plist != nullptr) {
            info = PropertyList::parseDictionary(std::string("<plist><dict>") + c.plist +
                                                 "</dict></plist>");
            ASSERT_TRUE(info.has_value()) << c.plist;
        }
        EXPECT_EQ(launcherSettings(info ? &*info : nullptr, environment), c.expected)
            << (c.plist ? c.plist : "(none)");
    }
}

TEST(LauncherSettings, LockFolderMustBeAbsolute) {
    const std::string message =
        "This launcher has no lock folder. Rebuild it: twinlantern launchers install.";
    for (const char* lock : {"", "relative/dir", "./x"}) {
        EXPECT_EQ(testing::errorOf([&] {
                      requireLockDirectory({std::nullopt, "b", lock});
                  }).description(),
                  message)
            << lock;
    }
    requireLockDirectory({std::nullopt, "b", "/l"});
}

} // namespace
} // namespace twinlantern
