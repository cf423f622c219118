#pragma once

#include "core/profiles/Profile.h"

#include <QImage>

#include <optional>
#include <string>
#include <string_view>

// Draws the launchers' badged icons. Qt's fonts need a QGuiApplication; without one
// nothing is drawn (Qt would abort at the first font).
namespace twinlantern::IconRenderer {

// The base scaled to pixels x pixels with the profile's badge in the lower right corner:
// a white disc of 0.46 of the size, 2 % from the right and bottom edges, the colour
// inset by 0.07 of the disc, and the badge's text in bold white. Nothing without a
// QGuiApplication or when the image can't be made.
std::optional<QImage> image(const QImage& base, ProfileColor color, std::string_view badge,
                            int pixels);

// The image as PNG bytes; nothing when it can't be drawn or encoded.
std::optional<std::string> png(const QImage& base, ProfileColor color, std::string_view badge,
                               int pixels);

// Every size of icnsRows as PNG in one icon file, written atomically (0644). Throws
// "Couldn't draw the launcher icon." or "Couldn't write <path>: <reason>".
void writeICNS(const QImage& base, ProfileColor color, std::string_view badge,
               const std::string& path);

// One size as a PNG file, written atomically (0644), with writeICNS's errors.
void writePNG(const QImage& base, ProfileColor color, std::string_view badge, int pixels,
              const std::string& path);

// The app bundle's own icon: the largest image in the file its Info.plist names under
// CFBundleIconFile (in Contents/Resources, ".icns" added when it has no extension); a
// plain grey rounded square when there is none or it can't be read.
QImage baseIcon(const std::string& bundlePath);

} // namespace twinlantern::IconRenderer
