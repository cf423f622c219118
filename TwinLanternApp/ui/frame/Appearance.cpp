#include "TwinLanternApp/ui/frame/Appearance.h"
#include "TwinLanternApp/ui/frame/Owned.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusVariant>
#include <QFontDatabase>
#include <QWidget>

#include <algorithm>

namespace twinlantern::ui {
namespace appearance {
namespace {

struct Colors {
    QColor window, base, alternateBase, text, secondary, tertiary, button, mid, dark, light, accent,
        accentText, orange, separator, toast, link, frame;
};

// Dark control frames are at least 3:1 against the window, the usual bar for what marks
// a control; the light look keeps the frames it has always drawn. Dark surfaces stay near the
// window colour: light text on mid-grey reads poorly for people and for OCR alike.
const Colors& colors(Look look) {
    static const Colors light{
        QColor(0xEC, 0xEC, 0xEC), QColor(0xFF, 0xFF, 0xFF), QColor(0xF5, 0xF5, 0xF5),
        QColor(0x1D, 0x1D, 0x1F), QColor(0x5E, 0x5E, 0x63), QColor(0xB0, 0xB0, 0xB5),
        QColor(0xF6, 0xF6, 0xF6), QColor(0xC8, 0xC8, 0xC8), QColor(0x9A, 0x9A, 0x9A),
        QColor(0xFF, 0xFF, 0xFF), QColor(0x00, 0x7A, 0xFF), QColor(0xFF, 0xFF, 0xFF),
        QColor(0xC9, 0x3C, 0x00), QColor(0xD1, 0xD1, 0xD6), QColor(0xFA, 0xFA, 0xFA),
        QColor(0x00, 0x66, 0xCC), QColor(0xA8, 0xA8, 0xA8)};
    static const Colors dark{
        QColor(0x1E, 0x1E, 0x20), QColor(0x16, 0x16, 0x18), QColor(0x24, 0x24, 0x26),
        QColor(0xF2, 0xF2, 0xF7), QColor(0xA1, 0xA1, 0xA6), QColor(0x63, 0x63, 0x66),
        QColor(0x2A, 0x2A, 0x2D), QColor(0x3A, 0x3A, 0x3C), QColor(0x10, 0x10, 0x12),
        QColor(0x48, 0x48, 0x4A), QColor(0x0A, 0x84, 0xFF), QColor(0xFF, 0xFF, 0xFF),
        QColor(0xFF, 0x9F, 0x0A), QColor(0x38, 0x38, 0x3A), QColor(0x2C, 0x2C, 0x2E),
        QColor(0x4D, 0xA3, 0xFF), QColor(0x72, 0x72, 0x77)};
    return look == Look::dark ? dark : light;
}

const Colors& colorsFor(const QPalette& palette) {
    return colors(isDark(palette) ? Look::dark : Look::light);
}

} // namespace

QPalette palette(Look look) {
    const Colors& c = colors(look);
    QPalette p;
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::Window, c.window);
        p.setColor(group, QPalette::WindowText, c.text);
        p.setColor(group, QPalette::Base, c.base);
        p.setColor(group, QPalette::AlternateBase, c.alternateBase);
        p.setColor(group, QPalette::ToolTipBase, c.base);
        p.setColor(group, QPalette::ToolTipText, c.text);
        p.setColor(group, QPalette::PlaceholderText, c.secondary);
        p.setColor(group, QPalette::Text, c.text);
        p.setColor(group, QPalette::Button, c.button);
        p.setColor(group, QPalette::ButtonText, c.text);
        p.setColor(group, QPalette::BrightText, c.orange);
        p.setColor(group, QPalette::Light, c.light);
        p.setColor(group, QPalette::Midlight, c.button.lighter(110));
        p.setColor(group, QPalette::Mid, c.mid);
        p.setColor(group, QPalette::Dark, c.dark);
        p.setColor(group, QPalette::Shadow, QColor(0, 0, 0));
        p.setColor(group, QPalette::Highlight, c.accent);
        p.setColor(group, QPalette::HighlightedText, c.accentText);
        p.setColor(group, QPalette::Link, c.link);
        p.setColor(group, QPalette::LinkVisited, c.link);
    }
    // Disabled: the same surfaces with the tertiary colour for text.
    p.setColor(QPalette::Disabled, QPalette::Window, c.window);
    p.setColor(QPalette::Disabled, QPalette::Base, c.window);
    p.setColor(QPalette::Disabled, QPalette::Button, c.button);
    p.setColor(QPalette::Disabled, QPalette::Light, c.light);
    p.setColor(QPalette::Disabled, QPalette::Mid, c.mid);
    p.setColor(QPalette::Disabled, QPalette::Dark, c.dark);
    for (const QPalette::ColorRole role :
         {QPalette::WindowText, QPalette::Text, QPalette::ButtonText, QPalette::PlaceholderText}) {
        p.setColor(QPalette::Disabled, role, c.tertiary);
    }
    p.setColor(QPalette::Disabled, QPalette::Highlight, c.mid);
    p.setColor(QPalette::Disabled, QPalette::HighlightedText, c.text);
    return p;
}

bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor label(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

QColor secondaryLabel(const QPalette& palette) {
    return palette.color(QPalette::PlaceholderText);
}

QColor tertiaryLabel(const QPalette& palette) {
    return colorsFor(palette).tertiary;
}

QColor orange(const QPalette& palette) {
    return colorsFor(palette).orange;
}

QColor accent(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

QColor separator(const QPalette& palette) {
    return colorsFor(palette).separator;
}

QColor controlFrame(const QPalette& palette) {
    return colorsFor(palette).frame;
}

QColor toastBackground(const QPalette& palette) {
    return colorsFor(palette).toast;
}

QFont font(TextStyle style) {
    QFont f = QApplication::font();
    const double base = f.pointSizeF() > 0 ? f.pointSizeF() : 10.0;
    double size = base;
    switch (style) {
    case TextStyle::title:
        size = base * 1.5;
        f.setWeight(QFont::DemiBold);
        break;
    case TextStyle::headline:
        f.setWeight(QFont::DemiBold);
        break;
    case TextStyle::body:
        break;
    case TextStyle::callout:
        size = base * 0.95;
        break;
    case TextStyle::caption:
    case TextStyle::footnote:
        size = base * 0.9;
        break;
    }
    f.setPointSizeF(std::max(size, smallestPointSize));
    return f;
}

QFont monospace() {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(std::max(QApplication::font().pointSizeF() * 0.95, smallestPointSize));
    return f;
}

void setTextColor(QWidget* widget, const QColor& color) {
    QPalette p = widget->palette();
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        p.setColor(group, QPalette::WindowText, color);
        p.setColor(group, QPalette::Text, color);
    }
    widget->setPalette(p);
}

} // namespace appearance

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceGroup = QStringLiteral("org.freedesktop.appearance");
const QString schemeKey = QStringLiteral("color-scheme");

// The portal wraps the value in one or two variants, depending on the method.
unsigned int schemeOf(QVariant value) {
    while (value.canConvert<QDBusVariant>() && value.userType() == qMetaTypeId<QDBusVariant>()) {
        value = value.value<QDBusVariant>().variant();
    }
    return value.toUInt();
}
} // namespace

AppearanceFollower::AppearanceFollower(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        return;
    }
    bus.connect(portalService, portalPath, settingsInterface, QStringLiteral("SettingChanged"),
                this, SLOT(settingChanged(QString, QString, QDBusVariant)));
    QDBusMessage read = QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface,
                                                       QStringLiteral("Read"));
    read << appearanceGroup << schemeKey;
    auto* watcher = owned<QDBusPendingCallWatcher>(this, bus.asyncCall(read, 2000));
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [this](QDBusPendingCallWatcher* call) {
                const QDBusPendingReply<QVariant> reply = *call;
                if (!reply.isError()) {
                    apply(schemeOf(reply.value()));
                }
                call->deleteLater();
            });
}

void AppearanceFollower::apply(unsigned int scheme) {
    const Look look = scheme == 1 ? Look::dark : Look::light;
    look_ = look;
    QApplication::setPalette(appearance::palette(look));
    emit lookChanged(look);
}

void AppearanceFollower::settingChanged(const QString& group, const QString& key,
                                        const QDBusVariant& value) {
    if (group == appearanceGroup && key == schemeKey) {
        apply(schemeOf(value.variant()));
    }
}

} // namespace twinlantern::ui
