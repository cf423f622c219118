#include "TwinLanternApp/app/AppSettings.h"

namespace twinlantern::app::AppSettings {

std::unique_ptr<QSettings> open() {
    return std::make_unique<QSettings>(QString::fromLatin1(organization),
                                       QString::fromLatin1(application));
}

bool boolValue(const char* key, bool fallback) {
    return open()->value(QString::fromLatin1(key), fallback).toBool();
}

void setBool(const char* key, bool value) {
    open()->setValue(QString::fromLatin1(key), value);
}

QString selectedTab(const QString& fallback) {
    const QVariant stored = open()->value(QString::fromLatin1(settingsTab));
    return stored.isValid() ? stored.toString() : fallback;
}

void setSelectedTab(const QString& tab) {
    open()->setValue(QString::fromLatin1(settingsTab), tab);
}

} // namespace twinlantern::app::AppSettings
