#pragma once

// The texts that differ from the Mac's. Each says on Linux what its Mac text says of a
// macOS thing (the Keychain, the menu bar, the modifier glyphs); every other text in the
// interface is the Mac's own.

#include "TwinLanternMac/services/KeyCombo.h"
#include "platform/KeyboardLayout.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace twinlantern::ui {

// Whether the desktop has a tray for the app's icon.
enum class Tray { available, none };

namespace linuxWords {

// Mac: "Your logins stay in your Mac's Keychain. Nothing leaves this Mac." (onboarding's
// first step and the Advanced tab).
inline constexpr char loginsStayHere[] =
    "Your logins stay in your system keyring. Nothing leaves this computer.";
// Mac: "Each tool keeps its own login in your Mac's Keychain. TwinLantern never sees your
// passwords, and nothing leaves this Mac." (help).
inline constexpr char helpLogins[] =
    "Each tool keeps its own login in your system keyring. TwinLantern never sees your "
    "passwords, and nothing leaves this computer.";

// Mac: "TwinLantern lives in your menu bar." (onboarding's last step).
const char* whereItLives(Tray tray);

// Mac: ⌃ ⌥ ⇧ ⌘ before the key. The stored bits stay the Mac's; Command is Super here, as
// the hot key grabs it.
inline constexpr std::array<std::pair<std::uint32_t, const char*>, 4> modifierNames{{
    {KeyCombo::controlKey, "Ctrl"},
    {KeyCombo::optionKey, "Alt"},
    {KeyCombo::shiftKey, "Shift"},
    {KeyCombo::cmdKey, "Super"},
}};
// The shortcut's title: "Ctrl+Alt+T", the key named as the Mac names it.
std::string shortcutTitle(const KeyCombo& combo, const platform::KeyboardLayout& layout);

} // namespace linuxWords
} // namespace twinlantern::ui
