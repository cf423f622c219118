#pragma once

#include <glib.h>
#include <libsecret/secret.h>

#include <cstdint>

namespace twinlantern {

// The schema of our items. It carries its own name, so a search never matches
// another program's items even when their attributes look alike.
const SecretSchema& keychainItemSchema();

// The keychain status that says the same as a Secret Service or D-Bus failure.
std::int32_t keychainStatusFor(const GError& error);

} // namespace twinlantern
