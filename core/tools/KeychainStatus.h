#pragma once

#include "core/base/TwinLanternError.h"

#include <cstdint>
#include <optional>
#include <string>

namespace twinlantern {

// Keychain status codes keep their numeric values so messages read the same
// everywhere; this is our own table of their texts.
namespace keychain_status {
inline constexpr std::int32_t success = 0;
inline constexpr std::int32_t param = -50;
inline constexpr std::int32_t userCanceled = -128;
inline constexpr std::int32_t notAvailable = -25291;
inline constexpr std::int32_t authFailed = -25293;
inline constexpr std::int32_t duplicateItem = -25299;
inline constexpr std::int32_t itemNotFound = -25300;
inline constexpr std::int32_t interactionNotAllowed = -25308;
inline constexpr std::int32_t decode = -26275;
} // namespace keychain_status

// The text for a status, or nothing when there is none.
std::optional<std::string> keychainStatusMessage(std::int32_t status);

// "Keychain error <status>: <its text>", "unknown" for a status without one.
TwinLanternError keychainError(std::int32_t status);

} // namespace twinlantern
