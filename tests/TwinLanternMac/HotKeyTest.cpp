#include "TwinLanternMac/services/HotKey.h"

#include "platform/HotKeyService.h"
#include "platform/PollMainLoop.h"
#include "platform/test/FakeHotKeyService.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/XClient.h"
#include "tests/support/x11/XvfbServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace twinlantern;
using namespace std::chrono_literals;
using platform::HotKeyService;
using tltest::XClient;

namespace {

constexpr KeyCombo controlOptionK{40, KeyCombo::controlKey | KeyCombo::optionKey};

class HotKeyTest : public ::testing::Test {
protected:
    void SetUp() override {
        TL_REQUIRE_XVFB(xvfb);
        service = platform::makeHotKeyService(loop, {{"DISPLAY", xvfb.display()}});
        ASSERT_EQ(service->availability(), HotKeyService::Availability::available);
        typist = std::make_unique<XClient>(xvfb.display());
        ASSERT_TRUE(typist->connected());
    }

    std::unique_ptr<HotKey> registerCounting(const KeyCombo& combo = controlOptionK) {
        return HotKey::create(*service, combo, [this] {
            ++presses;
            onLoopThread =
                onLoopThread && loop.onLoopThread() && std::this_thread::get_id() == testThread;
        });
    }

    // Lets the loop take in whatever the server sends for a while.
    void deliver(std::chrono::milliseconds quiet = 300ms) { loop.runFor(quiet); }
    bool waitForPresses(int count) {
        return loop.runUntil([&] { return presses >= count; }, tltest::patience);
    }

    tltest::XvfbServer xvfb;
    platform::PollMainLoop loop;
    std::unique_ptr<HotKeyService> service;
    std::unique_ptr<XClient> typist;
    int presses = 0;
    bool onLoopThread = true;
    std::thread::id testThread = std::this_thread::get_id();
};

TEST_F(HotKeyTest, ControlOptionKRunsTheActionOncePerPressOnTheLoopThread) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(1));
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(2));
    deliver();
    EXPECT_EQ(presses, 2);
    EXPECT_TRUE(onLoopThread);
}

TEST_F(HotKeyTest, LocksOnStillMatch) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    struct Case {
        const char* locks;
        std::vector<std::uint8_t> toggles;
    };
    for (const Case& c :
         {Case{"Num Lock", {XClient::numLockKey}}, Case{"Caps Lock", {XClient::capsLockKey}},
          Case{"both", {XClient::numLockKey, XClient::capsLockKey}}}) {
        SCOPED_TRACE(c.locks);
        for (auto key : c.toggles) {
            typist->toggle(key);
        }
        EXPECT_NE(typist->lockState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
        const int before = presses;
        typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
        EXPECT_TRUE(waitForPresses(before + 1));
        for (auto key : c.toggles) {
            typist->toggle(key);
        }
        EXPECT_EQ(typist->lockState() & (XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2), 0);
    }
    deliver();
    EXPECT_EQ(presses, 3);
}

TEST_F(HotKeyTest, OtherModifiersDoNotMatch) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    typist->tap({XClient::kKey});
    typist->tap({XClient::controlKey, XClient::kKey});
    typist->tap({XClient::altKey, XClient::kKey});
    typist->tap({XClient::controlKey, XClient::altKey, XClient::shiftKey, XClient::kKey});
    typist->tap({XClient::controlKey, XClient::altKey, XClient::superKey, XClient::kKey});
    deliver();
    EXPECT_EQ(presses, 0);
    // The same combination with Shift is one of its own.
    auto withShift = registerCounting({40, controlOptionK.modifiers | KeyCombo::shiftKey});
    ASSERT_NE(withShift, nullptr);
    typist->tap({XClient::controlKey, XClient::altKey, XClient::shiftKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(1));
}

TEST_F(HotKeyTest, CommandMeansSuper) {
    auto hotKey = registerCounting({40, KeyCombo::cmdKey});
    ASSERT_NE(hotKey, nullptr);
    typist->tap({XClient::superKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(1));
}

TEST_F(HotKeyTest, AKeyHeldASecondIsOnePress) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    typist->press(XClient::controlKey);
    typist->press(XClient::altKey);
    typist->press(XClient::kKey);
    typist->sync();
    loop.runFor(1200ms); // past the server's repeat delay: repeats arrive meanwhile
    typist->release(XClient::kKey);
    typist->release(XClient::altKey);
    typist->release(XClient::controlKey);
    typist->sync();
    deliver();
    EXPECT_EQ(presses, 1);
    // And the next press counts again.
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(2));
}

TEST_F(HotKeyTest, ACombinationAnotherClientHoldsIsRefusedAndNothingStaysGrabbed) {
    XClient other(xvfb.display());
    // The other client holds it with Num Lock on only, so some of our grabs succeed first.
    ASSERT_TRUE(
        other.grab(XClient::kKey, XCB_MOD_MASK_CONTROL | XClient::altMask | XCB_MOD_MASK_2));
    EXPECT_EQ(registerCounting(), nullptr);
    // What we grabbed on the way was let go: a third client can have the plain combination.
    XClient third(xvfb.display());
    EXPECT_TRUE(third.grab(XClient::kKey, XCB_MOD_MASK_CONTROL | XClient::altMask));
    EXPECT_TRUE(
        third.grab(XClient::kKey, XCB_MOD_MASK_CONTROL | XClient::altMask | XCB_MOD_MASK_LOCK));
}

