#include "TwinLanternApp/app/UpdaterService.h"

#include "TwinLanternApp/app/MainBundle.h"

namespace twinlantern::app {

UpdaterService& UpdaterService::shared() {
    static UpdaterService instance;
    return instance;
}

std::string UpdaterService::currentVersion(const PropertyList* info) {
    if (info == nullptr) {
        return "?";
    }
    return info->string("CFBundleShortVersionString").value_or("?");
}

std::string UpdaterService::currentVersion() {
    const auto info = MainBundle::info();
    return currentVersion(info ? &*info : nullptr);
}

} // namespace twinlantern::app
