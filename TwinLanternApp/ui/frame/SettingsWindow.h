#pragma once

#include "TwinLanternApp/ui/advanced/AdvancedTabServices.h"
#include "TwinLanternApp/ui/frame/SettingsTab.h"

#include <QWidget>

class QMenu;
class QMenuBar;
class QTabWidget;
class QVBoxLayout;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

class AlertPresenter;
class Toast;

// Names the application "TwinLantern" with no display name of its own: on X11 Qt appends
// a display name to every window title ("TwinLantern Settings — TwinLantern").
void nameApplication();

// The main window: the Profiles, Terminal and Advanced tabs (620 × 500), bound to the
// stored "settingsTab", the model's toast at the bottom and its alert over the window.
// Each time it is shown the statuses are refreshed.
class SettingsWindow final : public QWidget {
    Q_OBJECT
public:
    // advanced: the updater, the login item and the help opener of the Advanced tab.
    explicit SettingsWindow(app::ModelBridge& bridge, AdvancedTabServices advanced = {},
                            QWidget* parent = nullptr);

    static constexpr int contentWidth = 620;
    static constexpr int contentHeight = 500;

    QTabWidget* tabs() const { return tabs_; }
    SettingsTab currentTab() const;
    Toast* toast() const { return toast_; }
    AlertPresenter* alerts() const { return alerts_; }
    // With no tray the menu sits in the window's menu bar, titled "TwinLantern"; the bar
    // is cleared first.
    void setAppMenu(QMenu* menu);
    // Appends a menu to the window's menu bar (the app's commands).
    void addMenu(QMenu* menu);
    QMenuBar* menuBar() const { return menuBar_; }

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void addTab(QWidget* view, SettingsTab tab, const QString& title);
    QMenuBar* ensureMenuBar();
    void refreshIcons();
    void select(SettingsTab tab);

    app::ModelBridge& bridge_;
    QVBoxLayout* layout_ = nullptr;
    QTabWidget* tabs_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    Toast* toast_ = nullptr;
    AlertPresenter* alerts_ = nullptr;
};

} // namespace twinlantern::ui
