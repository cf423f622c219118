#pragma once

#include "core/base/Paths.h"
#include "platform/HotKeyService.h"
#include "platform/KeyboardLayout.h"
#include "platform/MainLoop.h"

#include <memory>
#include <string>

namespace twinlantern::platform {

// Whether the environment offers an X server we may grab keys on: `available`, or why
// not (no DISPLAY, a Wayland session).
HotKeyService::Availability x11Environment(const Environment& environment);

// Key grabs on the X server of `environment`'s DISPLAY, delivered through `loop`. The
// loop must outlive the service, and the service its registrations' owners.
std::unique_ptr<HotKeyService> makeX11HotKeyService(MainLoop& loop, const Environment& environment);

// Key names from the X server's keymap, read at each call; nothing without a server.
std::unique_ptr<KeyboardLayout> makeX11KeyboardLayout(const Environment& environment);

} // namespace twinlantern::platform
