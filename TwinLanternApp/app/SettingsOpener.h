#pragma once

#include <functional>

namespace twinlantern::app {

// Opens the settings window from code. The windows supply the action when they make the
// settings window (tray or not); a request made before that waits and is carried out
// once, as soon as the action comes. Main thread only.
class SettingsOpener {
public:
    // Opens the settings window and brings it to the front.
    using Action = std::function<void()>;

    static const Action& action() { return action_; }
    // Stores it; then carries out a waiting request when it isn't empty. An empty action
    // leaves a waiting request waiting.
    static void setAction(Action action);
    // Calls the action now, or waits for it when there is none yet.
    static void open();
    static bool pending() { return pending_; }
    // Called after each opening, for the log.
    static std::function<void()> onOpened;

private:
    static void run();

    static Action action_;
    static bool pending_;
};

} // namespace twinlantern::app
