#pragma once

#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "core/tools/DesktopInstall.h"
#include "platform/MainLoop.h"
#include "platform/SchemeHandlers.h"
#include "platform/SystemLog.h"
#include "platform/Workspace.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// For a Google sign-in, takes the claude:// scheme for a while, hands the returning link
// to the Claude Desktop instance of the profile that asked, then gives the scheme back.
// Main thread only.
class SignInRouter {
public:
    using Clock = std::chrono::steady_clock;

    struct Armed {
        std::string userDataDirectory;
        std::string profileName;
        Clock::time_point until;
        friend bool operator==(const Armed&, const Armed&) = default;
    };

    struct Services {
        platform::Workspace& workspace;
        platform::SchemeHandlers& handlers;
        platform::MainLoop& loop;
        platform::SystemLog& log;
        std::string ownBundle; // this app's .app
        std::function<Clock::time_point()> now = [] {
            return Clock::now();
        };
        std::string claudeBundleID = DesktopInstall::bundleID;
        // Where arming keeps the handler it replaced, so that a start after a run that
        // ended armed puts it back too; empty: kept in memory only.
        std::string previousHandlerFile = {};
    };

    static constexpr std::string_view scheme = "claude";
    static constexpr std::string_view googleSignInNotification = "app.twinlantern.googleSignIn";
    static constexpr std::string_view logCategory = "google-sign-in";
    static constexpr auto guardInterval = std::chrono::milliseconds(250);
    static constexpr auto afterDelivery = std::chrono::seconds(20);

    explicit SignInRouter(Services services);
    ~SignInRouter();
    SignInRouter(const SignInRouter&) = delete;
    SignInRouter& operator=(const SignInRouter&) = delete;

    // The app's one router, which its start-up makes over the app's own services and
    // drops at quit; empty before and after. Tests build their own.
    static std::unique_ptr<SignInRouter>& shared();

    const std::optional<Armed>& armed() const { return armed_; }
    // Called with nothing after arming and a disarm without reason, else with the message.
    std::function<void(const std::optional<std::string>&)> onChange;

    // The .app that opens claude:// links now, else its desktop entry; nothing when none.
    std::optional<std::string> currentHandler() const;
    bool isHandler() const;

    // Keeps the user's own handler lines, takes the scheme and arms until now + duration.
    // Throws TwinLanternError, and then nothing changes.
    void arm(const std::string& userDataDirectory, const std::string& profileName,
             std::chrono::duration<double> duration);
    // Puts the kept handler lines back exactly; without them gives the scheme to Claude
    // Desktop.
    void disarm(std::optional<std::string> reason = std::nullopt);
    // Idle but still the handler (a run that ended while armed): gives the scheme back.
    // Idle and not the handler: a kept record is stale and goes.
    void restoreIfLeftOver();
    // One link from the instance socket; text that is no URI or of another scheme is
    // dropped unlogged.
    void handle(std::string_view text);
    // Starts the instance's program again with its folder and the link; false (logged)
    // when it couldn't: gone, now another folder, or the start failed.
    bool forward(const std::string& link, const DesktopLauncher::Instance& instance);

    const platform::Logger& routerLog() const { return log_; }

    // scheme "://" host path: user info, port, query and fragment never reach a log.
    static std::string redactedLink(std::string_view link);
    // An absolute URI by RFC 3986's characters: a scheme, ":" and URI characters only.
    static bool isURI(std::string_view text);

private:
    void guardPass();
    void take(const std::string& bundle, bool own);
    void keepPrevious(std::vector<platform::SchemeHandlers::SavedDefault> saved);
    std::optional<std::vector<platform::SchemeHandlers::SavedDefault>> previous() const;
    void forgetPrevious();
    std::string handlerText() const;
    void postDisarm(std::optional<std::string> reason);

    Services services_;
    platform::Logger log_;
    std::optional<Armed> armed_;
    std::optional<std::vector<platform::SchemeHandlers::SavedDefault>> previous_;
    platform::MainLoop::Handle watch_;
    std::shared_ptr<SignInRouter*> self_; // posted tasks find the router through it
};

} // namespace twinlantern
