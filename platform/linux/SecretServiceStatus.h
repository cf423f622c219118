#pragma once

#include <glib.h>

#include <cstdint>

namespace twinlantern {

// The keychain status that says the same as a Secret Service or D-Bus failure.
std::int32_t keychainStatusFor(const GError& error);

} // namespace twinlantern
