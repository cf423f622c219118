#include "TwinLanternApp/ui/frame/MenuEntries.h"
#include "TwinLanternApp/ui/frame/Labels.h"

namespace twinlantern::ui {

std::optional<Profile> profileNeedingSignIn(const ProfileDocument& document,
                                            const app::StatusMap& statuses) {
    for (const Profile& profile : document.profiles) {
        if (profile.storage != Profile::Storage::managed) {
            continue;
        }
        const auto byProfile = statuses.find(profile.id);
        if (byProfile == statuses.end()) {
            continue;
        }
        for (const ToolKind tool : profile.tools()) {
            const auto status = byProfile->second.find(tool);
            if (status != byProfile->second.end() &&
                status->second.state == ToolStatus::Case::needsAttention) {
                return profile;
            }
        }
    }
    return std::nullopt;
}

namespace {

MenuEntry separator() {
    MenuEntry entry;
    entry.kind = MenuEntry::Kind::separator;
    return entry;
}

MenuEntry item(std::string title, MenuEntry::Action action) {
    MenuEntry entry;
    entry.title = std::move(title);
    entry.action = action;
    return entry;
}

} // namespace

std::vector<MenuEntry> menuEntries(const app::AppModel& model, bool updates) {
    using Action = MenuEntry::Action;
    const ProfileDocument& document = model.document();
    std::vector<MenuEntry> out;

    if (const auto needing = profileNeedingSignIn(document, model.statuses())) {
        out.push_back(item(menuLabel("\u26A0\uFE0E ", needing->name, " needs signing in…"),
                           Action::signInNeeded));
        out.push_back(separator());
    }

    if (document.profiles.empty()) {
        // Not over a profiles file that can't be read: setting up would write over it.
        if (!model.loadError()) {
            out.push_back(item("Set up TwinLantern…", Action::setUp));
        }
    } else {
        for (const ToolKind kind : {ToolKind::claudeDesktop, ToolKind::chatGPTApp}) {
            for (const Profile& profile : document.profiles) {
                if (!profile.uses(kind)) {
                    continue;
                }
                MenuEntry entry =
                    item(menuLabel(model.appName(kind) + " — ", profile.name), Action::openApp);
                entry.dot = true;
                entry.color = profile.color;
                entry.profile = profile.id;
                entry.tool = kind;
                if (model.isRunning(profile, kind)) {
                    entry.second = "Open";
                }
                out.push_back(std::move(entry));
            }
        }
        for (const Profile& profile : document.profiles) {
            if (profile.uses(ToolKind::claudeDesktop) || profile.uses(ToolKind::chatGPTApp)) {
                continue;
            }
            MenuEntry entry = item(menuLabel({}, profile.name), Action::terminalOnly);
            entry.dot = true;
            entry.color = profile.color;
            entry.profile = profile.id;
            entry.second = "Terminal only";
            out.push_back(std::move(entry));
        }
        out.push_back(separator());
        MenuEntry picker;
        picker.kind = MenuEntry::Kind::picker;
        picker.title = "Terminal default";
        picker.choices.push_back({"None", std::nullopt, !document.cliDefault.has_value()});
        for (const Profile& profile : document.profiles) {
            picker.choices.push_back(
                {menuLabel({}, profile.name), profile.id, document.cliDefault == profile.id});
        }
        out.push_back(std::move(picker));
    }

    if (!out.empty()) {
        out.push_back(separator());
    }
    MenuEntry settings = item("Settings…", Action::settings);
    settings.shortcut = "Ctrl+,";
    out.push_back(std::move(settings));
    if (updates) {
        out.push_back(item("Check for Updates…", Action::checkForUpdates));
    }
    MenuEntry quit = item("Quit TwinLantern", Action::quit);
    quit.shortcut = "Ctrl+Q";
    out.push_back(std::move(quit));
    return out;
}

} // namespace twinlantern::ui
