#include "core/base/Text.h"

#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <algorithm>

namespace twinlantern::text {

bool isAscii(std::string_view s) {
    return std::all_of(s.begin(), s.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

bool isValidUtf8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t length = utf8SequenceLength(p + i, s.size() - i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

namespace {

std::string toUtf8(const icu::UnicodeString& u) {
    std::string out;
    u.toUTF8String(out);
    return out;
}

icu::UnicodeString fromUtf8(std::string_view s) {
    return icu::UnicodeString::fromUTF8(icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
}

} // namespace

std::string lowercased(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out) {
            if (c >= 'A' && c <= 'Z') {
                c = static_cast<char>(c - 'A' + 'a');
            }
        }
        return out;
    }
    icu::UnicodeString u = fromUtf8(s);
    u.toLower(icu::Locale::getRoot());
    return toUtf8(u);
}

std::string uppercased(std::string_view s) {
    if (isAscii(s)) {
        std::string out(s);
        for (char& c : out) {
            if (c >= 'a' && c <= 'z') {
                c = static_cast<char>(c - 'a' + 'A');
            }
        }
        return out;
    }
    icu::UnicodeString u = fromUtf8(s);
    u.toUpper(icu::Locale::getRoot());
    return toUtf8(u);
}

bool caselessEqual(std::string_view a, std::string_view b) {
    if (isAscii(a) && isAscii(b)) {
        if (a.size() != b.size()) {
            return false;
        }
        for (std::size_t i = 0; i < a.size(); ++i) {
            char x = a[i], y = b[i];
            if (x >= 'A' && x <= 'Z') {
                x = static_cast<char>(x - 'A' + 'a');
            }
            if (y >= 'A' && y <= 'Z') {
                y = static_cast<char>(y - 'A' + 'a');
            }
            if (x != y) {
                return false;
            }
        }
        return true;
    }
    return fromUtf8(a).caseCompare(fromUtf8(b), U_FOLD_CASE_DEFAULT) == 0;
}

std::string caseFolded(std::string_view s) {
    if (isAscii(s)) {
        return lowercased(s);
    }
    icu::UnicodeString u = fromUtf8(s);
    u.foldCase(U_FOLD_CASE_DEFAULT);
    return toUtf8(u);
}

std::string_view trimSpacesTabs(std::string_view s) {
    auto isBlank = [](char c) {
        return c == ' ' || c == '\t';
    };
    while (!s.empty() && isBlank(s.front())) {
        s.remove_prefix(1);
    }
    while (!s.empty() && isBlank(s.back())) {
        s.remove_suffix(1);
    }
    return s;
}

std::string foldedForSlug(std::string_view s) {
    std::string lower = lowercased(s);
    if (isAscii(lower)) {
        return lower;
    }
    UErrorCode status = U_ZERO_ERROR;
    const icu::Normalizer2* nfd = icu::Normalizer2::getNFDInstance(status);
    if (U_FAILURE(status)) {
        return lower;
    }
    icu::UnicodeString decomposed = nfd->normalize(fromUtf8(lower), status);
    if (U_FAILURE(status)) {
        return lower;
    }
    icu::UnicodeString kept;
    for (int32_t i = 0; i < decomposed.length();) {
        UChar32 c = decomposed.char32At(i);
        if (u_charType(c) != U_NON_SPACING_MARK) {
            kept.append(c);
        }
        i += U16_LENGTH(c);
    }
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_SUCCESS(status)) {
        icu::UnicodeString composed = nfc->normalize(kept, status);
        if (U_SUCCESS(status)) {
            return toUtf8(composed);
        }
    }
    return toUtf8(kept);
}

} // namespace twinlantern::text
