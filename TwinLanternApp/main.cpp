// The menu-bar app: one instance per user and home, a tray where the desktop has one,
// and the windows of the interface.
#include "TwinLanternApp/app/AppCommands.h"
#include "TwinLanternApp/app/AppDelegate.h"
#include "TwinLanternApp/app/DistributionConfig.h"
#include "TwinLanternApp/app/ModelBridge.h"
#include "TwinLanternApp/app/QtScheduler.h"
#include "TwinLanternApp/app/QuitSignals.h"
#include "TwinLanternApp/app/QuitWithoutWaiting.h"
#include "TwinLanternApp/app/SingleInstance.h"
#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternApp/ui/frame/AppearanceStyle.h"
#include "TwinLanternApp/ui/frame/InterfaceWindows.h"
#include "TwinLanternApp/ui/frame/SettingsWindow.h"
#include "TwinLanternApp/ui/frame/SnapshotRenderer.h"
#include "TwinLanternApp/ui/frame/TrayIcon.h"
#include "TwinLanternMac/signin/SignInRouter.h"
#include "core/base/TwinLanternError.h"
#include "platform/HotKeyService.h"
#include "platform/SchemeHandlers.h"
#include "platform/SystemLog.h"
#include "platform/Workspace.h"

#include <QApplication>
#include <QSessionManager>
#include <QSystemTrayIcon>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace twinlantern;
using namespace twinlantern::app;

namespace {

// Qt's widgets abort without a display; say what is missing instead.
bool canOpenWindows(const Environment& environment, const std::vector<std::string>& arguments) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        if (const auto found = environment.find(name);
            found != environment.end() && !found->second.empty()) {
            return true;
        }
    }
    return std::find(arguments.begin(), arguments.end(), "-platform") != arguments.end();
}

// Renders the snapshots and exits: no lock, socket, shared model, tray, watcher or hot
// key, so a running app is never asked to do it.
int renderSnapshots(int argc, char** argv, const std::string& folder, platform::Logger& log) {
    QApplication app(argc, argv);
    return ui::SnapshotRenderer::renderAll(folder, log) ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    // Before any thread exists, so none takes these signals for itself.
    QuitSignals::block();
    const std::vector<std::string> arguments(argv, argv + argc);
    const Environment environment = currentEnvironment();
    const auto systemLog = platform::makeStandardErrorLog();
    platform::Logger log(*systemLog, AppDelegate::logCategory);

    if (const auto folder = AppDelegate::snapshotFolder(arguments)) {
        // Nothing is shown, so no desktop is needed.
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        return renderSnapshots(argc, argv, *folder, log);
    }
    if (!canOpenWindows(environment, arguments)) {
        std::fputs("TwinLantern needs a desktop session: neither DISPLAY nor WAYLAND_DISPLAY "
                   "is set.\n",
                   stderr);
        return 1;
    }

    const Paths paths = Paths::forCurrentUser(environment);
    std::string stem;
    try {
        stem = SingleInstance::privateStem(environment, paths.home);
    } catch (const TwinLanternError& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    SingleInstance::Lock lock = SingleInstance::acquire(stem + ".lock");
    if (lock.held) {
        if (SingleInstance::forward(stem + ".sock", SingleInstance::messages(arguments))) {
            return 0;
        }
        std::fprintf(stderr, "%s\n", SingleInstance::notAnswering);
        return 1;
    }
    if (!lock.acquired()) {
        // Without it any number of instances would run over one profiles file.
        std::fprintf(stderr, "TwinLantern can't start: Couldn't open %s.lock: %s\n", stem.c_str(),
                     lock.problem.c_str());
        return 1;
    }

    QApplication app(argc, argv);
    // The look's palettes are drawn with the style made for them.
    ui::appearance::installStyle();
    QApplication::setQuitOnLastWindowClosed(false);
    ui::nameApplication();

    QtScheduler scheduler;
    AppServices services{&scheduler, environment, AppServices::currentExecutable()};
    const std::string bundle = services.bundlePath();
    AppModel::shared() = std::make_shared<AppModel>(paths, std::nullopt, true, services);
    AppModel& model = *AppModel::shared();
    auto bridge = std::make_unique<ModelBridge>(model);

    const auto workspace = platform::makeWorkspace(paths, environment);
    platform::SchemeHandlers handlers(paths.home, environment);
    SignInRouter::shared() = std::make_unique<SignInRouter>(SignInRouter::Services{
        .workspace = *workspace,
        .handlers = handlers,
        .loop = scheduler,
        .log = *systemLog,
        .ownBundle = bundle,
        .previousHandlerFile = paths.supportDirectory() + "/claude-handler-before.json"});
    const auto hotKeys = platform::makeHotKeyService(scheduler, environment);

    // The windows and the commands reach each other and the delegate through these.
    std::unique_ptr<AppDelegate> delegate;
    std::unique_ptr<AppWindows> windows;
    AppCommands commands(
        [&windows] {
            if (windows) {
                windows->showHelp();
            }
        },
        DistributionConfig::updatesConfigured());
    const std::function<void()> requestQuit = [&delegate] {
        if (delegate) {
            delegate->requestQuit();
        }
    };
    windows = std::make_unique<ui::InterfaceWindows>(*bridge, commands, requestQuit,
                                                     QSystemTrayIcon::isSystemTrayAvailable());

    delegate = std::make_unique<AppDelegate>(
        AppDelegate::Services{*windows, scheduler, *hotKeys, *systemLog, arguments, [] {
                                  QCoreApplication::exit(0);
                              }});
    QuitSignals quitSignals([&log, &requestQuit](int signal) {
        log.log(std::string("quit on SIG") + sigabbrev_np(signal));
        requestQuit();
    });
    // The session ending (logout) asks to quit the same way.
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &app,
                     [&requestQuit](QSessionManager&) { requestQuit(); });

    InstanceServer server(stem + ".sock", [&delegate](const SingleInstance::Command& command) {
        if (!delegate) {
            return;
        }
        if (command.kind == SingleInstance::Command::Kind::reopen) {
            delegate->applicationShouldHandleReopen();
        } else {
            delegate->open({command.link});
        }
    });
    if (const auto problem = server.listen()) {
        log.error("later starts can't reach this one: " + *problem);
    }

    auto tray = std::make_unique<ui::TrayIcon>(*bridge);
    tray->setMenu(windows->trayMenu());

    delegate->applicationDidFinishLaunching();
    if (tray->show()) {
        log.log("in the system tray");
    } else {
        log.log("no system tray here; the settings window is the way in");
    }
    delegate->open(SingleInstance::links(arguments));

    const int status = QApplication::exec();

    // Later starts must not find a socket nobody answers while the rest winds down.
    server.close();
    lock.file.close();
    exitUnlessIdle(scheduler, status);
    // Then everything in the order it depends on: the scheduler last.
    tray.reset();
    delegate.reset();
    windows.reset();
    bridge.reset();
    SignInRouter::shared().reset();
    AppModel::shared().reset();
    scheduler.waitForJobs();
    return status;
}
