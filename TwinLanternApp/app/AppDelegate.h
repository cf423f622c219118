#pragma once

#include "TwinLanternApp/model/Scheduler.h"
#include "TwinLanternMac/services/HotKey.h"
#include "platform/HotKeyService.h"
#include "platform/SystemLog.h"

#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QDBusMessage;

namespace twinlantern::app {

class AppModel;
class AppWindows;

// What happens when the app starts, is reopened, is handed links and is asked to quit.
// The model (AppModel::shared()) and the sign-in router (SignInRouter::shared()) are
// made by main before the start-up runs. Main thread only.
class AppDelegate final : public QObject {
    Q_OBJECT
public:
    static constexpr char snapshotFlag[] = "--render-snapshots";
    static constexpr char logCategory[] = "app";
    static constexpr char shortcutTaken[] =
        "That shortcut is already used by another app. Pick a different one.";
    static constexpr char shortcutsNeedX11[] = "Global shortcuts work only on an X11 display.";
    // The D-Bus form of the Google sign-in request.
    static constexpr char googleSignInInterface[] = "app.twinlantern";
    static constexpr char googleSignInMember[] = "googleSignIn";

    struct Services {
        AppWindows& windows;
        Scheduler& scheduler;
        platform::HotKeyService& hotKeys;
        platform::SystemLog& log;
        std::vector<std::string> arguments; // the program's, its path first
        std::function<void()> terminate;    // ends the process's event loop
    };

    explicit AppDelegate(Services services, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The folder after the first "--render-snapshots"; nothing when the flag is absent
    // or last.
    static std::optional<std::string> snapshotFolder(const std::vector<std::string>& arguments);
    // Started by the autostart entry.
    static bool launchedAtLogin(const std::vector<std::string>& arguments);

    // The start-up, in order; returns before the first window opens.
    void applicationDidFinishLaunching();
    // Each link, in order, to the sign-in router.
    void open(const std::vector<std::string>& links);
    // A later plain start: the main window, whatever is visible; always false.
    bool applicationShouldHandleReopen();
    // True: quit now. False: the router is armed and gives the claude:// handler back
    // first, then the process quits.
    bool applicationShouldTerminate();
    // Quit from the menu, a signal or the session: once, through applicationShouldTerminate.
    void requestQuit();

    // (Re)registers the terminal-default hot key after a change of the shortcut or its
    // switch; tells the user, through the model's alert, why it couldn't.
    void registerHotKey() { registerHotKey(false); }
    // The settings window when there are profiles, else the onboarding window.
    void showMainWindow();

    HotKey* hotKey() const { return hotKey_.get(); }
    bool launchedAtLogin() const { return launchedAtLogin_; }
    bool listensOnBus() const { return listensOnBus_; }
    bool quitting() const { return quitting_; }

private slots:
    void googleSignIn(const QDBusMessage& message);

private:
    void registerHotKey(bool atStartUp);
    void listenForGoogleSignIn();

    Services services_;
    platform::Logger log_;
    std::unique_ptr<HotKey> hotKey_;
    bool launchedAtLogin_ = false;
    bool listensOnBus_ = false;
    bool quitting_ = false;
};

} // namespace twinlantern::app
