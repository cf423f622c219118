#pragma once

#include "TwinLanternApp/ui/frame/MenuEntries.h"
#include "TwinLanternApp/ui/frame/SettingsTab.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QMenu;

namespace twinlantern::app {
class ModelBridge;
}

namespace twinlantern::ui {

// The one menu of the app, in the tray or (with no tray) the settings window's menu
// bar. Rebuilt from the model whenever its document, statuses or running apps change.
class AppMenu final : public QObject {
    Q_OBJECT
public:
    struct Handlers {
        std::function<void()> openSettings;   // brings the settings window forward
        std::function<void()> showOnboarding; // the onboarding window
        std::function<void()> quit;           // asks the app to quit
    };

    AppMenu(app::ModelBridge& bridge, Handlers handlers, QObject* parent = nullptr);
    ~AppMenu() override;

    QMenu* menu() const { return menu_.get(); }
    const std::vector<MenuEntry>& entries() const { return entries_; }
    // Rebuilds now (it is otherwise rebuilt once per turn of the event loop).
    void rebuild();
    // Optionally stores the tab, then opens the settings and refreshes the statuses.
    void showSettings(std::optional<SettingsTab> tab);

private:
    void scheduleRebuild();
    void choose(const MenuEntry& entry);

    app::ModelBridge& bridge_;
    Handlers handlers_;
    std::unique_ptr<QMenu> menu_;
    std::vector<MenuEntry> entries_;
    bool rebuildPending_ = false;
};

} // namespace twinlantern::ui
