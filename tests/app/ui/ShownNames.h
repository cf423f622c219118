#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace twinlantern::ui::test {

// A profile name as a left-to-right interface shows it: inside other text one isolated
// run (FSI … PDI); on its own the same after the left-to-right mark.
inline std::string inText(std::string_view name) {
    return "\u2068" + std::string(name) + "\u2069";
}
inline QString inTextQ(std::string_view name) {
    return QString::fromStdString(inText(name));
}
inline QString alone(std::string_view name) {
    return QString::fromStdString("\u200E" + inText(name));
}

} // namespace twinlantern::ui::test
