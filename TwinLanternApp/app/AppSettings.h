#pragma once

#include <QSettings>
#include <QString>

#include <memory>

namespace twinlantern::app {

// The user defaults: QSettings("TwinLantern", "TwinLantern"), under $XDG_CONFIG_HOME.
namespace AppSettings {

inline constexpr char organization[] = "TwinLantern";
inline constexpr char application[] = "TwinLantern";

// The keys, as stored.
inline constexpr char settingsTab[] = "settingsTab";                   // a SettingsTab raw value
inline constexpr char onboardingDone[] = "onboardingDone";             // Boolean
inline constexpr char cycleShortcut[] = "cycleShortcut";               // QByteArray of compact JSON
inline constexpr char cycleShortcutEnabled[] = "cycleShortcutEnabled"; // Boolean, absent false

// A handle on the defaults; every handle sees the others' writes at once.
std::unique_ptr<QSettings> open();

// The Booleans and the tab, absent keys giving the fallbacks.
bool boolValue(const char* key, bool fallback = false);
void setBool(const char* key, bool value);
QString selectedTab(const QString& fallback = QStringLiteral("profiles"));
void setSelectedTab(const QString& tab);

} // namespace AppSettings

} // namespace twinlantern::app
