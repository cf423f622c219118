#include "TwinLanternApp/ui/advanced/ShortcutRecorderKeys.h"

#include "platform/KeyPositions.h"

#include <QKeyEvent>

namespace twinlantern::ui {

namespace {

constexpr std::uint32_t escapeKeyCode = 53;

// Qt delivers presses of the modifier keys themselves; they start a combination, they
// are not one.
bool isModifierKey(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

// The same keys by position, for a layout that maps them to something Qt doesn't name.
bool isModifierPosition(std::uint32_t virtualKeyCode) {
    switch (virtualKeyCode) {
    case 54: // right Command
    case 55: // Command
    case 56: // Shift
    case 57: // Caps Lock
    case 58: // Option
    case 59: // Control
    case 60: // right Shift
    case 61: // right Option
    case 62: // right Control
    case 71: // Num Lock on PC keyboards
        return true;
    default:
        return false;
    }
}

} // namespace

RecordedKey recordedKey(std::uint32_t nativeScanCode, int qtKey, Qt::KeyboardModifiers modifiers) {
    const std::optional<std::uint32_t> virtualKey =
        nativeScanCode == 0 ? std::nullopt : platform::virtualKeyForXKeycode(nativeScanCode);
    if (virtualKey == escapeKeyCode || qtKey == Qt::Key_Escape) {
        return {RecordedKey::Kind::escape, std::nullopt};
    }
    if (isModifierKey(qtKey) || (virtualKey && isModifierPosition(*virtualKey))) {
        return {RecordedKey::Kind::modifier, std::nullopt};
    }
    if (!virtualKey) {
        return {RecordedKey::Kind::refused, std::nullopt};
    }
    KeyEvent event;
    event.keyCode = *virtualKey;
    if (modifiers & Qt::ControlModifier) {
        event.modifierFlags |= KeyEvent::controlFlag;
    }
    if (modifiers & Qt::AltModifier) {
        event.modifierFlags |= KeyEvent::optionFlag;
    }
    if (modifiers & Qt::MetaModifier) {
        event.modifierFlags |= KeyEvent::commandFlag;
    }
    if (modifiers & Qt::ShiftModifier) {
        event.modifierFlags |= KeyEvent::shiftFlag;
    }
    auto combo = KeyCombo::fromEvent(event);
    if (!combo) {
        return {RecordedKey::Kind::refused, std::nullopt};
    }
    return {RecordedKey::Kind::combo, combo};
}

RecordedKey recordedKey(const QKeyEvent& event) {
    return recordedKey(event.nativeScanCode(), event.key(), event.modifiers());
}

} // namespace twinlantern::ui
