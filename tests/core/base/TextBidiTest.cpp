#include "core/base/Text.h"

#include <gtest/gtest.h>
#include <unicode/ubidi.h>
#include <unicode/unistr.h>

#include <memory>
#include <string>

using namespace twinlantern;

namespace {

// What a reader sees, left to right, of a left-to-right line: ICU's bidi algorithm
// reorders it and drops the controls.
std::string visual(const std::string& line) {
    const icu::UnicodeString logical = icu::UnicodeString::fromUTF8(line);
    UErrorCode status = U_ZERO_ERROR;
    const std::unique_ptr<UBiDi, decltype(&ubidi_close)> bidi(ubidi_open(), ubidi_close);
    ubidi_setPara(bidi.get(), logical.getBuffer(), logical.length(), UBIDI_LTR, nullptr, &status);
    icu::UnicodeString shown;
    UChar* out = shown.getBuffer(logical.length() + 1);
    const int32_t length = ubidi_writeReordered(bidi.get(), out, logical.length() + 1,
                                                UBIDI_REMOVE_BIDI_CONTROLS, &status);
    shown.releaseBuffer(U_SUCCESS(status) ? length : 0);
    EXPECT_TRUE(U_SUCCESS(status)) << u_errorName(status);
    std::string bytes;
    shown.toUTF8String(bytes);
    return bytes;
}

TEST(TextBidi, ANameCanNeitherMoveNorReverseTheTextAroundIt) {
    struct Case {
        std::string name;
        std::string kept;  // the name without its own embeddings, overrides and isolates
        std::string shown; // the name as it reads on a left-to-right line
    };
    const Case cases[] = {
        {"Work", "Work", "Work"},
        {"עבודה", "עבודה", "הדובע"},                            // Hebrew reads right to left
        {"عمل 2", "عمل 2", "2 لمع"},                            // Arabic with a number
        {"\u202Eevil\u202C mixed", "evil mixed", "evil mixed"}, // RLO … PDF
        {"\u202Eevil", "evil", "evil"},                         // RLO never closed
        {"\u202Dab\u202C", "ab", "ab"},                         // LRO
        {"a\u202Ab\u202Bc", "abc", "abc"},                      // LRE, RLE
        {"\u2067x\u2069y", "xy", "xy"},                         // RLI … PDI
        {"\u2066a\u2068b", "ab", "ab"},                         // LRI, FSI never closed
        {"a\u2069b", "ab", "ab"},                               // a lone PDI
        {"\u200Fmark", "\u200Fmark", "mark"},                   // marks stay: they embed nothing
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string stored = c.name;
        const std::string isolated = text::bidiIsolated(stored);
        EXPECT_EQ(isolated, "\u2068" + c.kept + "\u2069");
        EXPECT_EQ(text::withoutBidiControls(stored), c.kept);
        EXPECT_EQ(stored, c.name);
        // In a sentence the words around it stay in place and in order.
        EXPECT_EQ(visual("Delete " + isolated + "? Then 12 more."),
                  "Delete " + c.shown + "? Then 12 more.");
    }
}

} // namespace
