#pragma once

#include <QString>

class QWidget;

namespace twinlantern::ui {

// A tab's stand-in until its view exists: its name in the middle.
QWidget* placeholderTab(const QString& name);

} // namespace twinlantern::ui
