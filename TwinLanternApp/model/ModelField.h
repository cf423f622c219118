#pragma once

#include <string_view>

namespace twinlantern::app {

// The observed fields of the model; a notice names the one that changed.
enum class ModelField {
    context,
    document,
    loadError,
    statuses,
    runningApps,
    missingFolders,
    shellStatus,
    desktopInstall,
    refreshing,
    usage,
    signingIn,
    alert,
    toast,
    watcher,
    timer,
    statusTimer,
    toastTask,
};

std::string_view fieldName(ModelField field);

} // namespace twinlantern::app
