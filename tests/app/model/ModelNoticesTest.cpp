#include "TwinLanternApp/model/ModelNotices.h"

#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace twinlantern::app;

namespace {

TEST(ModelNotices, AnEqualWriteStoresWithoutANoticeAndAChangeGivesExactlyOne) {
    ModelNotices notices;
    std::vector<ModelField> seen;
    auto subscription = notices.observe([&](ModelField field) { seen.push_back(field); });

    std::optional<std::string> toast;
    EXPECT_FALSE(notices.assign(ModelField::toast, toast, std::nullopt));
    EXPECT_TRUE(notices.assign(ModelField::toast, toast, std::string("Saved")));
    EXPECT_FALSE(notices.assign(ModelField::toast, toast, std::string("Saved")));
    std::map<std::string, std::vector<int>> running{{"a", {1, 2}}};
    EXPECT_FALSE(notices.assign(ModelField::runningApps, running,
                                std::map<std::string, std::vector<int>>{{"a", {1, 2}}}));
    EXPECT_TRUE(notices.assign(ModelField::runningApps, running,
                               std::map<std::string, std::vector<int>>{{"a", {1}}}));
    EXPECT_EQ(running.at("a"), std::vector<int>{1});
    int usage = 3;
    notices.assignAlways(ModelField::usage, usage, 3);
    EXPECT_EQ(seen, (std::vector<ModelField>{ModelField::toast, ModelField::runningApps,
                                             ModelField::usage}));
}

TEST(ModelNotices, ObserversMayLeaveOrJoinDuringANotice) {
    ModelNotices notices;
    std::vector<std::string> seen;
    ModelNotices::Subscription first, second, joined;
    first = notices.observe([&](ModelField) {
        seen.push_back("first");
        second.reset();
        joined = notices.observe([&](ModelField) { seen.push_back("joined"); });
    });
    second = notices.observe([&](ModelField) { seen.push_back("second"); });
    notices.notify(ModelField::alert);
    EXPECT_EQ(seen, std::vector<std::string>{"first"});
    first.reset();
    notices.notify(ModelField::alert);
    EXPECT_EQ(seen, (std::vector<std::string>{"first", "joined"}));
}

TEST(ModelNotices, ASubscriptionMayOutliveTheNotices) {
    ModelNotices::Subscription kept;
    {
        ModelNotices notices;
        kept = notices.observe([](ModelField) {});
    }
    kept.reset();
    kept.reset();
}

TEST(ModelNotices, AnObserverThatEndsItselfInsideItsNoticeIsSafe) {
    ModelNotices notices;
    int calls = 0;
    ModelNotices::Subscription self;
    self = notices.observe([&](ModelField) {
        ++calls;
        self = {};
    });
    notices.notify(ModelField::document);
    notices.notify(ModelField::document);
    EXPECT_EQ(calls, 1);
}

} // namespace
