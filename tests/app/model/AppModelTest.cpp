#include "TwinLanternApp/model/AppModel.h"
#include "tests/support/app/VirtualScheduler.h"

#include "core/base/TwinLanternError.h"
#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using app::test::VirtualScheduler;

namespace {

struct ModelHarness {
    tltest::TempHome home;
    VirtualScheduler scheduler;
    Environment environment{{"PATH", "/nowhere"}, {"HOME", "/elsewhere"}, {"LANG", "C"}};

    AppServices services() {
        return AppServices{&scheduler, environment, home.home() + "/bin/TwinLantern"};
    }
    std::unique_ptr<AppModel> model(bool watch, std::optional<std::string> searchPath = {}) {
        return std::make_unique<AppModel>(home.paths, std::move(searchPath), watch, services());
    }
    // Straight to the file, past the store's checks.
    void writeDocument(const ProfileDocument& document) {
        tltest::makeDirs(home.paths.supportDirectory());
        tltest::writeFile(home.paths.profilesFile(), nlohmann::json(document).dump(), 0600);
    }
};

struct Recorder {
    std::vector<ModelField> seen;
    ModelNotices::Subscription subscription;
    explicit Recorder(AppModel& model)
        : subscription(model.observe([this](ModelField field) { seen.push_back(field); })) {}
    std::size_t count(ModelField field) const {
        return static_cast<std::size_t>(std::count(seen.begin(), seen.end(), field));
    }
};

TEST(AppModel, AnUnwatchedModelHasNoWatcherNorTimersAndLeavesFeedbackAlone) {
    ModelHarness h;
    bool called = false;
    Feedback::handler = [&](const std::string&) {
        called = true;
    };
    auto model = h.model(false);
    EXPECT_FALSE(model->watching());
    EXPECT_FALSE(model->hasTimer());
    EXPECT_FALSE(model->hasStatusTimer());
    EXPECT_FALSE(tltest::exists(h.home.paths.supportDirectory()));
    ASSERT_TRUE(Feedback::handler);
    Feedback::handler("x");
    EXPECT_TRUE(called);
    Feedback::handler = {};
}

TEST(AppModel, AWatchingModelMakesItsFolderPrivateAndLoadsAFileWrittenByAnotherStore) {
    ModelHarness h;
    auto model = h.model(true);
    EXPECT_TRUE(model->watching());
    EXPECT_TRUE(model->hasTimer());
    EXPECT_TRUE(model->hasStatusTimer());
    EXPECT_EQ(tltest::fileMode(h.home.paths.supportDirectory()), 0700u);

    ProfileDocument written;
    written.profiles.push_back(tltest::profile("work-1", "Work"));
    ProfileStore(h.home.paths).update([&](ProfileDocument& d) { d = written; });
    h.scheduler.advance(149ms);
    EXPECT_TRUE(model->document().profiles.empty());
    h.scheduler.advance(1ms);
    EXPECT_EQ(model->document(), written);

    // The hook now shows a toast, and does nothing once the model is gone.
    ASSERT_TRUE(Feedback::handler);
    Feedback::handler("Saved");
    EXPECT_EQ(model->toast(), "Saved");
    model.reset();
    Feedback::handler("After");
    Feedback::handler = {};
}

TEST(AppModel, ThePathAndHomeOfTheContext) {
    struct Case {
        std::optional<std::string> searchPath;
        std::optional<std::string> processPath;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"/given/bin", "/process/bin", "/given/bin"},
        {std::nullopt, "/process/bin", "/process/bin"},
        {std::nullopt, std::nullopt, "/usr/bin:/bin"},
    };
    for (const auto& c : cases) {
        ModelHarness h;
        h.environment.erase("PATH");
        if (c.processPath) {
            h.environment["PATH"] = *c.processPath;
        }
        auto model = h.model(false, c.searchPath);
        EXPECT_EQ(model->context().environment.at("PATH"), c.expected);
        EXPECT_EQ(model->context().environment.at("HOME"), h.home.home());
        EXPECT_EQ(model->context().environment.at("LANG"), "C");
    }
}

TEST(AppModel, ReloadKeepsTheDocumentOnAFailureAndClearsTheErrorOnSuccess) {
    ModelHarness h;
    ProfileDocument good;
    good.profiles.push_back(tltest::profile("work-1", "Work"));
    h.writeDocument(good);
    auto model = h.model(false);
    ASSERT_EQ(model->document(), good);
    EXPECT_FALSE(model->loadError());

    nlohmann::json newer = good;
    newer["version"] = 2;
    tltest::writeFile(h.home.paths.profilesFile(), newer.dump());
    model->reload();
    EXPECT_EQ(model->loadError(),
              "Your profiles were saved by a newer version of TwinLantern (format 2). "
              "Update TwinLantern to change them.");
    EXPECT_EQ(model->document(), good);

    tltest::writeFile(h.home.paths.profilesFile(), "{ not json");
    model->reload();
    ASSERT_TRUE(model->loadError());
    EXPECT_TRUE(
        model->loadError()->starts_with("Couldn't read " + h.home.paths.profilesFile() + ": "))
        << *model->loadError();
    EXPECT_EQ(model->document(), good);

    h.writeDocument(good);
    model->reload();
    EXPECT_FALSE(model->loadError());

    ::unlink(h.home.paths.profilesFile().c_str());
    model->reload();
    EXPECT_FALSE(model->loadError());
    EXPECT_EQ(model->document(), ProfileDocument::empty());
}

