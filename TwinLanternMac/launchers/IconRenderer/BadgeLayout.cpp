#include "TwinLanternMac/launchers/IconRenderer/BadgeLayout.h"

#include "core/base/Text.h"

#include <unicode/uchar.h>

namespace twinlantern {

namespace {

bool hasEmojiPresentation(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i < s.size();) {
        const int length = text::utf8Sequence(p + i, s.size() - i);
        if (length < 0) {
            i += static_cast<std::size_t>(-length);
            continue;
        }
        const char32_t c = text::utf8Scalar(p + i, length);
        if (u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_EMOJI_PRESENTATION)) {
            return true;
        }
        i += static_cast<std::size_t>(length);
    }
    return false;
}

} // namespace

BadgeLayout badgeLayout(std::string_view badge, int pixels) {
    BadgeLayout layout;
    layout.diameter = 0.46 * pixels;
    if (pixels < 32 || badge.empty()) {
        return layout;
    }
    layout.text = text::firstCharacters(badge, 2);
    if (hasEmojiPresentation(badge)) {
        layout.fontSize = 0.55 * layout.diameter;
    } else if (text::characterCount(layout.text) == 2) {
        layout.fontSize = 0.36 * layout.diameter;
    } else {
        layout.fontSize = 0.46 * layout.diameter;
    }
    return layout;
}

} // namespace twinlantern
