#include "TwinLanternApp/ui/advanced/ShortcutRecorder.h"

#include "TwinLanternApp/ui/frame/Owned.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "platform/test/FakeKeyboardLayout.h"
#include "tests/app/ui/Accessibility.h"
#include "tests/app/ui/UiTest.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTabWidget>
#include <QTest>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <memory>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

// X keycodes as a PC keyboard gives them.
constexpr std::uint32_t xK = 45, xQ = 24, xEscape = 9, xControl = 37, xAlt = 64, xSuper = 133,
                        xShift = 50;

// A window with a text field beside the section on one tab, and a second tab; beeps and
// hook calls counted, settings fresh.
class ShortcutRecorderTest : public ::testing::Test {
protected:
    test::FreshSettings settings;
    int beeps = 0;
    int changes = 0;
    std::function<void()> savedBeep = ShortcutSection::beep;
    std::function<std::unique_ptr<platform::KeyboardLayout>()> savedLayout =
        ShortcutSection::makeLayout;
    std::unique_ptr<QTabWidget> window;
    QLineEdit* field = nullptr;
    QLineEdit* otherField = nullptr;
    ShortcutSection* section = nullptr;

    void SetUp() override {
        ShortcutSection::beep = [this] {
            ++beeps;
        };
        ShortcutSection::makeLayout = [] {
            auto layout = std::make_unique<platform::test::FakeKeyboardLayout>();
            // Emplaced, not `keys[n] = "k"`: GCC 12 at -O3 takes that for an overlapping copy.
            layout->keys.emplace(40, std::string(1, 'k'));
            layout->keys.emplace(12, std::string(1, 'q'));
            return layout;
        };
        app::ShortcutSettings::onChange = [this] {
            ++changes;
        };
    }
    void TearDown() override {
        window.reset();
        ShortcutSection::beep = savedBeep;
        ShortcutSection::makeLayout = savedLayout;
        app::ShortcutSettings::onChange = nullptr;
    }

    void open() {
        window = std::make_unique<QTabWidget>();
        auto* page = owned<QWidget>(window.get());
        auto* column = owned<QVBoxLayout>(page);
        page->setLayout(column);
        field = owned<QLineEdit>(page);
        field->setAccessibleName(QStringLiteral("Field"));
        column->addWidget(field);
        section = owned<ShortcutSection>(page);
        column->addWidget(section);
        window->addTab(page, QStringLiteral("Advanced"));
        auto* other = owned<QWidget>(window.get());
        auto* otherColumn = owned<QVBoxLayout>(other);
        other->setLayout(otherColumn);
        otherField = owned<QLineEdit>(other);
        otherField->setAccessibleName(QStringLiteral("Other"));
        otherColumn->addWidget(otherField);
        window->addTab(other, QStringLiteral("Other"));
        test::showActive(window.get());
        field->setFocus();
        QApplication::processEvents();
    }

    // As the window system delivers a key: the shortcut override first, then the press
    // and the release, each to the focus widget.
    void key(std::uint32_t scanCode, int qtKey, Qt::KeyboardModifiers modifiers,
             const QString& text = {}) {
        QWidget* focus = QApplication::focusWidget();
        ASSERT_NE(focus, nullptr);
        QKeyEvent override(QEvent::ShortcutOverride, qtKey, modifiers, scanCode, 0, 0, text);
        QApplication::sendEvent(focus, &override);
        QKeyEvent press(QEvent::KeyPress, qtKey, modifiers, scanCode, 0, 0, text);
        QApplication::sendEvent(focus, &press);
        QKeyEvent release(QEvent::KeyRelease, qtKey, modifiers, scanCode, 0, 0, text);
        QApplication::sendEvent(focus, &release);
    }

    void turnOn() {
        section->enabledSwitch()->click();
        ASSERT_TRUE(section->enabledSwitch()->isChecked());
    }
    QString title() const { return section->recordButton()->text(); }
    std::optional<bool> storedEnabled() const {
        const QVariant value = app::AppSettings::open()->value(
            QString::fromLatin1(app::AppSettings::cycleShortcutEnabled));
        return value.isValid() ? std::optional(value.toBool()) : std::nullopt;
    }
};

TEST_F(ShortcutRecorderTest, AbsentSettingIsOffWithTheRowHidden) {
    open();
    EXPECT_FALSE(section->enabledSwitch()->isChecked());
    EXPECT_TRUE(section->recordButton()->isHidden() || !section->recordButton()->isVisible());
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(storedEnabled());
}

TEST_F(ShortcutRecorderTest, SwitchWritesTheSettingAndCallsTheHookEachTime) {
    open();
    turnOn();
    EXPECT_EQ(storedEnabled(), true);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(section->recordButton()->isVisible());
    EXPECT_EQ(title(), QStringLiteral("Record"));
    section->enabledSwitch()->click();
    EXPECT_EQ(storedEnabled(), false);
    EXPECT_EQ(changes, 2);
    EXPECT_FALSE(section->recordButton()->isVisible());
}

