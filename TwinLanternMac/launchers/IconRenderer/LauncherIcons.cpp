#include "TwinLanternMac/launchers/IconRenderer/LauncherIcons.h"

#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"

namespace twinlantern {

void writeLauncherIcons(const std::string& appBundlePath, ProfileColor color,
                        std::string_view badge, const std::string& icnsPath,
                        const std::string& pngPath, int pngPixels) {
    const QImage base = IconRenderer::baseIcon(appBundlePath);
    IconRenderer::writeICNS(base, color, badge, icnsPath);
    IconRenderer::writePNG(base, color, badge, pngPixels, pngPath);
}

} // namespace twinlantern
