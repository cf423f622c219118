#include "TwinLanternApp/app/SettingsOpener.h"

namespace twinlantern::app {

SettingsOpener::Action SettingsOpener::action_;
bool SettingsOpener::pending_ = false;

void SettingsOpener::setAction(Action action) {
    action_ = std::move(action);
    if (pending_ && action_) {
        pending_ = false;
        // A copy: the action may replace itself while it runs.
        const Action run = action_;
        run();
    }
}

void SettingsOpener::open() {
    if (!action_) {
        pending_ = true;
        return;
    }
    const Action run = action_;
    run();
}

} // namespace twinlantern::app
