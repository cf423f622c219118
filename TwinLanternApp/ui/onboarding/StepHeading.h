#pragma once

#include "TwinLanternApp/ui/frame/Appearance.h"

class QLabel;
class QString;
class QVBoxLayout;
class QWidget;

namespace twinlantern::ui {

// Dimmed, wrapped plain text in the given style.
QLabel* secondaryLabel(const QString& text, QWidget* parent,
                       appearance::TextStyle style = appearance::TextStyle::body);

// An onboarding step's bold title over its dimmed explanation.
QVBoxLayout* stepHeading(const QString& title, const QString& explanation, QWidget* parent);

} // namespace twinlantern::ui
