#include "TwinLanternApp/model/ModelField.h"

namespace twinlantern::app {

std::string_view fieldName(ModelField field) {
    switch (field) {
    case ModelField::context:
        return "context";
    case ModelField::document:
        return "document";
    case ModelField::loadError:
        return "loadError";
    case ModelField::statuses:
        return "statuses";
    case ModelField::runningApps:
        return "runningApps";
    case ModelField::missingFolders:
        return "missingFolders";
    case ModelField::shellStatus:
        return "shellStatus";
    case ModelField::desktopInstall:
        return "desktopInstall";
    case ModelField::refreshing:
        return "refreshing";
    case ModelField::usage:
        return "usage";
    case ModelField::signingIn:
        return "signingIn";
    case ModelField::alert:
        return "alert";
    case ModelField::toast:
        return "toast";
    case ModelField::watcher:
        return "watcher";
    case ModelField::timer:
        return "timer";
    case ModelField::statusTimer:
        return "statusTimer";
    case ModelField::toastTask:
        return "toastTask";
    }
    return "?";
}

} // namespace twinlantern::app
