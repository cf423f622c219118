#pragma once

#include <string>

namespace twinlantern::platform {
class Logger;
}

namespace twinlantern::ui {

// Draws the main screens, light and dark, into PNG files without a window on screen
// and without touching the user's profiles: the views run over a second, unwatched
// model in a private temporary home with sample profiles, removed afterwards.
namespace SnapshotRenderer {

// Every snapshot into folder, made with its parents. Sets the application's style,
// font and palette for the run, and removes the stored "settingsTab" at its end.
// Nothing stops the run: each failure is one error line in log. False when a snapshot
// is missing afterwards.
bool renderAll(const std::string& folder, const platform::Logger& log);

} // namespace SnapshotRenderer

} // namespace twinlantern::ui
