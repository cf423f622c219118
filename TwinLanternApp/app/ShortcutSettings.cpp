#include "TwinLanternApp/app/ShortcutSettings.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "core/base/JsonDecode.h"

namespace twinlantern::app {

std::function<void()> ShortcutSettings::onChange;

QByteArray ShortcutSettings::encode(const KeyCombo& combo) {
    const std::string text = combo.toJson().dump();
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

std::optional<KeyCombo> ShortcutSettings::decode(const QByteArray& bytes) {
    const auto json = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (json.is_discarded()) {
        return std::nullopt;
    }
    try {
        return KeyCombo::fromJson(json);
    } catch (const JsonDecodeError&) {
        return std::nullopt;
    }
}

std::optional<KeyCombo> ShortcutSettings::combo() {
    const QVariant stored =
        AppSettings::open()->value(QString::fromLatin1(AppSettings::cycleShortcut));
    if (!stored.isValid()) {
        return std::nullopt;
    }
    return decode(stored.toByteArray());
}

void ShortcutSettings::setCombo(const std::optional<KeyCombo>& combo) {
    const auto settings = AppSettings::open();
    const QString key = QString::fromLatin1(AppSettings::cycleShortcut);
    if (combo) {
        settings->setValue(key, encode(*combo));
    } else {
        settings->remove(key);
    }
}

} // namespace twinlantern::app
