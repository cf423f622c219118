#include "core/base/Text.h"

namespace twinlantern::text {

namespace {

constexpr char hexDigits[] = "0123456789ABCDEF";

void appendByteEscape(std::string& out, unsigned char c) {
    out += "\\x";
    out += hexDigits[c >> 4];
    out += hexDigits[c & 0xF];
}

} // namespace

std::string terminalSafe(std::string_view s) {
    // The usual text is printable ASCII and is copied as it is.
    std::size_t i = 0;
    while (i < s.size() && static_cast<unsigned char>(s[i]) >= 0x20 &&
           static_cast<unsigned char>(s[i]) < 0x7F) {
        ++i;
    }
    if (i == s.size()) {
        return std::string(s);
    }
    std::string out(s.substr(0, i));
    out.reserve(s.size() + 8);
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    while (i < s.size()) {
        const unsigned char c = bytes[i];
        if (c < 0x20 || c == 0x7F) {
            appendByteEscape(out, c);
            ++i;
            continue;
        }
        const int length = utf8Sequence(bytes + i, s.size() - i);
        if (length < 0) {
            for (int k = 0; k < -length; ++k) {
                appendByteEscape(out, bytes[i + static_cast<std::size_t>(k)]);
            }
            i += static_cast<std::size_t>(-length);
            continue;
        }
        if (length == 2 && c == 0xC2 && bytes[i + 1] <= 0x9F) { // U+0080 to U+009F
            out += "\\u00";
            out += hexDigits[(bytes[i + 1] >> 4) & 0xF];
            out += hexDigits[bytes[i + 1] & 0xF];
        } else {
            out.append(s.substr(i, static_cast<std::size_t>(length)));
        }
        i += static_cast<std::size_t>(length);
    }
    return out;
}

} // namespace twinlantern::text
