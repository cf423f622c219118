#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

namespace twinlantern::testing {

// Connects to the Unix socket at path, sends the bytes, and reads what comes back until
// the other end closes, `wanted` bytes have come, or `quiet` passes with nothing more.
// Empty when nobody listens.
std::string exchangeOverUnixSocket(const std::string& path, std::string_view bytes,
                                   std::chrono::milliseconds quiet = std::chrono::milliseconds(300),
                                   std::size_t wanted = std::string::npos);

} // namespace twinlantern::testing
