#include "TwinLanternApp/ui/frame/LinuxWords.h"

namespace twinlantern::ui::linuxWords {

const char* whereItLives(Tray tray) {
    // Without a tray the settings window is the way back (a second start brings it).
    return tray == Tray::available ? "TwinLantern lives in your system tray."
                                   : "TwinLantern lives in its settings window.";
}

std::string shortcutTitle(const KeyCombo& combo, const platform::KeyboardLayout& layout) {
    std::string title;
    for (const auto& [bit, name] : modifierNames) {
        if ((combo.modifiers & bit) != 0) {
            title += name;
            title += "+";
        }
    }
    return title + KeyCombo::keyName(combo.keyCode, layout);
}

} // namespace twinlantern::ui::linuxWords
