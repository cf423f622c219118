#pragma once

#include "TwinLanternApp/model/ModelNotices.h"
#include "TwinLanternApp/model/Scheduler.h"

#include "TwinLanternMac/services/DirectoryWatcher.h"
#include "core/base/Paths.h"
#include "core/doctor/DoctorCheck.h"
#include "core/profiles/ProfileDocument.h"
#include "core/profiles/ProfileStore.h"
#include "core/shell/ShellIntegration.h"
#include "core/tools/DesktopInstall.h"
#include "core/tools/ToolAdapter.h"
#include "core/tools/ToolContext.h"
#include "core/tools/ToolStatus.h"
#include "core/usage/ActivitySummary.h"
#include "core/usage/LocalLogUsageProvider.h"
#include "platform/Workspace.h"

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace twinlantern {
class SignInRouter;
}

namespace twinlantern::app {

// What the model needs from the process around it; no global state is read.
struct AppServices {
    Scheduler* scheduler = nullptr;
    Environment environment;    // the process environment
    std::string executablePath; // the main executable; the bundle is found from it
    // The Google sign-in's router; none: SignInRouter::shared().
    SignInRouter* signInRouter = nullptr;

    // readlink of /proc/self/exe; empty when it can't be read.
    static std::string currentExecutable();
    // Three levels up for ".../X.app/Contents/MacOS/exe", else the executable's folder.
    std::string bundlePath() const;
};

// The message hook of actions that report success; set by the watching model.
struct Feedback {
    static std::function<void(const std::string&)> handler;
};

struct UsageWindows {
    ActivitySummary fiveHours;
    ActivitySummary sevenDays;
};

using StatusMap = std::map<ProfileID, std::map<ToolKind, ToolStatus>>;
using RunningMap = std::map<ToolKind, std::set<ProfileID>>;
using UsageMap = std::map<ProfileID, std::map<ToolKind, UsageWindows>>;

// The app's one model: main thread only. Blocking work runs as scheduler jobs and
// comes back to main; observers hear of every field that changed.
class AppModel {
public:
    using Done = std::function<void()>;
    using Checks = std::function<void(std::vector<DoctorCheck>)>;

    AppModel(Paths paths, std::optional<std::string> searchPath, bool watch, AppServices services);
    ~AppModel();
    AppModel(const AppModel&) = delete;
    AppModel& operator=(const AppModel&) = delete;

    // The instance the app's main makes; null before.
    static std::shared_ptr<AppModel>& shared();

    [[nodiscard]] ModelNotices::Subscription observe(ModelNotices::Callback callback) {
        return notices_.observe(std::move(callback));
    }

    const Paths& paths() const { return paths_; }
    const ProfileStore& store() const { return store_; }
    const ToolContext& context() const { return context_; }
    const ProfileDocument& document() const { return document_; }
    const std::optional<std::string>& loadError() const { return loadError_; }
    const StatusMap& statuses() const { return statuses_; }
    const RunningMap& runningApps() const { return runningApps_; }
    // The folder rules' folders (as `folderPath` gives them) that aren't there, as the
    // last refresh found them.
    const std::set<std::string>& missingFolders() const { return missingFolders_; }
    const std::optional<ShellIntegration::Status>& shellStatus() const { return shellStatus_; }
    const std::optional<DesktopInstall>& desktopInstall() const { return desktopInstall_; }
    bool refreshing() const { return refreshing_; }
    const UsageMap& usage() const { return usage_; }
    const std::set<std::string>& signingIn() const { return signingIn_; }
    const std::optional<std::string>& alert() const { return alert_; }
    const std::optional<std::string>& toast() const { return toast_; }
    bool watching() const { return watcher_ != nullptr; }
    bool hasTimer() const { return static_cast<bool>(timer_); }
    bool hasStatusTimer() const { return static_cast<bool>(statusTimer_); }
    bool hasToastTask() const { return static_cast<bool>(toastTask_); }

    // Queries, computed afresh on each call.
    std::vector<std::unique_ptr<ToolAdapter>> adapters() const;
    std::unique_ptr<ToolAdapter> adapter(ToolKind kind) const;
    std::string appName(ToolKind kind) const;
    bool isRunning(const Profile& profile, ToolKind kind) const;
    std::optional<ToolStatus> status(const Profile& profile, ToolKind kind) const;
    std::set<ToolKind> installedTools() const;
    std::set<ToolKind> installedApps() const;
    static std::string signInKey(const ProfileID& id, ToolKind kind);
    bool isSigningIn(const Profile& profile, ToolKind kind) const;
    bool codexSignInRunning() const;
    std::string bundledBinary(const std::string& name) const;
    std::optional<Profile> terminalDefault() const;

    // The refresh cycle.
    void reload();
    void refreshRunning();
    void refreshStatuses(Done done = {});
    void refreshUsage(Done done = {});
    void showToast(const std::string& message);
    void discoverSearchPath(Done done = {});

    // In-place writes for the actions and polls; each always notifies.
    void storeStatus(const ProfileID& id, ToolKind kind, ToolStatus status);
    void setAlert(std::optional<std::string> message);

    // Every change of the profiles file: the body runs on the document loaded under the
    // lock, then the model reloads. A failure becomes the alert; false then.
    bool change(const std::function<void(ProfileDocument&)>& body);

