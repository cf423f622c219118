#pragma once

#include "platform/HotKeyService.h"
#include "platform/KeyboardLayout.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace twinlantern {

// A key press as the shortcut recorder sees it: the key's virtual key code and the
// modifier flags held.
struct KeyEvent {
    static constexpr std::uint64_t shiftFlag = 0x20000;
    static constexpr std::uint64_t controlFlag = 0x40000;
    static constexpr std::uint64_t optionFlag = 0x80000;
    static constexpr std::uint64_t commandFlag = 0x100000;

    std::uint32_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
};

// A global shortcut: a virtual key code (40 is K, 53 Escape) and modifier bits.
struct KeyCombo {
    static constexpr std::uint32_t cmdKey = platform::modifier::command;
    static constexpr std::uint32_t shiftKey = platform::modifier::shift;
    static constexpr std::uint32_t optionKey = platform::modifier::option;
    static constexpr std::uint32_t controlKey = platform::modifier::control;

    std::uint32_t keyCode = 0;
    std::uint32_t modifiers = 0;

    // Nothing unless Command, Option or Control is held; Shift alone doesn't count.
    static std::optional<KeyCombo> fromEvent(const KeyEvent& event);

    // "⌃⌥K": the modifiers' glyphs in a fixed order, then the key's name.
    std::string display(const platform::KeyboardLayout& layout) const;
    // A fixed name for nine keys, else what the layout types for the key, upper-cased,
    // else "#" and the code.
    static std::string keyName(std::uint32_t keyCode, const platform::KeyboardLayout& layout);

    // {"keyCode": n, "modifiers": n}, both required unsigned 32-bit integers; other
    // shapes throw JsonDecodeError.
    nlohmann::json toJson() const;
    static KeyCombo fromJson(const nlohmann::json& json);

    friend bool operator==(const KeyCombo&, const KeyCombo&) = default;
};

} // namespace twinlantern
