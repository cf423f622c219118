#pragma once

#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternMac/apps/DesktopAdapters.h"

#include <memory>
#include <string>

// What the model's actions share and nobody else needs.
namespace twinlantern::app::actions {

// A success message for whoever shows them; dropped when nobody does.
inline void report(const std::string& message) {
    if (Feedback::handler) {
        Feedback::handler(message);
    }
}

} // namespace twinlantern::app::actions
