#include "core/Utf8Replacing.h"

namespace twinlantern {

namespace {

// Length of the well-formed UTF-8 sequence at p, or of its maximal invalid subpart
// (negated), following the Unicode practice for U+FFFD substitution.
int utf8Sequence(const unsigned char* p, std::size_t n) {
    unsigned char c = p[0];
    if (c < 0x80) {
        return 1;
    }
    int length = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        lo = c == 0xE0 ? 0xA0 : 0x80;
        hi = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        lo = c == 0xF0 ? 0x90 : 0x80;
        hi = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= n) {
            return -i;
        }
        unsigned char b = p[i];
        if (b < (i == 1 ? lo : 0x80) || b > (i == 1 ? hi : 0xBF)) {
            return -i;
        }
    }
    return length;
}

} // namespace

std::string utf8Replacing(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t n = bytes.size();
    while (n > 0) {
        int length = utf8Sequence(p, n);
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
