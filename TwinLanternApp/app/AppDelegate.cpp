#include "TwinLanternApp/app/AppDelegate.h"

#include "TwinLanternApp/app/AppSettings.h"
#include "TwinLanternApp/app/AppWindows.h"
#include "TwinLanternApp/app/DistributionConfig.h"
#include "TwinLanternApp/app/SettingsOpener.h"
#include "TwinLanternApp/app/ShortcutSettings.h"
#include "TwinLanternApp/app/UpdaterService.h"
#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternMac/signin/SignInRouter.h"
#include "platform/LoginItem.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QPointer>

#include <algorithm>

namespace twinlantern::app {

namespace {

const char* unavailableReason(platform::HotKeyService::Availability availability) {
    using Availability = platform::HotKeyService::Availability;
    switch (availability) {
    case Availability::available:
        return "available";
    case Availability::noDisplay:
        return "no X11 display";
    case Availability::wayland:
        return "a Wayland session";
    case Availability::connectionFailed:
        return "the X server could not be reached";
    case Availability::connectionLost:
        return "the X server went away";
    }
    return "unavailable";
}

} // namespace

AppDelegate::AppDelegate(Services services, QObject* parent)
    : QObject(parent), services_(std::move(services)), log_(services_.log, logCategory) {}

AppDelegate::~AppDelegate() {
    ShortcutSettings::onChange = nullptr;
    SettingsOpener::onOpened = nullptr;
    if (const auto& router = SignInRouter::shared()) {
        router->onChange = nullptr;
    }
}

std::optional<std::string> AppDelegate::snapshotFolder(const std::vector<std::string>& arguments) {
    const auto flag = std::find(arguments.begin(), arguments.end(), snapshotFlag);
    if (flag == arguments.end() || flag + 1 == arguments.end()) {
        return std::nullopt;
    }
    return *(flag + 1);
}

bool AppDelegate::launchedAtLogin(const std::vector<std::string>& arguments) {
    return arguments.size() > 1 &&
           std::find(arguments.begin() + 1, arguments.end(),
                     platform::LoginItem::launchedAtLoginFlag) != arguments.end();
}

void AppDelegate::applicationDidFinishLaunching() {
    // 1. Snapshot mode: render and go; nothing else starts.
    if (const auto folder = snapshotFolder(services_.arguments)) {
        if (!services_.windows.renderSnapshots(*folder)) {
            log_.error("rendering the snapshots into " + *folder + " failed");
        }
        services_.terminate();
        return;
    }
    // 2.
    launchedAtLogin_ = launchedAtLogin(services_.arguments);
    services_.windows.prepare();
    SettingsOpener::onOpened = [this] {
        log_.log("opened the settings window");
    };
    AppModel& model = *AppModel::shared();
    // 3.
    model.discoverSearchPath();
    // 4. No updater is built in: the controller stays null.
    if (DistributionConfig::updatesConfigured()) {
        log_.log("updates are off: the bundle names an update feed, but this build has no "
                 "updater");
    } else {
        log_.log("updates are off: the bundle isn't configured for them");
    }
    // 5.
    if (launchedAtLogin_) {
        log_.log("launched at login: no window");
    } else {
        services_.scheduler.post([self = QPointer<AppDelegate>(this)] {
            if (self) {
                self->showMainWindow();
            }
        });
    }
    // 6.
    ShortcutSettings::onChange = [self = QPointer<AppDelegate>(this)] {
        if (self) {
            self->registerHotKey();
        }
    };
    // 7.
    registerHotKey(true);
    // 8.
    if (const auto& router = SignInRouter::shared()) {
        router->onChange = [](const std::optional<std::string>& message) {
            if (message) {
                if (const auto& shared = AppModel::shared()) {
                    shared->showToast(*message);
                }
            }
        };
    }
    // 9.
    listenForGoogleSignIn();
    // 10. After this returns.
    services_.scheduler.post([] {
        if (const auto& router = SignInRouter::shared()) {
            router->restoreIfLeftOver();
        }
    });
}

void AppDelegate::open(const std::vector<std::string>& links) {
    const auto& router = SignInRouter::shared();
    if (!router) {
        return;
    }
    for (const auto& link : links) {
        router->handle(link);
    }
}

bool AppDelegate::applicationShouldHandleReopen() {
    log_.log("reopen from a later start");
    showMainWindow();
    return false;
}

bool AppDelegate::applicationShouldTerminate() {
    const auto& router = SignInRouter::shared();
    if (!router || !router->armed()) {
        return true;
    }
    log_.log("quitting after giving the claude:// handler back");
    services_.scheduler.post([self = QPointer<AppDelegate>(this)] {
        if (const auto& armedRouter = SignInRouter::shared()) {
            armedRouter->disarm();
        }
        if (self) {
            self->services_.terminate();
        }
    });
    return false;
}

void AppDelegate::requestQuit() {
    if (quitting_) {
        return;
    }
    quitting_ = true;
    if (applicationShouldTerminate()) {
        services_.terminate();
    }
}

void AppDelegate::showMainWindow() {
    const auto& model = AppModel::shared();
    // A profiles file that exists but can't be read is no new user's: first-run setup
    // would only offer to write over it.
    if (model && (!model->document().profiles.empty() || model->loadError())) {
        SettingsOpener::open();
        if (SettingsOpener::pending()) {
            log_.log("the settings window opens once it exists");
        }
        // Once the window is up, so the alert shows over it rather than on its own.
        if (model->loadError()) {
            model->setAlert(*model->loadError());
        }
    } else {
        services_.windows.showOnboarding();
        log_.log("opened the onboarding window");
    }
}

void AppDelegate::registerHotKey(bool atStartUp) {
    if (hotKey_) {
        hotKey_->unregister();
    }
    hotKey_.reset();
    if (!AppSettings::boolValue(AppSettings::cycleShortcutEnabled)) {
        return;
    }
    const auto combo = ShortcutSettings::combo();
    if (!combo) {
        return;
    }
    AppModel& model = *AppModel::shared();
    // Without a backend no app can hold the shortcut: say what is missing instead, and
    // only when the user acts.
    const auto availability = services_.hotKeys.availability();
    if (availability != platform::HotKeyService::Availability::available) {
        log_.log(std::string("no global shortcut: ") + unavailableReason(availability));
        if (!atStartUp) {
            model.setAlert(std::string(shortcutsNeedX11));
        }
        return;
    }
    hotKey_ = HotKey::create(services_.hotKeys, *combo, [] {
        if (const auto& shared = AppModel::shared()) {
            shared->cycleTerminalDefault();
        }
    });
    if (!hotKey_) {
        log_.log("the global shortcut is held by another client");
        model.setAlert(std::string(shortcutTaken));
    }
}

void AppDelegate::listenForGoogleSignIn() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        log_.log("no session bus: Google sign-in requests can't reach the app");
        return;
    }
    listensOnBus_ = bus.connect(QString(), QString(), QString::fromLatin1(googleSignInInterface),
                                QString::fromLatin1(googleSignInMember), this,
                                SLOT(googleSignIn(QDBusMessage)));
    if (!listensOnBus_) {
        log_.error("listening for Google sign-in requests failed: " +
                   bus.lastError().message().toStdString());
    }
}

void AppDelegate::googleSignIn(const QDBusMessage& message) {
    const QList<QVariant> arguments = message.arguments();
    if (arguments.size() != 1 || arguments.front().typeId() != QMetaType::QString) {
        return;
    }
    const auto& model = AppModel::shared();
    if (!model) {
        return;
    }
    const Profile* profile =
        model->document().profile(ProfileID(arguments.front().toString().toStdString()));
    if (profile == nullptr) {
        return;
    }
    // A copy: the sign-in may replace the document.
    const Profile found = *profile;
    model->signInWithGoogle(found);
}

} // namespace twinlantern::app
