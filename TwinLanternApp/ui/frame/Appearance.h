#pragma once

#include <QColor>
#include <QFont>
#include <QObject>
#include <QPalette>

#include <optional>

class QDBusVariant;
class QWidget;

namespace twinlantern::ui {

enum class Look { light, dark };

// The one look of the app: a light and a dark palette of our own (Qt 6.4 has no
// colour-scheme hint) and one type scale. Painting reads the widget's palette, so a
// view drawn with either palette follows it.
namespace appearance {

QPalette palette(Look look);
bool isDark(const QPalette& palette);

// Named colours beyond the palette's roles, for the palette they are drawn on.
QColor label(const QPalette& palette);          // primary text
QColor secondaryLabel(const QPalette& palette); // dimmed captions
QColor tertiaryLabel(const QPalette& palette);  // the neutral dot
QColor orange(const QPalette& palette);         // needs attention
QColor accent(const QPalette& palette);
QColor separator(const QPalette& palette);
QColor controlFrame(const QPalette& palette); // checkbox, text field and button frames
QColor toastBackground(const QPalette& palette);

enum class TextStyle { title, headline, body, callout, caption, footnote };
// From the application font; nothing is smaller than 9 points.
QFont font(TextStyle style);
QFont monospace();
inline constexpr double smallestPointSize = 9.0;

// Sets a widget's text colour role to one of the colours above.
void setTextColor(QWidget* widget, const QColor& color);

} // namespace appearance

// Follows the desktop's colour scheme through the XDG desktop portal
// (org.freedesktop.appearance color-scheme, 1 = dark), with its SettingChanged signal.
// Without a portal the platform's palette stays.
class AppearanceFollower final : public QObject {
    Q_OBJECT
public:
    explicit AppearanceFollower(QObject* parent = nullptr);
    // What the portal said last; empty before an answer or without a portal.
    std::optional<Look> look() const { return look_; }
    // Applies the look that the portal's value stands for (1 dark, anything else light).
    void apply(unsigned int scheme);

signals:
    void lookChanged(twinlantern::ui::Look look);

private slots:
    void settingChanged(const QString& group, const QString& key, const QDBusVariant& value);

private:
    std::optional<Look> look_;
};

} // namespace twinlantern::ui
