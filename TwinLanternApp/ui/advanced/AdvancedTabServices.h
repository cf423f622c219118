#pragma once

#include "TwinLanternApp/app/UpdaterService.h"
#include "platform/LoginItem.h"

#include <functional>
#include <optional>

namespace twinlantern::ui {

// What the Advanced tab reaches beyond the model; the defaults are the app's own.
struct AdvancedTabServices {
    // Its controller is null in a build without an updater.
    app::UpdaterService* updater = &app::UpdaterService::shared();
    // Opening at login; none: this executable's entry under the model's home and
    // environment.
    std::optional<platform::LoginItem> loginItem{};
    // Brings the app forward and opens the help window; none: "Help" does nothing.
    std::function<void()> openHelp{};
};

} // namespace twinlantern::ui
