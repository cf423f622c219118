#pragma once

#include <QObject>

#include <memory>
#include <string>

class QMenu;
class QSystemTrayIcon;

namespace twinlantern::app {

class AppModel;
class AppWindows;
class ModelBridge;

// The menu-bar extra: a tray icon in the terminal default's colour, the label text as
// its tooltip, and the interface's menu. Only where the desktop has a tray; the app
// works without one.
class Tray final : public QObject {
    Q_OBJECT
public:
    Tray(ModelBridge& bridge, AppWindows& windows, QObject* parent = nullptr);
    ~Tray() override;

    // "TwinLantern, terminal default <name>", or "… none".
    static std::string labelText(const AppModel& model);

    // Shows the icon when a tray exists; false when there is none.
    bool show();
    bool shown() const;
    // The menu the icon opens; the windows own it. Null removes it.
    void setMenu(QMenu* menu);
    QSystemTrayIcon* icon() const { return icon_.get(); }

private:
    void update();

    ModelBridge& bridge_;
    AppWindows& windows_;
    std::unique_ptr<QSystemTrayIcon> icon_;
};

} // namespace twinlantern::app
