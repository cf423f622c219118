#include "core/base/Text.h"

namespace twinlantern::text {

namespace {
// U+202A–U+202E are E2 80 AA–AE in UTF-8, U+2066–U+2069 E2 81 A6–A9; neither
// sequence can be part of another character.
bool isBidiControl(std::string_view s, std::size_t at) {
    if (at + 2 >= s.size() || static_cast<unsigned char>(s[at]) != 0xE2) {
        return false;
    }
    const auto second = static_cast<unsigned char>(s[at + 1]);
    const auto third = static_cast<unsigned char>(s[at + 2]);
    return (second == 0x80 && third >= 0xAA && third <= 0xAE) ||
           (second == 0x81 && third >= 0xA6 && third <= 0xA9);
}
} // namespace

std::string withoutBidiControls(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t at = 0; at < s.size();) {
        if (isBidiControl(s, at)) {
            at += 3;
        } else {
            out += s[at++];
        }
    }
    return out;
}

std::string bidiIsolated(std::string_view s) {
    std::string out = "\u2068"; // FIRST STRONG ISOLATE
    out += withoutBidiControls(s);
    out += "\u2069"; // POP DIRECTIONAL ISOLATE
    return out;
}

} // namespace twinlantern::text
