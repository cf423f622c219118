#pragma once

#include "core/base/Paths.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace twinlantern::platform {

// The current keyboard layout, for naming keys.
class KeyboardLayout {
public:
    virtual ~KeyboardLayout() = default;
    // What the key at this position types with no modifiers, as the layout stands at
    // the call; nothing when there is no layout or the key types nothing.
    virtual std::optional<std::string> characters(std::uint32_t virtualKeyCode) const = 0;
};

// The layout of this machine: key names from the X server's keymap, read at each call;
// nothing without a server.
std::unique_ptr<KeyboardLayout> makeKeyboardLayout(const Environment& environment);

} // namespace twinlantern::platform
