#include "core/base/Text.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>

namespace twinlantern::text {

namespace {

// Calls f(begin, end) for each grapheme cluster's byte range; stops when f returns false.
template <typename F> void forEachCharacter(std::string_view s, F f) {
    if (isAscii(s)) {
        // CR LF is the only multi-byte cluster in ASCII.
        for (std::size_t i = 0; i < s.size();) {
            std::size_t len = (s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n') ? 2 : 1;
            if (!f(i, i + len)) {
                return;
            }
            i += len;
        }
        return;
    }
    UErrorCode status = U_ZERO_ERROR;
    UText* ut = utext_openUTF8(nullptr, s.data(), static_cast<int64_t>(s.size()), &status);
    std::unique_ptr<UText, decltype(&utext_close)> guard(ut, &utext_close);
    std::unique_ptr<icu::BreakIterator> it(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    if (U_FAILURE(status) || !it) {
        return;
    }
    it->setText(ut, status);
    if (U_FAILURE(status)) {
        return;
    }
    int32_t start = it->first();
    for (int32_t end = it->next(); end != icu::BreakIterator::DONE; start = end, end = it->next()) {
        if (!f(static_cast<std::size_t>(start), static_cast<std::size_t>(end))) {
            return;
        }
    }
}

} // namespace

std::size_t characterCount(std::string_view s) {
    std::size_t count = 0;
    forEachCharacter(s, [&](std::size_t, std::size_t) {
        ++count;
        return true;
    });
    return count;
}

std::string firstCharacter(std::string_view s) {
    std::string out;
    forEachCharacter(s, [&](std::size_t b, std::size_t e) {
        out.assign(s.substr(b, e - b));
        return false;
    });
    return out;
}

std::string firstCharacters(std::string_view s, std::size_t n) {
    std::size_t end = 0;
    std::size_t taken = 0;
    if (n > 0) {
        forEachCharacter(s, [&](std::size_t, std::size_t e) {
            end = e;
            return ++taken < n;
        });
    }
    return std::string(s.substr(0, end));
}

} // namespace twinlantern::text
