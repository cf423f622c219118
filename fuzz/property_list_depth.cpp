// Arbitrary bytes as an Info.plist: the nesting bound judges them without reading past
// the end, looping or recursing; what it passes nests no deeper than asked.
#include "core/base/PropertyListDepth.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

using namespace twinlantern;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const bool shallow = propertyListNestingWithin(bytes, 4, 1000);
    if (shallow && !propertyListNestingWithin(bytes, 64, 100000)) {
        std::abort(); // a looser bound refuses what a tighter one passed
    }
    return 0;
}
