#pragma once

#include <string>
#include <string_view>

namespace twinlantern {

// The badge's disc and what is written on it, in pixels of a square icon.
struct BadgeLayout {
    double diameter = 0; // 0.46 of the icon
    std::string text;    // the drawn characters; empty below 32 px or for an empty badge
    double fontSize = 0; // pixel size before rounding; 0 when there is no text

    friend bool operator==(const BadgeLayout&, const BadgeLayout&) = default;
};

// Up to two user-perceived characters. An emoji anywhere in the badge gets the large size
// (its glyphs are square and fill less of the disc); else one character 0.46 of the
// diameter and two 0.36.
BadgeLayout badgeLayout(std::string_view badge, int pixels);

} // namespace twinlantern
