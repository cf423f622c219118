#include "core/shell/ShellQuote.h"

#include "core/base/Text.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

namespace twinlantern::ShellQuote {

namespace {

bool isBareAscii(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::string_view("-_./:=@%+,").find(static_cast<char>(c)) != std::string_view::npos;
}

bool isLetterOrNumber(UChar32 c) {
    if (u_isUAlphabetic(c)) {
        return true;
    }
    const auto type = u_charType(c);
    return type == U_DECIMAL_DIGIT_NUMBER || type == U_LETTER_NUMBER || type == U_OTHER_NUMBER;
}

// Every scalar counts: a combining letter before ";" must not hide it.
bool staysBare(std::string_view s) {
    if (s.empty() || !text::isValidUtf8(s)) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const uint8_t*>(s.data());
    const auto length = static_cast<int32_t>(s.size());
    for (int32_t i = 0; i < length;) {
        if (bytes[i] < 0x80) {
            if (!isBareAscii(bytes[i])) {
                return false;
            }
            ++i;
            continue;
        }
        UChar32 c = 0;
        U8_NEXT(bytes, i, length, c);
        if (c < 0 || !isLetterOrNumber(c)) {
            return false;
        }
    }
    return true;
}

} // namespace

std::string quote(std::string_view s) {
    if (staysBare(s)) {
        return std::string(s);
    }
    std::string out = "'";
    for (char c : s) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    out += '\'';
    return out;
}

} // namespace twinlantern::ShellQuote
