#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/DistributionConfig.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "TwinLanternApp/app/UpdaterService.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace twinlantern;
using namespace twinlantern::app;

namespace {

class StoredSettings : public ::testing::Test {
protected:
    void SetUp() override { AppSettings::open()->clear(); }
    void TearDown() override { AppSettings::open()->clear(); }

    static void store(const QByteArray& bytes) {
        AppSettings::open()->setValue(AppSettings::cycleShortcut, bytes);
    }
};

struct ComboCase {
    const char* stored;
    std::optional<KeyCombo> read;
};

TEST_F(StoredSettings, CycleShortcutReadsOnlyTwoUnsigned32BitMembers) {
    const ComboCase cases[] = {
        {R"({"keyCode":40,"modifiers":6144})", KeyCombo{40, 6144}},
        {R"({"modifiers":6144,"keyCode":40})", KeyCombo{40, 6144}},
        {R"({"keyCode":40,"extra":"x","modifiers":256,"more":[1]})", KeyCombo{40, 256}},
        {R"({"keyCode":4294967295,"modifiers":0})", KeyCombo{4294967295U, 0}},
        {R"({"keyCode":-1,"modifiers":6144})", std::nullopt},
        {R"({"keyCode":40.5,"modifiers":6144})", std::nullopt},
        {R"({"keyCode":40,"modifiers":6144.0})", std::nullopt},
        {R"({"keyCode":4294967296,"modifiers":6144})", std::nullopt},
        {R"({"keyCode":40,"modifiers":99999999999999999999999})", std::nullopt},
        {R"({"keyCode":40})", std::nullopt},
        {R"({"keyCode":"40","modifiers":6144})", std::nullopt},
        {R"({"keyCode":40,"modifiers":null})", std::nullopt},
        {R"([40,6144])", std::nullopt},
        {R"({"keyCode":40,"modifiers":6144)", std::nullopt},
        {"not json", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases) {
        store(QByteArray(c.stored));
        EXPECT_EQ(ShortcutSettings::combo(), c.read) << c.stored;
    }
}

TEST_F(StoredSettings, CycleShortcutIsWrittenAsCompactJsonDataAndNilRemovesIt) {
    EXPECT_EQ(ShortcutSettings::combo(), std::nullopt);
    ShortcutSettings::setCombo(KeyCombo{40, KeyCombo::optionKey | KeyCombo::controlKey});
    const QVariant stored = AppSettings::open()->value(AppSettings::cycleShortcut);
    EXPECT_EQ(stored.typeId(), QMetaType::QByteArray);
    EXPECT_EQ(stored.toByteArray(), QByteArray(R"({"keyCode":40,"modifiers":6144})"));
    EXPECT_EQ(ShortcutSettings::combo(), (KeyCombo{40, 6144}));

    ShortcutSettings::setCombo(std::nullopt);
    EXPECT_FALSE(AppSettings::open()->contains(AppSettings::cycleShortcut));
    EXPECT_EQ(ShortcutSettings::combo(), std::nullopt);
}

TEST_F(StoredSettings, SettingTheComboLeavesTheHookToTheCaller) {
    int calls = 0;
    ShortcutSettings::onChange = [&] {
        ++calls;
    };
    ShortcutSettings::setCombo(KeyCombo{40, 256});
    ShortcutSettings::setCombo(std::nullopt);
    EXPECT_EQ(calls, 0);
    ShortcutSettings::onChange = nullptr;
}

TEST_F(StoredSettings, TheFourKeysUnderTheirOwnNames) {
    EXPECT_FALSE(AppSettings::boolValue(AppSettings::cycleShortcutEnabled));
    EXPECT_FALSE(AppSettings::boolValue(AppSettings::onboardingDone));
    EXPECT_EQ(AppSettings::selectedTab(), QStringLiteral("profiles"));
    AppSettings::setBool(AppSettings::cycleShortcutEnabled, true);
    AppSettings::setBool(AppSettings::onboardingDone, true);
    AppSettings::setSelectedTab(QStringLiteral("terminal"));

    QSettings raw(QStringLiteral("TwinLantern"), QStringLiteral("TwinLantern"));
    EXPECT_EQ(raw.value(QStringLiteral("cycleShortcutEnabled")).toBool(), true);
    EXPECT_EQ(raw.value(QStringLiteral("onboardingDone")).toBool(), true);
    EXPECT_EQ(raw.value(QStringLiteral("settingsTab")).toString(), QStringLiteral("terminal"));
    EXPECT_TRUE(raw.fileName().endsWith(QStringLiteral("/TwinLantern/TwinLantern.conf")))
        << raw.fileName().toStdString();
}

std::optional<PropertyList> info(const std::string& entries) {
    std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict>)";
    xml += entries;
    xml += "</dict></plist>\n";
    auto list = PropertyList::parseDictionary(xml);
    EXPECT_TRUE(list) << xml;
    return list;
}

TEST(DistributionConfig, UpdatesNeedBothKeysAsNonEmptyStrings) {
    const std::pair<const char*, bool> cases[] = {
        {"<key>SUFeedURL</key><string>https://x/appcast.xml</string>"
         "<key>SUPublicEDKey</key><string>abc=</string>",
         true},
        {"<key>SUFeedURL</key><string>https://x/appcast.xml</string>"
         "<key>SUPublicEDKey</key><string></string>",
         false},
        {"<key>SUFeedURL</key><string></string><key>SUPublicEDKey</key><string>abc=</string>",
         false},
        {"<key>SUFeedURL</key><string>https://x/appcast.xml</string>", false},
        {"<key>SUPublicEDKey</key><string>abc=</string>", false},
        {"<key>SUFeedURL</key><string>https://x/appcast.xml</string>"
         "<key>SUPublicEDKey</key><integer>7</integer>",
         false},
        {"<key>SUFeedURL</key><true/><key>SUPublicEDKey</key><string>abc=</string>", false},
        {"", false},
    };
    for (const auto& [entries, configured] : cases) {
        const auto list = info(entries);
        EXPECT_EQ(DistributionConfig::updatesConfigured(list ? &*list : nullptr), configured)
            << entries;
    }
    EXPECT_FALSE(DistributionConfig::updatesConfigured(nullptr));
}

TEST(UpdaterService, CurrentVersionIsTheShortVersionStringElseAQuestionMark) {
    const auto versioned = info("<key>CFBundleShortVersionString</key><string>1.2.3</string>");
    EXPECT_EQ(UpdaterService::currentVersion(&*versioned), "1.2.3");
    const auto number = info("<key>CFBundleShortVersionString</key><real>1.2</real>");
    EXPECT_EQ(UpdaterService::currentVersion(&*number), "?");
    const auto none = info("<key>CFBundleName</key><string>TwinLantern</string>");
    EXPECT_EQ(UpdaterService::currentVersion(&*none), "?");
    EXPECT_EQ(UpdaterService::currentVersion(nullptr), "?");
    // This test program lives in no bundle.
    EXPECT_EQ(UpdaterService::currentVersion(), "?");
    EXPECT_FALSE(DistributionConfig::updatesConfigured());
    EXPECT_EQ(UpdaterService::shared().controller, nullptr);
}

} // namespace
