#include "core/base/Random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdlib>

namespace twinlantern {

std::uint32_t secureRandomU32() {
    std::uint32_t value = 0;
    auto* bytes = reinterpret_cast<unsigned char*>(&value);
    std::size_t got = 0;
    while (got < sizeof value) {
        ssize_t n = getrandom(bytes + got, sizeof value - got, 0);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::abort(); // no secure source: never fall back to a guessable one
        }
        got += static_cast<std::size_t>(n);
    }
    return value;
}

std::uint32_t secureRandomBelow(std::uint32_t bound) {
    // Reject the top slice that would make some results more likely.
    const std::uint32_t limit = UINT32_MAX - (UINT32_MAX % bound + 1) % bound;
    for (;;) {
        std::uint32_t value = secureRandomU32();
        if (value <= limit) {
            return value % bound;
        }
    }
}

} // namespace twinlantern