TEST(AppModel, AnEqualWriteNotifiesNobodyWhileUsageAndInPlaceStoresAlwaysDo) {
    ModelHarness h;
    ProfileDocument good;
    good.profiles.push_back(tltest::profile("work-1", "Work"));
    h.writeDocument(good);
    auto model = h.model(false);
    Recorder recorder(*model);
    model->reload();
    EXPECT_TRUE(recorder.seen.empty());

    model->refreshUsage();
    h.scheduler.settle();
    model->refreshUsage();
    h.scheduler.settle();
    EXPECT_EQ(recorder.count(ModelField::usage), 2u);

    const ToolStatus ready = ToolStatus::ready("ok");
    model->storeStatus(ProfileID("work-1"), ToolKind::codex, ready);
    model->storeStatus(ProfileID("work-1"), ToolKind::codex, ready);
    EXPECT_EQ(recorder.count(ModelField::statuses), 2u);
    EXPECT_EQ(model->status(good.profiles[0], ToolKind::codex), ready);
    EXPECT_EQ(model->status(good.profiles[0], ToolKind::claudeCode), std::nullopt);

    model->setAlert("Oops");
    model->setAlert("Oops");
    EXPECT_EQ(recorder.count(ModelField::alert), 1u);
}

TEST(AppModel, ANewerToastStaysItsFullFourSeconds) {
    ModelHarness h;
    auto model = h.model(false);
    model->showToast("First");
    h.scheduler.advance(2s);
    model->showToast("Second");
    h.scheduler.advance(3999ms);
    EXPECT_EQ(model->toast(), "Second");
    h.scheduler.advance(1ms);
    EXPECT_EQ(h.scheduler.elapsed(), 6s);
    EXPECT_EQ(model->toast(), std::nullopt);
    EXPECT_FALSE(model->hasToastTask());
}

TEST(AppModel, TheDestructorCancelsTheToastAndTheTimers) {
    ModelHarness h;
    auto model = h.model(true);
    model->showToast("Bye");
    model.reset();
    h.scheduler.advance(600s);
    EXPECT_FALSE(h.scheduler.jobsRunning());
}

TEST(AppModel, QueriesOverTheDocument) {
    ModelHarness h;
    ProfileDocument doc;
    doc.profiles.push_back(tltest::profile("work-1", "Work"));
    doc.cliDefault = ProfileID("gone");
    h.writeDocument(doc);
    auto model = h.model(false);
    EXPECT_EQ(model->terminalDefault(), std::nullopt);
    EXPECT_FALSE(model->isRunning(doc.profiles[0], ToolKind::claudeCode));
    EXPECT_EQ(AppModel::signInKey(ProfileID("work-1"), ToolKind::codex), "work-1/codex");
    EXPECT_FALSE(model->codexSignInRunning());
    EXPECT_EQ(model->appName(ToolKind::claudeDesktop), "Claude");
    EXPECT_EQ(model->appName(ToolKind::chatGPTApp), "ChatGPT");
    EXPECT_FALSE(model->installedTools().contains(ToolKind::claudeDesktop));
    // The bundle has no helper here: the executable's folder, unchecked.
    EXPECT_EQ(model->bundledBinary("twinlantern"), h.home.home() + "/bin/twinlantern");
    // Both app keys are always there after a refresh.
    EXPECT_EQ(model->runningApps().size(), 2u);

    doc.cliDefault = ProfileID("work-1");
    h.writeDocument(doc);
    model->reload();
    EXPECT_EQ(model->terminalDefault(), doc.profiles[0]);
}

TEST(AppServices, TheBundleOfTheExecutable) {
    struct Case {
        std::string executable;
        std::string bundle;
    };
    const std::vector<Case> cases = {
        {"/opt/TwinLantern.app/Contents/MacOS/TwinLantern", "/opt/TwinLantern.app"},
        {"/usr/local/bin/twinlantern-app", "/usr/local/bin"},
        {"/opt/Contents/MacOS/TwinLantern", "/opt/Contents/MacOS"},
        {"", "/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ((AppServices{nullptr, {}, c.executable}.bundlePath()), c.bundle) << c.executable;
    }
    EXPECT_FALSE(AppServices::currentExecutable().empty());
}

} // namespace
