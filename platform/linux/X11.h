#pragma once

#include "core/base/Paths.h"
#include "platform/HotKeyService.h"
#include "platform/KeyboardLayout.h"

namespace twinlantern::platform {

// Whether the environment offers an X server we may grab keys on: `available`, or why
// not (no DISPLAY, a Wayland session).
HotKeyService::Availability x11Environment(const Environment& environment);

} // namespace twinlantern::platform
