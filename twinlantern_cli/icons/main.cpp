// twinlantern-icons: draws one launcher's two icon files for `twinlantern launchers
// install`, which loads no Qt itself. Arguments: the app bundle whose icon is the base,
// the profile's colour, its badge, the icon file, the PNG and the PNG's size. A failure
// prints the sentence to show on standard error and exits 1.
#include "TwinLanternMac/launchers/IconRenderer/LauncherIcons.h"
#include "core/base/FileUtil.h"
#include "core/profiles/Profile.h"

#include <QGuiApplication>

#include <unistd.h>

#include <charconv>
#include <cstdlib>
#include <exception>
#include <optional>
#include <string>
#include <string_view>

using namespace twinlantern;

namespace {

// Qt's own notices (a missing runtime folder, font hints) are not ours to print.
void quietQt(QtMsgType, const QMessageLogContext&, const QString&) {}

std::optional<int> pixels(std::string_view text) {
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 4096) {
        return std::nullopt;
    }
    return value;
}

} // namespace

int main(int argc, char** argv) {
    const std::optional<ProfileColor> color =
        argc == 7 ? profileColorFromRawValue(argv[2]) : std::nullopt;
    const std::optional<int> size = argc == 7 ? pixels(argv[6]) : std::nullopt;
    if (!color || !size) {
        (void)writeAll(STDERR_FILENO, "usage: twinlantern-icons <app bundle> <colour> <badge> "
                                      "<icon file> <png file> <png size>\n");
        return 2;
    }
    // Drawn off screen: this needs no display and never shows a window. Qt's own
    // options are not ours to take from the arguments.
    qInstallMessageHandler(quietQt);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    int qtArgc = 1;
    char name[] = "twinlantern-icons";
    char* qtArgv[] = {name, nullptr};
    const QGuiApplication app(qtArgc, qtArgv);
    try {
        writeLauncherIcons(argv[1], *color, argv[3], argv[4], argv[5], *size);
    } catch (const std::exception& e) {
        (void)writeAll(STDERR_FILENO, std::string(e.what()) + "\n");
        return 1;
    }
    return 0;
}