TEST_F(HotKeyTest, ACombinationThisProcessHoldsIsRefused) {
    auto first = registerCounting();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(registerCounting(), nullptr);
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(1));
    deliver();
    EXPECT_EQ(presses, 1);
}

TEST_F(HotKeyTest, UnregisterTwiceIsHarmlessAndStopsPresses) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    hotKey->unregister();
    hotKey->unregister();
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    deliver();
    EXPECT_EQ(presses, 0);
    hotKey.reset();
    // Free again for this process, too.
    auto again = registerCounting();
    EXPECT_NE(again, nullptr);
}

TEST_F(HotKeyTest, DestroyedWithoutUnregisterFreesTheKey) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    hotKey.reset();
    XClient other(xvfb.display());
    EXPECT_TRUE(other.grab(XClient::kKey, XCB_MOD_MASK_CONTROL | XClient::altMask));
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    deliver();
    EXPECT_EQ(presses, 0);
}

TEST_F(HotKeyTest, AnActionMayDestroyItsOwnHotKey) {
    std::unique_ptr<HotKey> hotKey;
    hotKey = HotKey::create(*service, controlOptionK, [&] {
        ++presses;
        hotKey.reset();
    });
    ASSERT_NE(hotKey, nullptr);
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForPresses(1));
    deliver();
    EXPECT_EQ(presses, 1);
    EXPECT_EQ(hotKey, nullptr);
}

TEST_F(HotKeyTest, TheServerGoingAwayStopsDeliveryWithoutACrash) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    typist.reset();
    xvfb.kill();
    deliver();
    EXPECT_EQ(service->availability(), HotKeyService::Availability::connectionLost);
    EXPECT_EQ(registerCounting({41, KeyCombo::controlKey}), nullptr);
    hotKey->unregister();
    hotKey.reset();
    EXPECT_EQ(presses, 0);
}

TEST_F(HotKeyTest, TheServerGoingAwayUnnoticedStillDoesNotCrash) {
    auto hotKey = registerCounting();
    ASSERT_NE(hotKey, nullptr);
    typist.reset();
    xvfb.kill();
    // Nothing read yet: the first the service hears of it is a failed write.
    hotKey.reset();
    EXPECT_EQ(registerCounting({41, KeyCombo::controlKey}), nullptr);
    deliver();
}

struct WithoutX {
    const char* what;
    Environment environment;
    HotKeyService::Availability expected;
};

class HotKeyWithoutX : public ::testing::TestWithParam<WithoutX> {};

TEST_P(HotKeyWithoutX, EveryRegistrationFailsAndTheServiceSaysWhy) {
    platform::PollMainLoop loop;
    auto service = platform::makeHotKeyService(loop, GetParam().environment);
    EXPECT_EQ(service->availability(), GetParam().expected);
    bool ran = false;
    EXPECT_EQ(HotKey::create(*service, controlOptionK, [&] { ran = true; }), nullptr);
    EXPECT_EQ(HotKey::create(*service, {49, KeyCombo::cmdKey}, [&] { ran = true; }), nullptr);
    loop.runFor(50ms);
    EXPECT_FALSE(ran);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, HotKeyWithoutX,
    ::testing::Values(
        WithoutX{"NoDisplay", {}, HotKeyService::Availability::noDisplay},
        WithoutX{"EmptyDisplay", {{"DISPLAY", ""}}, HotKeyService::Availability::noDisplay},
        WithoutX{"WaylandDisplay",
                 {{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}},
                 HotKeyService::Availability::wayland},
        WithoutX{"WaylandSession",
                 {{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "wayland"}},
                 HotKeyService::Availability::wayland},
        WithoutX{
            "NoServer", {{"DISPLAY", ":31999"}}, HotKeyService::Availability::connectionFailed},
        WithoutX{"Garbage", {{"DISPLAY", "::::"}}, HotKeyService::Availability::connectionFailed}),
    [](const auto& param) { return std::string(param.param.what); });

} // namespace

namespace {

// The same rules without a display server, for the app's own tests.
TEST(HotKeyFake, RefusalsAndUnregisteringOnDestruction) {
    platform::test::FakeHotKeyService service;
    int presses = 0;
    service.heldElsewhere.insert({49, KeyCombo::cmdKey});
    EXPECT_EQ(HotKey::create(service, {49, KeyCombo::cmdKey}, [&] { ++presses; }), nullptr);
    auto hotKey = HotKey::create(service, controlOptionK, [&] { ++presses; });
    ASSERT_NE(hotKey, nullptr);
    EXPECT_EQ(HotKey::create(service, controlOptionK, [&] { ++presses; }), nullptr);
    EXPECT_TRUE(service.press(40, controlOptionK.modifiers));
    EXPECT_EQ(presses, 1);
    hotKey.reset();
    EXPECT_FALSE(service.press(40, controlOptionK.modifiers));
    EXPECT_EQ(service.registered(), 0u);
    service.state = HotKeyService::Availability::wayland;
    EXPECT_EQ(HotKey::create(service, controlOptionK, [] {}), nullptr);
}

} // namespace
