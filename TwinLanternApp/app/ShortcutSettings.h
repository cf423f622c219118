#pragma once

#include "TwinLanternMac/services/KeyCombo.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace twinlantern::app {

// The stored hot-key combination ("cycleShortcut") and the hook the shortcut section
// calls after every change of it or of its switch.
struct ShortcutSettings {
    // Nothing when absent or not a well-formed combination (never reported).
    static std::optional<KeyCombo> combo();
    // Nothing removes the key. Doesn't call onChange: the caller does.
    static void setCombo(const std::optional<KeyCombo>& combo);

    static std::function<void()> onChange;

    // The stored bytes: compact JSON, {"keyCode":40,"modifiers":6144}.
    static QByteArray encode(const KeyCombo& combo);
    // Members in any order, extras ignored; both must be unsigned 32-bit integers.
    static std::optional<KeyCombo> decode(const QByteArray& bytes);
};

} // namespace twinlantern::app
