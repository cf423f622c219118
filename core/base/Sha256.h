#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

using Sha256Digest = std::array<std::uint8_t, 32>;

// SHA-256 of bytes; nothing only when the crypto library fails.
std::optional<Sha256Digest> sha256Digest(std::string_view bytes);
// The digest as 64 lowercase hex digits; empty when the crypto library fails, so it
// matches no recorded digest.
std::string sha256Hex(std::string_view bytes);

} // namespace twinlantern