TEST_F(ShortcutRecorderTest, LettersAloneOrWithShiftBeepAndModifierPressesAreIgnored) {
    open();
    turnOn();
    changes = 0;
    section->recordButton()->click();
    EXPECT_EQ(title(), QStringLiteral("Press keys…"));
    key(xK, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    key(xK, Qt::Key_K, Qt::ShiftModifier, QStringLiteral("K"));
    EXPECT_EQ(beeps, 2);
    // Ctrl, Alt, Super and Shift pressed on their way to a combination.
    key(xControl, Qt::Key_Control, Qt::ControlModifier);
    key(xAlt, Qt::Key_Alt, Qt::ControlModifier | Qt::AltModifier);
    key(xSuper, Qt::Key_Super_L, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    key(xShift, Qt::Key_Shift, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(beeps, 2);
    EXPECT_TRUE(section->recording());
    EXPECT_EQ(title(), QStringLiteral("Press keys…"));
    EXPECT_FALSE(app::ShortcutSettings::combo());
    EXPECT_EQ(changes, 0);
    // None of it reached the field.
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(ShortcutRecorderTest, KeysWithoutAPositionBeep) {
    open();
    turnOn();
    section->recordButton()->click();
    key(0, Qt::Key_K, Qt::ControlModifier);
    key(250, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(beeps, 2);
    EXPECT_TRUE(section->recording());
    EXPECT_FALSE(app::ShortcutSettings::combo());
}

TEST_F(ShortcutRecorderTest, EscapeStopsAndChangesNothing) {
    app::ShortcutSettings::setCombo(KeyCombo{12, 4096});
    open();
    turnOn();
    changes = 0;
    EXPECT_EQ(title(), QStringLiteral("Ctrl+Q"));
    section->recordButton()->click();
    key(xEscape, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(section->recording());
    EXPECT_EQ(title(), QStringLiteral("Ctrl+Q"));
    EXPECT_EQ(app::ShortcutSettings::combo(), (KeyCombo{12, 4096}));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(beeps, 0);
    // Recording is over: keys reach the field again.
    key(xK, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    EXPECT_EQ(field->text(), QStringLiteral("k"));
}

TEST_F(ShortcutRecorderTest, OptionCommandAndKeyIsStoredOnce) {
    open();
    turnOn();
    changes = 0;
    section->recordButton()->click();
    key(xAlt, Qt::Key_Alt, Qt::AltModifier);
    key(xSuper, Qt::Key_Super_L, Qt::AltModifier | Qt::MetaModifier);
    key(xK, Qt::Key_K, Qt::AltModifier | Qt::MetaModifier, QStringLiteral("k"));
    EXPECT_FALSE(section->recording());
    EXPECT_EQ(app::ShortcutSettings::combo(), (KeyCombo{40, 2048 | 256}));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(title(), QStringLiteral("Alt+Super+K"));
    EXPECT_EQ(beeps, 0);
    EXPECT_TRUE(field->text().isEmpty());
    // Stored as the hot key reads it.
    EXPECT_EQ(app::AppSettings::open()
                  ->value(QString::fromLatin1(app::AppSettings::cycleShortcut))
                  .toByteArray(),
              QByteArray(R"({"keyCode":40,"modifiers":2304})"));
}

TEST_F(ShortcutRecorderTest, WhileRecordingNoShortcutOrControlSeesAKey) {
    open();
    turnOn();
    section->recordButton()->click();
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Q, Qt::ControlModifier, xQ, 0, 0);
    override.ignore();
    QApplication::sendEvent(field, &override);
    EXPECT_TRUE(override.isAccepted()); // the shortcut map then leaves the key alone
    key(xQ, Qt::Key_Q, Qt::ControlModifier, QStringLiteral("q"));
    EXPECT_EQ(app::ShortcutSettings::combo(), (KeyCombo{12, 4096}));
    EXPECT_TRUE(field->text().isEmpty());
}

TEST_F(ShortcutRecorderTest, ButtonAgainStopsWithoutStoring) {
    open();
    turnOn();
    changes = 0;
    section->recordButton()->click();
    section->recordButton()->click();
    EXPECT_FALSE(section->recording());
    EXPECT_EQ(title(), QStringLiteral("Record"));
    key(xK, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(app::ShortcutSettings::combo());
    EXPECT_EQ(changes, 0);
}

TEST_F(ShortcutRecorderTest, SwitchOffWhileRecordingHidesTheRowAndStops) {
    open();
    turnOn();
    section->recordButton()->click();
    section->enabledSwitch()->click();
    EXPECT_FALSE(section->recording());
    EXPECT_FALSE(section->recordButton()->isVisible());
    field->setFocus();
    key(xK, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_FALSE(app::ShortcutSettings::combo());
    EXPECT_EQ(beeps, 0);
}

TEST_F(ShortcutRecorderTest, AnotherTabStopsAndKeysReachItsControls) {
    open();
    turnOn();
    section->recordButton()->click();
    window->setCurrentIndex(1);
    EXPECT_FALSE(section->recording());
    otherField->setFocus();
    QApplication::processEvents();
    key(xK, Qt::Key_K, Qt::NoModifier, QStringLiteral("k"));
    EXPECT_EQ(otherField->text(), QStringLiteral("k"));
    EXPECT_EQ(beeps, 0);
}

TEST_F(ShortcutRecorderTest, ClosingTheWindowStops) {
    open();
    turnOn();
    section->recordButton()->click();
    window->close();
    EXPECT_FALSE(section->recording());
}

TEST_F(ShortcutRecorderTest, EveryControlIsNamedAndReachedByTab) {
    open();
    turnOn();
    EXPECT_EQ(test::unnamedControls(window.get()), std::vector<std::string>{});
    test::expectTabReachesEveryControl(window.get());
}

} // namespace
