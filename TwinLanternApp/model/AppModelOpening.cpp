#include "TwinLanternApp/model/ActionSupport.h"
#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/apps/ClaudeDesktopAdapter.h"
#include "TwinLanternMac/signin/SignInLauncher.h"
#include "TwinLanternMac/signin/SignInRouter.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"

namespace twinlantern::app {

using actions::report;
using namespace std::chrono_literals;

namespace {

constexpr auto settleWait = 1s;
constexpr auto pollInterval = 3s;
constexpr int pollChecks = 200;
constexpr auto googleWindow = 300s;

std::string signedInMessage(const std::string& name, const std::string& tool) {
    std::string message = text::bidiIsolated(name);
    message += " is signed in to ";
    message += tool;
    return message;
}

std::string googleFailure(const std::string& why) {
    std::string message = "Couldn't set up Google sign-in: ";
    message += why;
    message += " Signing in with your email address always works.";
    return message;
}

} // namespace

void AppModel::after(platform::MainLoop::Duration delay, std::function<void(AppModel&)> body) {
    const std::uint64_t id = ++nextDelay_;
    delays_[id] =
        services_.scheduler->postAfter(delay, weakly([id, body = std::move(body)](AppModel& m) {
                                           m.delays_.erase(id);
                                           body(m);
                                       }));
}

void AppModel::setSigningIn(const std::string& key, bool on) {
    if (on) {
        signingIn_.insert(key);
    } else {
        signingIn_.erase(key);
    }
    notices_.notify(ModelField::signingIn);
}

// ---- Opening an app ----

void AppModel::openApp(const Profile& profile, ToolKind tool, Done done) {
    auto app = DesktopAdapters::app(tool, context_);
    services_.scheduler->background(
        [app, profile] { app->open(profile); },
        weakly([profile, tool, done = std::move(done)](AppModel& m, JobResult<void> opened) {
            if (!opened.ok()) {
                m.setAlert(opened.error);
                if (done) {
                    done();
                }
                return;
            }
            if (tool == ToolKind::chatGPTApp && profile.storage == Profile::Storage::managed) {
                m.watchChatGPTSignIn(profile);
            }
            m.after(settleWait, [done](AppModel& later) {
                later.refreshRunning();
                if (done) {
                    done();
                }
            });
        }));
}

// ---- Sign-in polls ----

struct AppModel::Poll {
    Profile profile;
    ToolKind tool;
    std::string key;
    int checks = 0; // done so far
};

void AppModel::pollStep(const std::shared_ptr<Poll>& poll) {
    after(pollInterval, [poll](AppModel& m) {
        std::shared_ptr<ToolAdapter> tool = m.adapter(poll->tool);
        const Profile profile = poll->profile;
        m.services_.scheduler->background(
            [tool, profile] { return tool->status(profile); },
            m.weakly([poll](AppModel& n, JobResult<ToolStatus> read) {
                ToolStatus status =
                    read.ok() ? std::move(*read.value) : ToolStatus::needsAttention(read.error);
                const bool signedIn = status.state == ToolStatus::Case::signedIn;
                n.storeStatus(poll->profile.id, poll->tool, std::move(status));
                ++poll->checks;
                if (!signedIn) {
                    if (poll->checks >= pollChecks) {
                        n.setSigningIn(poll->key, false); // gives up silently
                    } else {
                        n.pollStep(poll);
                    }
                    return;
                }
                if (poll->tool != ToolKind::chatGPTApp) {
                    n.setSigningIn(poll->key, false);
                    report(signedInMessage(poll->profile.name, toolInfo(poll->tool).displayName));
                    return;
                }
                // The app signs in the profile's Codex folder, which Codex shares.
                std::shared_ptr<ToolAdapter> codex = n.adapter(ToolKind::codex);
                const Profile same = poll->profile;
                n.services_.scheduler->background(
                    [codex, same] { return codex->status(same); },
                    n.weakly([poll](AppModel& o, JobResult<ToolStatus> codexRead) {
                        o.storeStatus(poll->profile.id, ToolKind::codex,
                                      codexRead.ok() ? std::move(*codexRead.value)
                                                     : ToolStatus::needsAttention(codexRead.error));
                        o.setSigningIn(poll->key, false);
                        report(
                            signedInMessage(poll->profile.name, o.appName(ToolKind::chatGPTApp)));
                    }));
            }));
    });
}

void AppModel::watchChatGPTSignIn(const Profile& profile) {
    const std::string key = signInKey(profile.id, ToolKind::chatGPTApp);
    const auto stored = status(profile, ToolKind::chatGPTApp);
    if ((stored && stored->state == ToolStatus::Case::signedIn) || signingIn_.contains(key)) {
        return;
    }
    setSigningIn(key, true);
    pollStep(std::make_shared<Poll>(Poll{profile, ToolKind::chatGPTApp, key}));
}

void AppModel::signIn(const Profile& profile, ToolKind tool) {
    if (toolInfo(tool).isApp) {
        openApp(profile, tool);
        return;
    }
    if (tool == ToolKind::codex && codexSignInRunning()) {
        setAlert("Finish the Codex sign-in that's already open first. Codex can only sign in "
                 "one profile at a time.");
        return;
    }
    const std::string displayName = toolInfo(tool).displayName;
    std::optional<SignInCommand> command;
    try {
        command = adapter(tool)->setUp(profile);
    } catch (const std::exception& failure) {
        setAlert(std::string(failure.what()));
        return;
    }
    if (!command) {
        std::string message = displayName;
        message += " isn't installed, so there's nothing to sign in to yet.";
        setAlert(std::move(message));
        return;
    }
    std::string title = "Sign ";
    title += profile.name;
    title += " in to ";
    title += displayName;
    const auto path = context_.environment.find("PATH");
    // An empty PATH finds nothing either.
    const std::string searchPath = path != context_.environment.end() && !path->second.empty()
                                       ? path->second
                                       : std::string("/usr/bin:/bin");
    try {
        SignInLauncher::openTerminal(
            *workspace(), *command, title, searchPath,
            SignInLauncher::scriptDirectory(context_.environment, paths_.home));
    } catch (const std::exception& failure) {
        setAlert(std::string(failure.what()));
        return;
    }
    const std::string key = signInKey(profile.id, tool);
    setSigningIn(key, true);
    pollStep(std::make_shared<Poll>(Poll{profile, tool, key}));
}

// ---- Google sign-in ----

namespace {

SignInRouter* routerOf(const AppServices& services) {
    return services.signInRouter ? services.signInRouter : SignInRouter::shared().get();
}

} // namespace

void AppModel::signInWithGoogle(const Profile& profile, Done done) {
    auto finish = [done] {
        if (done) {
            done();
        }
    };
    if (profile.storage != Profile::Storage::managed) {
        finish();
        return;
    }
    if (SignInRouter* router = routerOf(services_)) {
        std::string line = "google sign-in requested for ";
        line += profile.id.rawValue;
        router->routerLog().log(line);
    }
    auto app = std::make_shared<ClaudeDesktopAdapter>(context_);
    services_.scheduler->background(
        [app, profile] { app->open(profile); },
        weakly([profile, finish](AppModel& m, JobResult<void> opened) {
            if (!opened.ok()) {
                m.setAlert(googleFailure(opened.error));
                finish();
                return;
            }
            SignInRouter* router = routerOf(m.services_);
            if (router) {
                router->routerLog().log("window opened or focused");
            }
            const auto folder = ClaudeDesktopAdapter(m.context_).dataDirectory(profile);
            if (!folder) {
                finish();
                return;
            }
            try {
                if (!router) {
                    throw TwinLanternError::unsupported("The link handler isn't running.");
                }
                router->arm(*folder, profile.name, googleWindow);
            } catch (const std::exception& failure) {
                m.setAlert(googleFailure(failure.what()));
                finish();
                return;
            }
            m.refreshRunning();
            std::string message = "Now click \u201cContinue with Google\u201d in Claude \u2014 ";
            message += text::bidiIsolated(profile.name);
            message += ".";
            m.showToast(message);
            finish();
        }));
}

} // namespace twinlantern::app
