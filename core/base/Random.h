#pragma once

#include <cstdint>

namespace twinlantern {

// From the kernel's secure random source.
std::uint32_t secureRandomU32();
// Uniform in [0, bound), without modulo bias. bound > 0.
std::uint32_t secureRandomBelow(std::uint32_t bound);

} // namespace twinlantern
