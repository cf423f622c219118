#include "TwinLanternApp/ui/advanced/ShortcutRecorderKeys.h"

#include <QKeyEvent>

#include <gtest/gtest.h>

#include <cctype>

using namespace twinlantern;
using namespace twinlantern::ui;

namespace {

using Kind = RecordedKey::Kind;

struct KeyCase {
    const char* name;
    std::uint32_t scanCode; // the X keycode
    int key;
    Qt::KeyboardModifiers modifiers;
    Kind kind;
    KeyCombo combo; // combo only
};

const KeyCase keyCases[] = {
    {"Ctrl+Alt+K", 45, Qt::Key_K, Qt::ControlModifier | Qt::AltModifier, Kind::combo, {40, 6144}},
    {"Alt+Super+K", 45, Qt::Key_K, Qt::AltModifier | Qt::MetaModifier, Kind::combo, {40, 2304}},
    {"Ctrl+Q", 24, Qt::Key_Q, Qt::ControlModifier, Kind::combo, {12, 4096}},
    {"Ctrl+Shift+Q",
     24,
     Qt::Key_Q,
     Qt::ControlModifier | Qt::ShiftModifier,
     Kind::combo,
     {12, 4608}},
    // The position decides, not the character the layout gives it.
    {"Ctrl+K typing another letter", 45, Qt::Key_Z, Qt::ControlModifier, Kind::combo, {40, 4096}},
    {"keypad and group flags ignored",
     86,
     Qt::Key_Plus,
     Qt::ControlModifier | Qt::KeypadModifier | Qt::GroupSwitchModifier,
     Kind::combo,
     {69, 4096}},
    {"K alone", 45, Qt::Key_K, Qt::NoModifier, Kind::refused, {}},
    {"Shift+K", 45, Qt::Key_K, Qt::ShiftModifier, Kind::refused, {}},
    {"no scan code", 0, Qt::Key_K, Qt::ControlModifier, Kind::refused, {}},
    {"no position for the scan code", 250, Qt::Key_K, Qt::ControlModifier, Kind::refused, {}},
    {"Escape", 9, Qt::Key_Escape, Qt::NoModifier, Kind::escape, {}},
    {"Ctrl+Escape", 9, Qt::Key_Escape, Qt::ControlModifier, Kind::escape, {}},
    {"Escape without a scan code", 0, Qt::Key_Escape, Qt::NoModifier, Kind::escape, {}},
    // Presses of the modifier keys themselves, with their own flag held as Qt reports.
    {"Control_L", 37, Qt::Key_Control, Qt::ControlModifier, Kind::modifier, {}},
    {"Alt_L after Control",
     64,
     Qt::Key_Alt,
     Qt::ControlModifier | Qt::AltModifier,
     Kind::modifier,
     {}},
    {"Super_L", 133, Qt::Key_Super_L, Qt::MetaModifier, Kind::modifier, {}},
    {"Meta", 133, Qt::Key_Meta, Qt::MetaModifier, Kind::modifier, {}},
    {"Shift_L with Control",
     50,
     Qt::Key_Shift,
     Qt::ControlModifier | Qt::ShiftModifier,
     Kind::modifier,
     {}},
    {"Control_R", 105, Qt::Key_Control, Qt::ControlModifier, Kind::modifier, {}},
    {"Caps Lock", 66, Qt::Key_CapsLock, Qt::ControlModifier, Kind::modifier, {}},
    {"Num Lock", 77, Qt::Key_NumLock, Qt::ControlModifier, Kind::modifier, {}},
    {"AltGr", 108, Qt::Key_AltGr, Qt::ControlModifier, Kind::modifier, {}},
    // A modifier position the layout names as something else still is no combination.
    {"Control position typing a letter", 37, Qt::Key_A, Qt::ControlModifier, Kind::modifier, {}},
};

class RecordedKeyCases : public ::testing::TestWithParam<KeyCase> {};

TEST_P(RecordedKeyCases, MeansWhatTheRecorderNeeds) {
    const KeyCase& c = GetParam();
    const RecordedKey expected{c.kind, c.kind == Kind::combo ? std::optional(c.combo)
                                                             : std::optional<KeyCombo>()};
    EXPECT_EQ(recordedKey(c.scanCode, c.key, c.modifiers), expected);

    // The same through a real event, as the recorder receives it.
    QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers, c.scanCode, 0, 0);
    EXPECT_EQ(recordedKey(event), expected);
}

INSTANTIATE_TEST_SUITE_P(Keys, RecordedKeyCases, ::testing::ValuesIn(keyCases),
                         [](const ::testing::TestParamInfo<KeyCase>& param) {
                             std::string name;
                             for (const char* p = param.param.name; *p; ++p) {
                                 if (std::isalnum(static_cast<unsigned char>(*p))) {
                                     name += *p;
                                 }
                             }
                             return name;
                         });

} // namespace
