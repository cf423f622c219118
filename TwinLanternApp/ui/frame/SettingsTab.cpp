#include "TwinLanternApp/ui/frame/SettingsTab.h"

#include "TwinLanternApp/app/AppSettings.h"

namespace twinlantern::ui {

const char* rawValue(SettingsTab tab) {
    switch (tab) {
    case SettingsTab::profiles:
        return "profiles";
    case SettingsTab::terminal:
        return "terminal";
    case SettingsTab::advanced:
        return "advanced";
    }
    return "profiles";
}

std::optional<SettingsTab> settingsTabFromRawValue(std::string_view raw) {
    for (const SettingsTab tab : allSettingsTabs) {
        if (raw == rawValue(tab)) {
            return tab;
        }
    }
    return std::nullopt;
}

SettingsTab storedSettingsTab() {
    const QString stored = app::AppSettings::selectedTab(QStringLiteral("profiles"));
    return settingsTabFromRawValue(stored.toStdString()).value_or(SettingsTab::profiles);
}

void storeSettingsTab(SettingsTab tab) {
    app::AppSettings::setSelectedTab(QString::fromLatin1(rawValue(tab)));
    emit SettingsTabNotice::instance().stored(tab);
}

SettingsTabNotice& SettingsTabNotice::instance() {
    static SettingsTabNotice notice;
    return notice;
}

} // namespace twinlantern::ui
