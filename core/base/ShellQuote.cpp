#include "core/base/ShellQuote.h"

#include "core/base/Text.h"

#include <unicode/uchar.h>

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
    const auto* bytes = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        if (bytes[i] < 0x80) {
            if (!isBareAscii(bytes[i])) {
                return false;
            }
            ++i;
            continue;
        }
        const int length = text::utf8Sequence(bytes + i, s.size() - i);
        if (length < 0 ||
            !isLetterOrNumber(static_cast<UChar32>(text::utf8Scalar(bytes + i, length)))) {
            return false;
        }
        i += static_cast<std::size_t>(length);
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
