#pragma once

#include <string>

namespace twinlantern::platform {

// Whether a window could be shown: DISPLAY names an X server that accepts us. Qt's
// widgets abort the process when they find none, so ask this first.
bool canShowAlert();

// A modal alert: title and main text the same, the message beneath, one OK button. Comes
// to the front and returns when it is dismissed; false, showing nothing, when no window
// can be shown. Once per process: it owns the process's QApplication while it runs.
bool showAlert(const std::string& title, const std::string& message);

} // namespace twinlantern::platform
