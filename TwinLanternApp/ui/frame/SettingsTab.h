#pragma once

#include <QObject>

#include <array>
#include <optional>
#include <string_view>

namespace twinlantern::ui {

enum class SettingsTab { profiles, terminal, advanced };

inline constexpr std::array<SettingsTab, 3> allSettingsTabs = {
    SettingsTab::profiles, SettingsTab::terminal, SettingsTab::advanced};

// "profiles", "terminal", "advanced".
const char* rawValue(SettingsTab tab);
// Exactly those three strings, case-sensitive; anything else is none.
std::optional<SettingsTab> settingsTabFromRawValue(std::string_view raw);

// The tab stored under "settingsTab"; Profiles when it is absent or unreadable.
SettingsTab storedSettingsTab();
// Stores the tab under "settingsTab" and tells an open settings window.
void storeSettingsTab(SettingsTab tab);

// Tells of each storeSettingsTab, so an open window switches to the tab.
class SettingsTabNotice final : public QObject {
    Q_OBJECT
public:
    static SettingsTabNotice& instance();

signals:
    void stored(twinlantern::ui::SettingsTab tab);
};

} // namespace twinlantern::ui
