#pragma once

#include "TwinLanternApp/model/AppModel.h"

#include "core/profiles/Profile.h"

#include <optional>
#include <string>
#include <vector>

// The tray menu as plain entries built from the model; the QMenu only shows them.
namespace twinlantern::ui {

struct MenuEntry {
    enum class Kind { item, separator, picker };
    enum class Action {
        none,
        signInNeeded, // the settings on the Profiles tab
        setUp,        // the onboarding window
        openApp,      // profile, tool
        terminalOnly, // the settings on the Profiles tab
        settings,     // the settings on the tab last shown
        checkForUpdates,
        quit,
    };
    struct Choice {
        std::string title;
        std::optional<ProfileID> profile; // none for "None"
        bool selected = false;
        friend bool operator==(const Choice&, const Choice&) = default;
    };

    Kind kind = Kind::item;
    std::string title;  // already cut by the label rule
    std::string second; // drawn at the right: "Open", "Terminal only"
    bool dot = false;   // shows the profile's colour dot
    std::optional<ProfileColor> color;
    Action action = Action::none;
    ProfileID profile;
    ToolKind tool = ToolKind::claudeDesktop;
    std::string shortcut;        // "Ctrl+,", "Ctrl+Q"
    std::vector<Choice> choices; // the picker's

    friend bool operator==(const MenuEntry&, const MenuEntry&) = default;
};

// The first managed profile, in document order, one of whose tools needs attention;
// system profiles and missing statuses never count.
std::optional<Profile> profileNeedingSignIn(const ProfileDocument& document,
                                            const app::StatusMap& statuses);

// Top to bottom. `updates`: an updater controller exists.
std::vector<MenuEntry> menuEntries(const app::AppModel& model, bool updates);

} // namespace twinlantern::ui
