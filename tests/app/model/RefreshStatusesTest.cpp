#include "tests/support/app/AppFixture.h"

#include "core/base/Json.h"
#include "tests/support/Profiles.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::AppFixture;
using app::test::VirtualScheduler;

namespace {

ToolStatus claudeSignedIn(const std::string& email) {
    AccountInfo account;
    account.email = email;
    return ToolStatus::signedIn(account);
}

ToolStatus codexSignedIn() {
    AccountInfo account;
    account.method = "ChatGPT";
    return ToolStatus::signedIn(account);
}

// The model's home with its profiles document; most tests need only "work-1". (The
// suites share names with Housekeeping's plain tests, so this is no gtest fixture.)
struct StatusHome : AppFixture {
    ProfileDocument doc;

    void write(std::vector<Profile> profiles) {
        doc.profiles = std::move(profiles);
        writeDocument(doc);
    }
    // One managed profile, "work-1", that uses these tools.
    void writeWork(std::vector<ToolKind> tools) {
        write({tltest::profile("work-1", "Work", Profile::Storage::managed, std::move(tools))});
    }
};

TEST(RefreshStatuses, OnlyUsedToolsGetAnEntryAndCallsNeverOverlap) {
    StatusHome f;
    f.write({tltest::profile("work-1", "Work"),
             tltest::profile("home-1", "Home", Profile::Storage::managed, {ToolKind::codex}),
             tltest::profile("none-1", "None", Profile::Storage::managed, {})});
    f.signIn(ToolKind::claudeCode, "work-1", "w@example.com");
    f.signIn(ToolKind::codex, "work-1", "");
    f.folder(ToolKind::codex, "home-1");
    auto model = f.model(false);
    bool done = false;
    model->refreshStatuses([&] { done = true; });
    EXPECT_TRUE(model->refreshing());
    f.scheduler.settle();
    ASSERT_TRUE(done);
    EXPECT_FALSE(model->refreshing());

    const StatusMap expected = {
        {ProfileID("work-1"),
         {{ToolKind::claudeCode, claudeSignedIn("w@example.com")},
          {ToolKind::codex, codexSignedIn()}}},
        {ProfileID("home-1"),
         {{ToolKind::codex, ToolStatus::needsAttention("Signed out. Sign in again.")}}},
    };
    EXPECT_EQ(model->statuses(), expected);
    EXPECT_EQ(f.calls(), (std::vector<std::string>{"start claude work-1", "end claude work-1",
                                                   "start codex work-1", "end codex work-1",
                                                   "start codex home-1", "end codex home-1"}));
}

TEST(RefreshStatuses, ASecondCallWhileOneRunsMakesNoToolCall) {
    StatusHome f;
    f.writeWork({ToolKind::claudeCode});
    f.hold(ToolKind::claudeCode, "work-1");
    auto model = f.model(false);
    int firstDone = 0, secondDone = 0;
    model->refreshStatuses([&] { ++firstDone; });
    ASSERT_TRUE(f.scheduler.runUntil([&] { return f.calls().size() == 1; }));
    model->refreshStatuses([&] { ++secondDone; });
    // It returns at once, while the first still waits on the tool.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return secondDone == 1; }));
    EXPECT_EQ(firstDone, 0);
    f.release(ToolKind::claudeCode, "work-1");
    f.scheduler.settle();
    EXPECT_EQ(firstDone, 1);
    EXPECT_EQ(secondDone, 1);
    EXPECT_EQ(f.calls(), (std::vector<std::string>{"start claude work-1", "end claude work-1"}));
}

TEST(RefreshStatuses, AnEntryAPollStoredMeanwhileIsKept) {
    StatusHome f;
    f.writeWork({ToolKind::claudeCode, ToolKind::codex});
    f.folder(ToolKind::claudeCode, "work-1");
    f.hold(ToolKind::codex, "work-1");
    auto model = f.model(false);
    model->refreshStatuses();
    // The refresh has asked Claude Code (signed out) and waits on Codex.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return f.calls().size() == 3; }));
    model->storeStatus(ProfileID("work-1"), ToolKind::claudeCode, claudeSignedIn("new@x"));
    f.release(ToolKind::codex, "work-1");
    f.scheduler.settle();
    EXPECT_EQ(model->status(f.doc.profiles[0], ToolKind::claudeCode), claudeSignedIn("new@x"));
    EXPECT_EQ(model->status(f.doc.profiles[0], ToolKind::codex),
              ToolStatus::needsAttention("Signed out. Sign in again."));
}

TEST(RefreshStatuses, ProfilesAndToolsGoneMeanwhileLoseTheirEntries) {
    StatusHome f;
    f.write({tltest::profile("work-1", "Work"), tltest::profile("home-1", "Home")});
    f.hold(ToolKind::claudeCode, "work-1");
    f.folder(ToolKind::codex, "work-1");
    f.folder(ToolKind::claudeCode, "home-1");
    f.folder(ToolKind::codex, "home-1");
    auto model = f.model(false);
    model->refreshStatuses();
    ASSERT_TRUE(f.scheduler.runUntil([&] { return f.calls().size() == 1; }));
    ProfileDocument edited;
    edited.profiles = {
        tltest::profile("work-1", "Work", Profile::Storage::managed, {ToolKind::codex})};
    f.writeDocument(edited);
    model->reload();
    f.release(ToolKind::claudeCode, "work-1");
    f.scheduler.settle();
    const StatusMap expected = {
        {ProfileID("work-1"),
         {{ToolKind::codex, ToolStatus::needsAttention("Signed out. Sign in again.")}}}};
    EXPECT_EQ(model->statuses(), expected);
}

TEST(RefreshStatuses, WhileACallIsHeldTheMainThreadRunsOn) {
    StatusHome f;
    f.writeWork({ToolKind::claudeCode});
    f.hold(ToolKind::claudeCode, "work-1");
    auto model = f.model(true);
    int toastsCleared = 0;
    auto subscription = model->observe([&](ModelField field) {
        if (field == ModelField::toast && !model->toast()) {
            ++toastsCleared;
        }
    });
    model->refreshStatuses();
    model->showToast("Hi");
    f.scheduler.advance(5s, VirtualScheduler::Jobs::leave);
    EXPECT_TRUE(model->refreshing());
    EXPECT_EQ(toastsCleared, 1);
    f.release(ToolKind::claudeCode, "work-1");
    ASSERT_TRUE(f.scheduler.runUntil([&] { return !model->refreshing(); }));
}

TEST(RefreshStatuses, InSixHundredSecondsTheStatusTimerFiresTwice) {
    StatusHome f;
    f.writeWork({ToolKind::codex});
    f.folder(ToolKind::codex, "work-1");
    auto model = f.model(true);
    int usage = 0;
    auto subscription =
        model->observe([&](ModelField field) { usage += field == ModelField::usage; });
    f.scheduler.advance(600s);
    EXPECT_EQ(usage, 2);
    EXPECT_EQ(f.calls().size(), 4u);
}

// A profile made in the sheet or brought in by an import is checked once at once,
// not left "Checking…" until the timer; the timer's refreshes then go on as before.
TEST(RefreshStatuses, NewProfilesAreCheckedOnceAtOnceAndTheTimerKeepsItsTimes) {
    struct Case {
        const char* what;
        std::function<ProfileID(AppModel&)> add;
    };
    const std::vector<Case> cases = {
        {"created",
         [](AppModel& model) {
             const auto made = model.createProfile("New", std::nullopt, {ToolKind::codex},
                                                   Profile::Storage::managed);
             return made ? made->id : ProfileID("");
         }},
        {"imported",
         [](AppModel& model) {
             ProfileDocument exported;
             exported.profiles = {
                 tltest::profile("new-1", "New", Profile::Storage::managed, {ToolKind::codex})};
             EXPECT_EQ(model.importData(jsonText(nlohmann::json(exported))),
                       "Imported 1 profile. Sign each one in to use it.");
             return ProfileID("new-1");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StatusHome f;
        f.writeWork({ToolKind::codex});
        f.folder(ToolKind::codex, "work-1");
        auto model = f.model(true);
        const ProfileID added = c.add(*model);
        ASSERT_NE(model->document().profile(added), nullptr);
        const std::string id = added.rawValue;
        const auto codexOf = [&] {
            const auto status = model->status(*model->document().profile(added), ToolKind::codex);
            return status ? std::optional(status->state) : std::nullopt;
        };
        // Asked at once, in virtual time 0: no folder yet, so not set up.
        f.scheduler.settle();
        EXPECT_EQ(f.scheduler.elapsed(), 0s);
        EXPECT_EQ(codexOf(), ToolStatus::Case::notSetUp);

        // Asked once only: with its folder made now, a second check would say signed out.
        f.folder(ToolKind::codex, id);
        f.scheduler.advance(299s);
        EXPECT_EQ(codexOf(), ToolStatus::Case::notSetUp);
        EXPECT_TRUE(f.calls().empty());
        // The timer still fires at 300 s, for every profile.
        f.scheduler.advance(1s);
        EXPECT_EQ(codexOf(), ToolStatus::Case::needsAttention);
        EXPECT_EQ(f.calls(), (std::vector<std::string>{"start codex work-1", "end codex work-1",
                                                       "start codex " + id, "end codex " + id}));
    }
}

TEST(DiscoverSearchPath, ToolsAreFoundOnTheStartPathUntilTheProbeThenOnTheNewOne) {
    StatusHome f;
    f.writeWork({ToolKind::claudeCode});
    f.folder(ToolKind::claudeCode, "work-1");
    // claude only on the login shell's PATH; the start PATH has none.
    const std::string loginBin = f.home.home() + "/login-bin";
    f.writeFakeTool(loginBin, "claude");
    f.loginShellAnswers(loginBin + ":/usr/bin:/bin");
    auto model = f.model(false, "/usr/bin:/bin");
    EXPECT_FALSE(model->installedTools().contains(ToolKind::claudeCode));
    int contextNotices = 0;
    auto subscription =
        model->observe([&](ModelField field) { contextNotices += field == ModelField::context; });
    bool done = false;
    model->discoverSearchPath([&] { done = true; });
    f.scheduler.settle();
    ASSERT_TRUE(done);
    EXPECT_EQ(contextNotices, 1);
    EXPECT_TRUE(model->context().environment.at("PATH").starts_with(loginBin + ":"))
        << model->context().environment.at("PATH");
    EXPECT_EQ(f.calls(), (std::vector<std::string>{"start claude work-1", "end claude work-1"}));
    EXPECT_EQ(model->status(f.doc.profiles[0], ToolKind::claudeCode),
              ToolStatus::needsAttention("Signed out. Sign in again."));
}

TEST(DiscoverSearchPath, ARefreshRunningWhenThePathChangesRunsOnceMore) {
    StatusHome f;
    f.writeWork({ToolKind::claudeCode, ToolKind::codex});
    f.folder(ToolKind::claudeCode, "work-1");
    f.hold(ToolKind::codex, "work-1");
    const std::string loginBin = f.home.home() + "/login-bin";
    f.writeFakeTool(loginBin, "claude");
    f.loginShellAnswers(loginBin + ":/usr/bin:/bin");
    // The start PATH has only codex.
    const std::string startBin = f.home.home() + "/start-bin";
    f.writeFakeTool(startBin, "codex");
    auto model = f.model(false, startBin);
    int refreshingNotices = 0;
    auto subscription = model->observe(
        [&](ModelField field) { refreshingNotices += field == ModelField::refreshing; });
    model->refreshStatuses(); // the window's, on the start PATH
    ASSERT_TRUE(f.scheduler.runUntil([&] { return f.calls().size() == 1; }));
    bool probed = false;
    model->discoverSearchPath([&] { probed = true; });
    ASSERT_TRUE(f.scheduler.runUntil(
        [&] { return model->context().environment.at("PATH").starts_with(loginBin); }));
    EXPECT_EQ(model->status(f.doc.profiles[0], ToolKind::claudeCode), std::nullopt);
    f.release(ToolKind::codex, "work-1");
    // The probe's own refresh returned at once; the running one ran again on the new PATH.
    ASSERT_TRUE(f.scheduler.runUntil([&] { return probed && !model->refreshing(); }));
    EXPECT_EQ(model->status(f.doc.profiles[0], ToolKind::claudeCode),
              ToolStatus::needsAttention("Signed out. Sign in again."));
    // The rerun stays inside one refresh: on once, off once.
    EXPECT_EQ(refreshingNotices, 2);
}

} // namespace
