// twinlantern-launcher: the program inside every Dock launcher bundle. Reads its own
// bundle's Info.plist, opens or focuses that profile's Claude Desktop instance under the
// launch lock, and exits; its only interface is one alert when that fails.
#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "TwinLanternMac/launchers/LauncherSettings.h"
#include "core/base/FileUtil.h"
#include "core/base/PropertyList.h"
#include "platform/Alert.h"
#include "platform/Workspace.h"

#include <unistd.h>

#include <exception>
#include <optional>
#include <string>

using namespace twinlantern;

namespace {

const char* const failureTitle = "Couldn't open Claude";

std::optional<std::string> ownExecutable() {
    char path[4097];
    const ssize_t n = readlink("/proc/self/exe", path, sizeof path);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof path) {
        return std::nullopt;
    }
    return std::string(path, static_cast<std::size_t>(n));
}

// The bundle's dictionary; nothing outside a bundle or when it can't be read.
std::optional<PropertyList> ownInfo() {
    const std::optional<std::string> executable = ownExecutable();
    if (!executable) {
        return std::nullopt;
    }
    const std::optional<std::string> plist = launcherInfoPlist(*executable);
    return plist ? PropertyList::readDictionary(*plist) : std::nullopt;
}

int fail(const std::string& message) {
    (void)writeAll(STDERR_FILENO, std::string(failureTitle) + ": " + message + "\n");
    platform::showAlert(failureTitle, message);
    return 1;
}

} // namespace

int main() {
    try {
        const Environment environment = currentEnvironment();
        const std::optional<PropertyList> info = ownInfo();
        const LauncherSettings settings = launcherSettings(info ? &*info : nullptr, environment);
        requireLockDirectory(settings);
        const auto workspace =
            platform::makeWorkspace(Paths::forCurrentUser(environment), environment);
        DesktopLauncher::open(*workspace, settings.dataDir, settings.target, settings.lockDir, {},
                              "Claude Desktop");
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
