#pragma once

#include <QObject>

#include <memory>
#include <string>

class QMenu;
class QSystemTrayIcon;

namespace twinlantern::app {
class AppModel;
class ModelBridge;
} // namespace twinlantern::app

namespace twinlantern::ui {

// The menu-bar extra: a tray icon in the terminal default's colour, the label text as
// its tooltip, and the interface's menu. Only where the desktop has a tray; the app
// works without one.
class TrayIcon final : public QObject {
    Q_OBJECT
public:
    explicit TrayIcon(app::ModelBridge& bridge, QObject* parent = nullptr);
    ~TrayIcon() override;

    // "TwinLantern, terminal default <name>", or "… none".
    static std::string labelText(const app::AppModel& model);

    // Shows the icon when a tray exists; false when there is none.
    bool show();
    bool shown() const;
    // The menu the icon opens; the windows own it. Null removes it.
    void setMenu(QMenu* menu);
    QSystemTrayIcon* icon() const { return icon_.get(); }

private:
    void update();

    app::ModelBridge& bridge_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

} // namespace twinlantern::ui
