#include "TwinLanternApp/app/SettingsOpener.h"

namespace twinlantern::app {

SettingsOpener::Action SettingsOpener::action_;
bool SettingsOpener::pending_ = false;
std::function<void()> SettingsOpener::onOpened;

void SettingsOpener::run() {
    // Copies: the action may replace itself, or the hook, while it runs.
    const Action action = action_;
    action();
    if (const auto opened = onOpened) {
        opened();
    }
}

void SettingsOpener::setAction(Action action) {
    action_ = std::move(action);
    if (pending_ && action_) {
        pending_ = false;
        run();
    }
}

void SettingsOpener::open() {
    if (!action_) {
        pending_ = true;
        return;
    }
    run();
}

} // namespace twinlantern::app
