// Arbitrary bytes as another process's argument buffer: parsed, and the user-data
// folder picked out of what parses.
#include "TwinLanternMac/apps/ProcessArguments.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

using namespace twinlantern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (const auto arguments = ProcessArguments::parse(bytes)) {
        std::uint32_t count = 0;
        std::memcpy(&count, bytes.data(), sizeof count);
        if (arguments->size() != count) {
            std::abort(); // a list is whole or nothing
        }
        if (const auto folder = ProcessArguments::userDataDirectory(*arguments);
            folder && (folder->empty() || folder->front() != '/')) {
            std::abort(); // normalised: absolute
        }
    }
    // The same bytes as a command line with a fixed executable.
    (void)ProcessArguments::parse(ProcessArguments::layout(bytes, "/x"));
    return 0;
}
