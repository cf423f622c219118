#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/app/QtScheduler.h"

#include "tests/support/Profiles.h"
#include "tests/support/TestSupport.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;

namespace {

// Runs the event loop until `done` holds or the guard runs out.
bool spin(const std::function<bool()>& done, std::chrono::milliseconds guard = tltest::patience) {
    return QTest::qWaitFor(done, static_cast<int>(guard.count()));
}

TEST(QtScheduler, TimersFireInOrderAndACancelledOneNever) {
    QtScheduler scheduler;
    std::vector<std::string> ran;
    auto late = scheduler.postAfter(60ms, [&] { ran.push_back("late"); });
    auto early = scheduler.postAfter(10ms, [&] { ran.push_back("early"); });
    auto cancelled = scheduler.postAfter(20ms, [&] { ran.push_back("cancelled"); });
    cancelled.reset();
    cancelled.reset();
    ASSERT_TRUE(spin([&] { return ran.size() == 2; }));
    QTest::qWait(50);
    EXPECT_EQ(ran, (std::vector<std::string>{"early", "late"}));
    early.reset(); // after it ran: harmless
}

TEST(QtScheduler, ARepeatStopsWhenItsHandleGoesFromInside) {
    QtScheduler scheduler;
    int ticks = 0;
    platform::MainLoop::Handle repeat;
    repeat = scheduler.repeatEvery(5ms, [&] {
        if (++ticks == 3) {
            repeat.reset();
        }
    });
    ASSERT_TRUE(spin([&] { return ticks == 3; }));
    QTest::qWait(40);
    EXPECT_EQ(ticks, 3);
}

TEST(QtScheduler, JobsRunOnThePoolAndComeBackToTheGuiThread) {
    QtScheduler scheduler;
    std::optional<JobResult<int>> got;
    std::thread::id jobThread;
    bool onMain = false;
    scheduler.background(
        [&] {
            jobThread = std::this_thread::get_id();
            return 7;
        },
        [&](JobResult<int> result) {
            onMain = scheduler.onLoopThread();
            got = std::move(result);
        });
    std::optional<JobResult<int>> failed;
    scheduler.background([]() -> int { throw std::runtime_error("broke"); },
                         [&](JobResult<int> result) { failed = std::move(result); });
    ASSERT_TRUE(spin([&] { return got && failed; }));
    EXPECT_EQ(got->value, 7);
    EXPECT_TRUE(onMain);
    EXPECT_NE(jobThread, std::this_thread::get_id());
    EXPECT_EQ(failed->error, "broke");
    // A post from another thread lands on the GUI thread.
    bool posted = false;
    std::thread([&] { scheduler.post([&] { posted = scheduler.onLoopThread(); }); }).join();
    ASSERT_TRUE(spin([&] { return posted; }));
}

TEST(ModelBridge, EmitsOnceForEachNotice) {
    QtScheduler scheduler;
    tltest::TempHome home;
    AppModel model(home.paths, std::nullopt, false,
                   AppServices{&scheduler, {{"PATH", "/usr/bin:/bin"}}, ""});
    ModelBridge bridge(model);
    QSignalSpy spy(&bridge, &ModelBridge::changed);
    model.setAlert("Oops");
    model.setAlert("Oops");
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(0).value<ModelField>(), ModelField::alert);

    // Usage always notifies, after its job came back.
    model.refreshUsage();
    ASSERT_TRUE(spin([&] { return spy.count() == 2; }));
    EXPECT_EQ(spy.at(1).at(0).value<ModelField>(), ModelField::usage);

    model.storeStatus(ProfileID("p-1"), ToolKind::codex, ToolStatus::notSetUp());
    model.storeStatus(ProfileID("p-1"), ToolKind::codex, ToolStatus::notSetUp());
    EXPECT_EQ(spy.count(), 4);
}

} // namespace
