#include "TwinLanternMac/LauncherSettings.h"

#include "TwinLanternMac/LauncherGenerator.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/DesktopInstall.h"

#include <cstdio>

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

std::string userTemporaryDirectory(const Environment& environment) {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const auto it = environment.find(name);
        if (it != environment.end() && !it->second.empty() && it->second.front() == '/') {
            std::string folder = it->second;
            if (folder.back() != '/') {
                folder += '/';
            }
            return folder;
        }
    }
    return std::string(P_tmpdir) + "/";
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
    settings.lockDir = get(keys.lock).value_or(userTemporaryDirectory(environment) + "twinlantern");
    return settings;
}

void requireLockDirectory(const LauncherSettings& settings) {
    if (settings.lockDir.empty() || settings.lockDir.front() != '/') {
        throw TwinLanternError::io(
            "This launcher has no lock folder. Rebuild it: twinlantern launchers install.");
    }
}

} // namespace twinlantern