    // Profile edits.
    std::optional<Profile> createProfile(const std::string& name, std::optional<ProfileColor> color,
                                         const std::vector<ToolKind>& tools,
                                         Profile::Storage storage);
    void edit(const ProfileID& id, const std::function<void(Profile&)>& mutation);
    // Offsets into the model's profiles, as the list shows them.
    void move(const std::set<std::size_t>& fromOffsets, std::size_t toOffset);
    void setTerminalDefault(const std::optional<ProfileID>& id);
    void cycleTerminalDefault();
    void addRule(const std::string& folder, const ProfileID& profile);
    void removeRule(const FolderRule& rule);
    // Quits the profile's instances, removes its data and launchers, then the profile.
    void deleteProfile(const Profile& profile, Done done = {});

    // Opening apps and sign-in.
    void openApp(const Profile& profile, ToolKind tool, Done done = {});
    void signIn(const Profile& profile, ToolKind tool);
    void signInWithGoogle(const Profile& profile, Done done = {});

    // Setup.
    void installShell();
    void uninstallShell();
    void rebuildLaunchers();
    void runDoctor(bool deep, Checks done);

    // Import, export, remove everything.
    std::string exportData() const;
    // The export written atomically at path (through a link); throws TwinLanternError.
    void exportTo(const std::string& path) const;
    // The success message, or "" after a failure (which set the alert).
    std::string importData(std::string_view bytes);
    void removeEverything(Done done = {});

private:
    struct StatusRun;
    void startStatusRun(std::vector<Done> dones);
    void runNextStatus(const std::shared_ptr<StatusRun>& run);
    void finishStatuses(const std::shared_ptr<StatusRun>& run);
    // The statuses of profiles just added, asked for once now rather than at the next
    // timed refresh; stored as a poll stores them, so a running refresh keeps them.
    struct NewStatuses;
    void checkNewProfiles(const std::vector<ProfileID>& ids);
    void checkNextNew(const std::shared_ptr<NewStatuses>& run);
    void replacePath(const std::string& path);
    // The document change without the alert: its error's text, or nothing.
    std::optional<std::string> changeReporting(const std::function<void(ProfileDocument&)>& body);
    // Runs body on the model `delay` from now, unless the model is gone by then.
    void after(platform::MainLoop::Duration delay, std::function<void(AppModel&)> body);
    struct Poll;
    void pollStep(const std::shared_ptr<Poll>& poll);
    void watchChatGPTSignIn(const Profile& profile);
    void setSigningIn(const std::string& key, bool on);
    struct Deletion;
    void deleteNext(const std::shared_ptr<Deletion>& deletion);
    void finishDeletion(const std::shared_ptr<Deletion>& deletion);
    // "<app> — <name> is still running. …": why a deletion stopped before removing anything.
    std::string stillRunning(ToolKind app, const std::string& name) const;
    struct Removal;
    void quitNext(const std::shared_ptr<Removal>& removal);
    void removeNext(const std::shared_ptr<Removal>& removal);
    void finishRemoval(const std::shared_ptr<Removal>& removal);
    void revealInFileManager(const std::string& folder) const;
    // Watches the support folder again when it came back as a new folder; true then.
    bool rewatch();
    void tick();
    std::unique_ptr<platform::Workspace> workspace() const;
    // Runs `body` on the model when it still lives.
    template <typename F> auto weakly(F body) const {
        return [alive = std::weak_ptr<AppModel*>(alive_), body = std::move(body)](auto&&... args) {
            if (auto self = alive.lock()) {
                body(**self, std::forward<decltype(args)>(args)...);
            }
        };
    }

    const Paths paths_;
    ProfileStore store_;
    AppServices services_;
    ModelNotices notices_;
    ToolContext context_;
    ProfileDocument document_ = ProfileDocument::empty();
    std::optional<std::string> loadError_;
    StatusMap statuses_;
    RunningMap runningApps_;
    std::set<std::string> missingFolders_;
    std::optional<ShellIntegration::Status> shellStatus_;
    std::optional<DesktopInstall> desktopInstall_;
    bool refreshing_ = false;
    UsageMap usage_;
    std::shared_ptr<LocalLogUsageProvider::EventCache> usageCache_ =
        std::make_shared<LocalLogUsageProvider::EventCache>();
    std::set<std::string> signingIn_;
    std::optional<std::string> alert_;
    std::optional<std::string> toast_;

    // When each status entry was last stored in place, on the counter below; a refresh
    // that began earlier keeps such an entry.
    std::uint64_t statusWrites_ = 0;
    std::map<std::pair<ProfileID, ToolKind>, std::uint64_t> storedAt_;
    // Bumped on every PATH change; a refresh that saw an older one runs once more.
    std::uint64_t pathGeneration_ = 0;
    bool rerunPending_ = false;

    std::shared_ptr<AppModel*> alive_ = std::make_shared<AppModel*>(this);
    // Timers of the actions' tasks, dropped when they fire or with the model.
    std::uint64_t nextDelay_ = 0;
    std::map<std::uint64_t, platform::MainLoop::Handle> delays_;
    bool watch_ = false;
    // The folder the watcher watches; a deleted one takes the watch with it.
    dev_t watchedDevice_ = 0;
    ino_t watchedInode_ = 0;
    std::unique_ptr<DirectoryWatcher> watcher_;
    platform::MainLoop::Handle timer_;
    platform::MainLoop::Handle statusTimer_;
    platform::MainLoop::Handle toastTask_;
};

} // namespace twinlantern::app
