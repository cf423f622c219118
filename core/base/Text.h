#pragma once

#include <unicode/utf8.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Unicode rules shared by the checks and lookups. ASCII text takes a fast path and
// never reaches ICU, so the resolver pays for Unicode only when it meets it.
namespace twinlantern::text {

bool isAscii(std::string_view s);

// The UTF-8 sequence starting at p (`available` bytes there): its length when it is
// well-formed (no overlong forms, surrogates or values past U+10FFFF), else the length of
// its maximal invalid subpart, negated; the Unicode practice for U+FFFD substitution.
// ICU's decoder, as everywhere else; it needs no data.
inline int utf8Sequence(const unsigned char* p, std::size_t available) {
    const auto length = static_cast<std::int32_t>(std::min<std::size_t>(available, 4));
    std::int32_t i = 0;
    UChar32 c = 0;
    U8_NEXT(p, i, length, c);
    return c < 0 ? -i : i;
}

// Length of the well-formed sequence at p, or 0 when there is none.
inline std::size_t utf8SequenceLength(const unsigned char* p, std::size_t available) {
    if (available == 0) {
        return 0;
    }
    const int length = utf8Sequence(p, available);
    return length > 0 ? static_cast<std::size_t>(length) : 0;
}
bool isValidUtf8(std::string_view s);

// Full Unicode case mapping, no locale (one character may become several).
std::string lowercased(std::string_view s);
std::string uppercased(std::string_view s);

// Case-insensitive equality by full case folding.
bool caselessEqual(std::string_view a, std::string_view b);

// Trims spaces and tabs (not line breaks) at both ends.
std::string_view trimSpacesTabs(std::string_view s);

// Lower-cases, then removes diacritics (an accented e becomes e).
std::string foldedForSlug(std::string_view s);

// User-perceived characters (extended grapheme clusters).
std::size_t characterCount(std::string_view s);
// The first user-perceived character, or empty.
std::string firstCharacter(std::string_view s);

} // namespace twinlantern::text
