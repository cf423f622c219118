#pragma once

#include "core/profiles/Profile.h"

#include <string>
#include <string_view>

namespace twinlantern {

// A launcher's two icon files from the app's own icon: the icon file for the bundle and
// one PNG of pngPixels for its desktop entry. Throws the renderer's errors. For callers
// that stay clear of Qt.
void writeLauncherIcons(const std::string& appBundlePath, ProfileColor color,
                        std::string_view badge, const std::string& icnsPath,
                        const std::string& pngPath, int pngPixels);

} // namespace twinlantern
