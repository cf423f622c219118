#pragma once

#include "TwinLanternMac/services/KeyCombo.h"

#include <QtCore/qnamespace.h>

#include <cstdint>
#include <optional>

class QKeyEvent;

namespace twinlantern::ui {

// What one key press means to the shortcut recorder.
struct RecordedKey {
    enum class Kind {
        escape,   // stops recording
        modifier, // a modifier or lock key on its own: ignored, recording goes on
        refused,  // no Control, Option or Command, or a key the hot key can't grab: beep
        combo,    // a combination to store
    };
    Kind kind = Kind::refused;
    std::optional<KeyCombo> combo; // combo only

    friend bool operator==(const RecordedKey&, const RecordedKey&) = default;
};

// The physical key is the event's native scan code (the X keycode), turned into the
// stored virtual key code through the same position table the hot key grabs with.
// Meta (Super) is Command, Alt is Option; keypad and group flags are ignored.
RecordedKey recordedKey(std::uint32_t nativeScanCode, int qtKey, Qt::KeyboardModifiers modifiers);
RecordedKey recordedKey(const QKeyEvent& event);

} // namespace twinlantern::ui
