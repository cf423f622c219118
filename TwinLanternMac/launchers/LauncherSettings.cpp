#include "TwinLanternMac/launchers/LauncherSettings.h"

#include "TwinLanternMac/launchers/LauncherGenerator.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/DesktopInstall.h"

namespace twinlantern {

std::optional<std::string> launcherInfoPlist(const std::string& executable) {
    const std::string macos = PathUtil::parent(executable);
    const std::string contents = PathUtil::parent(macos);
    const std::string bundle = PathUtil::parent(contents);
    if (PathUtil::lastComponent(macos) != "MacOS" ||
        PathUtil::lastComponent(contents) != "Contents" ||
        !PathUtil::lastComponent(bundle).ends_with(".app") ||
        PathUtil::lastComponent(bundle) == ".app") {
        return std::nullopt;
    }
    return contents + "/Info.plist";
}

std::string fallbackLockDirectory(const Environment& environment) {
    const auto runtime = environment.find("XDG_RUNTIME_DIR");
    if (runtime != environment.end() && runtime->second.starts_with('/')) {
        std::string folder = runtime->second;
        if (folder.back() != '/') {
            folder += '/';
        }
        return folder + "twinlantern";
    }
    return Paths::forCurrentUser(environment).supportDirectory() + "/desktop";
}

LauncherSettings launcherSettings(const PropertyList* info, const Environment& environment) {
    const auto get = [info](const char* key) -> std::optional<std::string> {
        return info != nullptr ? info->string(key) : std::nullopt;
    };
    const LauncherInfoKeys& keys = LauncherGenerator::infoKeys;
    LauncherSettings settings;
    settings.dataDir = get(keys.dataDir);
    if (settings.dataDir && settings.dataDir->empty()) {
        settings.dataDir.reset();
    }
    settings.target = get(keys.target).value_or(DesktopInstall::bundleID);
    settings.lockDir = get(keys.lock).value_or(fallbackLockDirectory(environment));
    return settings;
}

void requireLockDirectory(const LauncherSettings& settings) {
    if (settings.lockDir.empty() || settings.lockDir.front() != '/') {
        throw TwinLanternError::io(
            "This launcher has no lock folder. Rebuild it: twinlantern launchers install.");
    }
}

} // namespace twinlantern
