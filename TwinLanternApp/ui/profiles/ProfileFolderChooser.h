#pragma once

#include <functional>
#include <string>

class QFileDialog;
class QWidget;

namespace twinlantern::ui {

// "Everything inside this folder will use this profile in the terminal."
extern const char* const profileFolderMessage;

// Opens the folder panel window-modal over parent's window, directories only, in the
// home folder (never the process's working folder), and calls chosen with the folder's path when
// the user confirms; cancelling calls nothing. The panel deletes itself when it closes.
QFileDialog* chooseProfileFolder(QWidget* parent, const std::string& home,
                                 std::function<void(const std::string&)> chosen);

} // namespace twinlantern::ui
