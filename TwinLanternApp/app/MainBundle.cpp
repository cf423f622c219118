#include "TwinLanternApp/app/MainBundle.h"

#include "TwinLanternApp/model/AppModel.h"

namespace twinlantern::app::MainBundle {

std::string infoPlistPath() {
    AppServices services;
    services.executablePath = AppServices::currentExecutable();
    return services.bundlePath() + "/Contents/Info.plist";
}

std::optional<PropertyList> info() {
    return PropertyList::readDictionary(infoPlistPath());
}

} // namespace twinlantern::app::MainBundle
