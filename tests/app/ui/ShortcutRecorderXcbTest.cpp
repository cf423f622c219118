#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "TwinLanternApp/ui/frame/Owned.h"
#include "TwinLanternApp/ui/advanced/ShortcutRecorder.h"
#include "TwinLanternMac/services/HotKey.h"
#include "platform/HotKeyService.h"
#include "platform/PollMainLoop.h"
#include "tests/support/TestSupport.h"
#include "tests/support/x11/XClient.h"
#include "tests/support/x11/XvfbServer.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <optional>

using namespace twinlantern;
using namespace twinlantern::ui;
using namespace std::chrono_literals;
using tltest::XClient;

namespace {

// Set by main before the application starts.
tltest::XvfbServer* server = nullptr;

constexpr std::uint8_t xQ = 24;

// The recorder in a window that has the X input focus, a Ctrl+Q shortcut that counts,
// and onChange doing what the app's delegate does: register the stored combination.
class ShortcutRecorderXcbTest : public ::testing::Test {
protected:
    std::unique_ptr<QWidget> window;
    QLineEdit* field = nullptr;
    ShortcutSection* section = nullptr;
    int quits = 0;
    int changes = 0;
    int actions = 0;
    platform::PollMainLoop loop;
    std::unique_ptr<platform::HotKeyService> service;
    std::unique_ptr<HotKey> hotKey;
    std::unique_ptr<XClient> typist;

    void SetUp() override {
        if (!server->running()) {
            GTEST_SKIP() << "no X server for this test: " << server->problem();
        }
        app::AppSettings::open()->clear();
        service = platform::makeHotKeyService(loop, {{"DISPLAY", server->display()}});
        typist = std::make_unique<XClient>(server->display());
        ASSERT_TRUE(typist->connected());
        app::ShortcutSettings::onChange = [this] {
            ++changes;
            hotKey.reset();
            const auto combo = app::ShortcutSettings::combo();
            if (combo && app::AppSettings::boolValue(app::AppSettings::cycleShortcutEnabled)) {
                hotKey = HotKey::create(*service, *combo, [this] { ++actions; });
            }
        };

        window = std::make_unique<QWidget>();
        auto* column = owned<QVBoxLayout>(window.get());
        window->setLayout(column);
        field = owned<QLineEdit>(window.get());
        field->setAccessibleName(QStringLiteral("Field"));
        column->addWidget(field);
        section = owned<ShortcutSection>(window.get());
        column->addWidget(section);
        auto* quit = owned<QShortcut>(window.get(), QKeySequence(QStringLiteral("Ctrl+Q")));
        QObject::connect(quit, &QShortcut::activated, [this] { ++quits; });
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get(), tltest::patienceMs));
        field->setFocus();
        section->enabledSwitch()->click();
    }
    void TearDown() override {
        hotKey.reset();
        window.reset();
        app::ShortcutSettings::onChange = nullptr;
    }

    bool waitForCombo(const KeyCombo& expected) {
        return QTest::qWaitFor([&] { return app::ShortcutSettings::combo() == expected; },
                               tltest::patienceMs);
    }
    void settle() {
        typist->sync();
        QTest::qWait(200);
    }
};

TEST_F(ShortcutRecorderXcbTest, ControlQWhileRecordingIsStoredAndQuitsNothing) {
    // Outside recording the shortcut works: the test would show nothing otherwise.
    typist->tap({XClient::controlKey, xQ});
    ASSERT_TRUE(QTest::qWaitFor([&] { return quits == 1; }, tltest::patienceMs));

    section->recordButton()->click();
    ASSERT_TRUE(section->recording());
    typist->tap({XClient::controlKey, xQ});
    ASSERT_TRUE(waitForCombo(KeyCombo{12, 4096}));
    settle();
    EXPECT_EQ(quits, 1);
    EXPECT_FALSE(section->recording());
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(ShortcutRecorderXcbTest, ControlOptionKIsStoredRegisteredAndRuns) {
    changes = 0;
    section->recordButton()->click();
    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    ASSERT_TRUE(waitForCombo(KeyCombo{40, 6144}));
    EXPECT_EQ(app::AppSettings::open()
                  ->value(QString::fromLatin1(app::AppSettings::cycleShortcut))
                  .toByteArray(),
              QByteArray(R"({"keyCode":40,"modifiers":6144})"));
    EXPECT_EQ(changes, 1);
    ASSERT_NE(hotKey, nullptr);
    settle();

    typist->tap({XClient::controlKey, XClient::altKey, XClient::kKey});
    EXPECT_TRUE(loop.runUntil([&] { return actions == 1; }, tltest::patience));
    EXPECT_TRUE(field->text().isEmpty());
}

} // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    tltest::XvfbServer xvfb;
    server = &xvfb;
    tltest::TempDir config;
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(config.path()));
    if (!xvfb.running()) {
        // Every test skips, saying why; no application without a display.
        return RUN_ALL_TESTS();
    }
    setenv("DISPLAY", xvfb.display().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    static int qtArgc = 1;
    static char name[] = "test_ui_xcb";
    static char* qtArgv[] = {name, nullptr};
    int result = 0;
    {
        QApplication app(qtArgc, qtArgv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
