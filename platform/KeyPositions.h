#pragma once

#include <cstdint>
#include <optional>

namespace twinlantern::platform {

// Stored shortcuts keep the Mac virtual key codes (40 is K, 53 Escape). These name
// positions on a full keyboard; X names the same positions by keycode (the kernel's
// evdev code + 8). One table, both ways; nothing for a key it lacks.
std::optional<std::uint32_t> xKeycodeForVirtualKey(std::uint32_t virtualKeyCode);
std::optional<std::uint32_t> virtualKeyForXKeycode(std::uint32_t xKeycode);

} // namespace twinlantern::platform
