#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Unicode rules shared by the checks and lookups. ASCII text takes a fast path and
// never reaches ICU, so the resolver pays for Unicode only when it meets it.
namespace twinlantern::text {

bool isAscii(std::string_view s);
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
