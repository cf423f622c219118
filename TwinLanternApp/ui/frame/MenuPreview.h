#pragma once

#include <QWidget>

namespace twinlantern::app {
class AppModel;
}

namespace twinlantern::ui {

// A still picture of the tray menu for the snapshots: each profile with its dot, the
// terminal default, Settings… and Quit. It has no actions; the real menu is AppMenu.
class MenuPreview final : public QWidget {
public:
    explicit MenuPreview(const app::AppModel& model, QWidget* parent = nullptr);
};

} // namespace twinlantern::ui
