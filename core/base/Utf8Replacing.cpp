#include "core/base/Utf8Replacing.h"

#include "core/base/Text.h"

namespace twinlantern {

std::string utf8Replacing(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    while (n > 0) {
        int length = text::utf8Sequence(p, n);
        if (length > 0) {
            out.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(length));
        } else {
            out.append("\xEF\xBF\xBD");
            length = -length;
        }
        p += length;
        n -= static_cast<std::size_t>(length);
    }
    return out;
}

} // namespace twinlantern
