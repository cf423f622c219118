#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Unicode rules shared by the checks and lookups. ASCII text takes a fast path and
// never reaches ICU, so the resolver pays for Unicode only when it meets it.
namespace twinlantern::text {

bool isAscii(std::string_view s);

// The UTF-8 sequence starting at p (`available` bytes there): its length when it is
// well-formed (no overlong forms, surrogates or values past U+10FFFF), else the length of
// its maximal invalid subpart, negated; the Unicode practice for U+FFFD substitution.
inline int utf8Sequence(const unsigned char* p, std::size_t available) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        return 1;
    }
    int length;
    unsigned char low = 0x80, high = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        low = c == 0xE0 ? 0xA0 : 0x80;
        high = c == 0xED ? 0x9F : 0xBF;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        low = c == 0xF0 ? 0x90 : 0x80;
        high = c == 0xF4 ? 0x8F : 0xBF;
    } else {
        return -1;
    }
    for (int i = 1; i < length; ++i) {
        if (static_cast<std::size_t>(i) >= available) {
            return -i;
        }
        const unsigned char b = p[i];
        if (b < (i == 1 ? low : 0x80) || b > (i == 1 ? high : 0xBF)) {
            return -i;
        }
    }
    return length;
}

// Length of the well-formed sequence at p, or 0 when there is none.
inline std::size_t utf8SequenceLength(const unsigned char* p, std::size_t available) {
    if (available == 0) {
        return 0;
    }
    const int length = utf8Sequence(p, available);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}

// The scalar value of the well-formed sequence at p, `length` bytes long (from
// utf8Sequence): the one decoder here, for validation, replacement and the shell code.
inline char32_t utf8Scalar(const unsigned char* p, int length) {
    if (length == 1) {
        return p[0];
    }
    char32_t c = p[0] & (0x7Fu >> length);
    for (int i = 1; i < length; ++i) {
        c = (c << 6) | (p[i] & 0x3Fu);
    }
    return c;
}

bool isValidUtf8(std::string_view s);

// Full Unicode case mapping, no locale (one character may become several).
std::string lowercased(std::string_view s);
std::string uppercased(std::string_view s);

// Case-insensitive equality by full case folding.
bool caselessEqual(std::string_view a, std::string_view b);
// The full case folding: equal exactly when caselessEqual holds, so it can key a lookup.
std::string caseFolded(std::string_view s);

// The parts with the separator between them.
inline std::string joined(const std::vector<std::string>& parts, std::string_view separator) {
    std::string out;
    for (const std::string& part : parts) {
        if (!out.empty()) {
            out += separator;
        }
        out += part;
    }
    return out;
}

// Text from a file, a folder name or a profile, safe to print on a terminal: C0 and C1
// controls and DEL become visible escapes (\x1B, \u009B), and so does each byte that is
// not part of well-formed UTF-8 (\xFF), which some terminals take as a C1 control.
std::string terminalSafe(std::string_view s);

// Trims spaces and tabs (not line breaks) at both ends.
std::string_view trimSpacesTabs(std::string_view s);

// Lower-cases, then removes diacritics (an accented e becomes e).
std::string foldedForSlug(std::string_view s);

// User-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view s);
// The first user-perceived character, or empty.
std::string firstCharacter(std::string_view s);
// The first n user-perceived characters (all of s when it has fewer).
std::string firstCharacters(std::string_view s, std::size_t n);

// A name to show inside other text, as one isolated run (FSI … PDI): whatever it holds,
// it neither moves nor reverses the text around it. Its own embeddings, overrides and
// isolates (U+202A–U+202E, U+2066–U+2069) are left out, so it can't reverse itself or
// end the isolation early; its letters keep their own direction.
std::string bidiIsolated(std::string_view s);
// The same without the isolation: the text with those controls left out.
std::string withoutBidiControls(std::string_view s);

} // namespace twinlantern::text
