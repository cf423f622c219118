#include "TwinLanternApp/model/AppModel.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "TwinLanternMac/apps/DesktopAdapters.h"
#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "TwinLanternMac/apps/DesktopLocator.h"
#include "TwinLanternMac/services/LoginShellEnvironment.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/tools/ToolRegistry.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace twinlantern::app {

std::function<void(const std::string&)> Feedback::handler;

namespace {

constexpr auto runningInterval = std::chrono::seconds(5);
constexpr auto statusInterval = std::chrono::seconds(300);
constexpr auto toastDuration = std::chrono::seconds(4);
constexpr double loginShellTimeout = 5.0;
const std::vector<double> usageWindows = {18000.0, 604800.0};

std::string startPath(const Environment& environment, const std::optional<std::string>& given) {
    if (given) {
        return *given;
    }
    if (auto found = environment.find("PATH"); found != environment.end()) {
        return found->second;
    }
    return "/usr/bin:/bin";
}

ToolContext startContext(const Paths& paths, const Environment& process,
                         const std::optional<std::string>& searchPath) {
    Environment environment = process;
    environment["HOME"] = paths.home;
    environment["PATH"] = startPath(process, searchPath);
    return ToolContext{paths, std::move(environment)};
}

} // namespace

std::string AppServices::currentExecutable() {
    std::array<char, 4096> buffer{};
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length))
                      : std::string();
}

std::string AppServices::bundlePath() const {
    if (executablePath.empty()) {
        return "/";
    }
    const std::string folder = PathUtil::parent(executablePath);
    const std::string contents = PathUtil::parent(folder);
    const std::string bundle = PathUtil::parent(contents);
    if (PathUtil::lastComponent(folder) == "MacOS" &&
        PathUtil::lastComponent(contents) == "Contents" && bundle.ends_with(".app")) {
        return bundle;
    }
    return folder;
}

std::shared_ptr<AppModel>& AppModel::shared() {
    static std::shared_ptr<AppModel> instance;
    return instance;
}

AppModel::AppModel(Paths paths, std::optional<std::string> searchPath, bool watch,
                   AppServices services)
    : paths_(std::move(paths)), store_(paths_), services_(std::move(services)),
      context_(startContext(paths_, services_.environment, searchPath)) {
    reload();
    if (!watch) {
        return;
    }
    Scheduler& scheduler = *services_.scheduler;
    watch_ = true;
    // Made here first so the folder never gets the watcher's default permissions.
    makeDirectories(paths_.supportDirectory(), 0700);
    rewatch();
    timer_ = scheduler.repeatEvery(runningInterval, weakly([](AppModel& m) { m.tick(); }));
    notices_.notify(ModelField::timer);
    statusTimer_ =
        scheduler.repeatEvery(statusInterval, weakly([](AppModel& m) { m.refreshStatuses(); }));
    notices_.notify(ModelField::statusTimer);
    Feedback::handler =
        weakly([](AppModel& m, const std::string& message) { m.showToast(message); });
}

AppModel::~AppModel() {
    toastTask_.reset();
    statusTimer_.reset();
    timer_.reset();
    watcher_.reset();
}

// ---- Queries ----

std::unique_ptr<platform::Workspace> AppModel::workspace() const {
    return platform::makeWorkspace(paths_, context_.environment);
}

std::vector<std::unique_ptr<ToolAdapter>> AppModel::adapters() const {
    return DesktopAdapters::all(context_);
}

std::unique_ptr<ToolAdapter> AppModel::adapter(ToolKind kind) const {
    return DesktopAdapters::adapter(kind, context_);
}

std::string AppModel::appName(ToolKind kind) const {
    if (kind == ToolKind::chatGPTApp) {
        return ChatGPTAppAdapter(context_).appName();
    }
    return "Claude";
}

bool AppModel::isRunning(const Profile& profile, ToolKind kind) const {
    const auto found = runningApps_.find(kind);
    return found != runningApps_.end() && found->second.contains(profile.id);
}

std::optional<ToolStatus> AppModel::status(const Profile& profile, ToolKind kind) const {
    const auto entry = statuses_.find(profile.id);
    if (entry == statuses_.end()) {
        return std::nullopt;
    }
    const auto inner = entry->second.find(kind);
    if (inner == entry->second.end()) {
        return std::nullopt;
    }
    return inner->second;
}

std::set<ToolKind> AppModel::installedTools() const {
    std::set<ToolKind> installed;
    for (ToolKind kind : allToolKinds) {
        const bool present = kind == ToolKind::claudeDesktop ? desktopInstall_.has_value()
                                                             : adapter(kind)->isInstalled();
        if (present) {
            installed.insert(kind);
        }
    }
    return installed;
}

std::set<ToolKind> AppModel::installedApps() const {
    std::set<ToolKind> apps;
    for (ToolKind kind : installedTools()) {
        if (toolInfo(kind).isApp) {
            apps.insert(kind);
        }
    }
    return apps;
}

std::string AppModel::signInKey(const ProfileID& id, ToolKind kind) {
    return id.rawValue + "/" + toolInfo(kind).rawValue;
}

bool AppModel::isSigningIn(const Profile& profile, ToolKind kind) const {
    return signingIn_.contains(signInKey(profile.id, kind));
}

bool AppModel::codexSignInRunning() const {
    return std::any_of(signingIn_.begin(), signingIn_.end(),
                       [](const std::string& key) { return key.ends_with("/codex"); });
}

std::string AppModel::bundledBinary(const std::string& name) const {
    const std::string helper = services_.bundlePath() + "/Contents/Helpers/" + name;
    if (PathUtil::isExecutableFile(helper)) {
        return helper;
    }
    const std::string folder =
        services_.executablePath.empty() ? "/" : PathUtil::parent(services_.executablePath);
    return PathUtil::join(folder, name);
}

std::optional<Profile> AppModel::terminalDefault() const {
    if (!document_.cliDefault) {
        return std::nullopt;
    }
    if (const Profile* profile = document_.profile(*document_.cliDefault)) {
        return *profile;
    }
    return std::nullopt;
}

// ---- In-place writes ----

void AppModel::storeStatus(const ProfileID& id, ToolKind kind, ToolStatus status) {
    statuses_[id][kind] = std::move(status);
    storedAt_[{id, kind}] = ++statusWrites_;
    notices_.notify(ModelField::statuses);
}

void AppModel::setAlert(std::optional<std::string> message) {
    notices_.assign(ModelField::alert, alert_, std::move(message));
}

void AppModel::replacePath(const std::string& path) {
    context_.environment["PATH"] = path;
    ++pathGeneration_;
    notices_.notify(ModelField::context);
}

// ---- Refresh cycle ----

bool AppModel::rewatch() {
    if (!watch_) {
        return false;
    }
    const std::string support = paths_.supportDirectory();
    struct stat st {};
    if (::stat(support.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        // Gone: inotify dropped the watch with it. The folder is never made just to
        // be watched; it is watched again once something makes it.
        if (watcher_) {
            watcher_.reset();
            notices_.notify(ModelField::watcher);
        }
        return false;
    }
    if (watcher_ && st.st_dev == watchedDevice_ && st.st_ino == watchedInode_) {
        return false;
    }
    watcher_ = DirectoryWatcher::create(*services_.scheduler, support,
                                        weakly([](AppModel& m) { m.reload(); }));
    watchedDevice_ = st.st_dev;
    watchedInode_ = st.st_ino;
    notices_.notify(ModelField::watcher);
    return watcher_ != nullptr;
}

void AppModel::tick() {
    // A folder made again while nobody watched may already hold changes.
    if (rewatch()) {
        reload();
        return;
    }
    refreshRunning();
}

void AppModel::reload() {
    rewatch();
    try {
        ProfileDocument loaded = store_.load();
        notices_.assign(ModelField::document, document_, std::move(loaded));
        notices_.assign(ModelField::loadError, loadError_, std::nullopt);
    } catch (const std::exception& error) {
        notices_.assign(ModelField::loadError, loadError_, std::string(error.what()));
    }
    notices_.assign(ModelField::shellStatus, shellStatus_,
                    ShellIntegration(paths_, context_.environment).status());
    notices_.assign(ModelField::desktopInstall, desktopInstall_,
                    DesktopLocator::locate(*workspace(), DesktopInstall::bundleID));
    refreshRunning();
}

void AppModel::refreshRunning() {
    const auto space = workspace();
    RunningMap next;
    for (const ToolKind kind : allToolKinds) {
        const auto app = DesktopAdapters::app(kind, context_);
        if (!app) {
            continue;
        }
        std::set<ProfileID>& running = next[app->kind()];
        std::vector<std::optional<std::string>> folders;
        bool listed = false;
        for (const Profile& profile : document_.profiles) {
            if (!profile.uses(app->kind())) {
                continue;
            }
            auto wanted = app->dataDirectory(profile);
            // A managed profile without a folder of its own has no instance; it must
            // never pass for the default one.
            if (!wanted && profile.storage == Profile::Storage::managed) {
                continue;
            }
            if (!listed) {
                for (const auto& instance :
                     DesktopLauncher::runningInstances(*space, app->bundleID())) {
                    folders.push_back(instance.userDataDirectory
                                          ? std::optional(DesktopLauncher::compareForm(
                                                *instance.userDataDirectory))
                                          : std::nullopt);
                }
                listed = true;
            }
            if (wanted) {
                wanted = DesktopLauncher::compareForm(*wanted);
            }
            if (std::find(folders.begin(), folders.end(), wanted) != folders.end()) {
                running.insert(profile.id);
            }
        }
    }
    notices_.assign(ModelField::runningApps, runningApps_, std::move(next));
    // Every refresh ends here, so a rule's folder deleted or made while a window shows
    // it is noticed within one tick.
    std::set<std::string> missing;
    for (const FolderRule& rule : document_.rules) {
        const std::string folder = rule.folderPath();
        if (!PathUtil::isDirectory(PathUtil::expandTilde(folder, paths_.home))) {
            missing.insert(folder);
        }
    }
    notices_.assign(ModelField::missingFolders, missingFolders_, std::move(missing));
}

struct AppModel::StatusRun {
    std::vector<Profile> profiles;
    std::vector<std::shared_ptr<ToolAdapter>> adapters;
    std::size_t profile = 0;
    std::size_t adapter = 0;
    StatusMap next;
    std::uint64_t startedAt = 0; // statusWrites_ when it began
    std::uint64_t pathGeneration = 0;
    std::vector<Done> done;
};

void AppModel::refreshStatuses(Done done) {
    if (refreshing_) {
        // One refresh at a time: a second call returns at once.
        if (done) {
            services_.scheduler->post(std::move(done));
        }
        return;
    }
    notices_.assign(ModelField::refreshing, refreshing_, true);
    std::vector<Done> dones;
    if (done) {
        dones.push_back(std::move(done));
    }
    startStatusRun(std::move(dones));
}

void AppModel::startStatusRun(std::vector<Done> dones) {
    auto run = std::make_shared<StatusRun>();
    run->profiles = document_.profiles;
    for (auto& one : adapters()) {
        run->adapters.push_back(std::move(one));
    }
    run->startedAt = statusWrites_;
    run->pathGeneration = pathGeneration_;
    run->done = std::move(dones);
    runNextStatus(run);
}

void AppModel::runNextStatus(const std::shared_ptr<StatusRun>& run) {
    // The next (profile, adapter) pair the profile uses.
    while (run->profile < run->profiles.size()) {
        if (run->adapter >= run->adapters.size()) {
            ++run->profile;
            run->adapter = 0;
            continue;
        }
        const auto& candidate = run->adapters[run->adapter];
        if (run->profiles[run->profile].uses(candidate->kind())) {
            break;
        }
        ++run->adapter;
    }
    if (run->profile >= run->profiles.size()) {
        finishStatuses(run);
        return;
    }
    auto tool = run->adapters[run->adapter];
    const Profile profile = run->profiles[run->profile];
    services_.scheduler->background([tool, profile] { return tool->status(profile); },
                                    weakly([run, id = profile.id, kind = tool->kind()](
                                               AppModel& m, JobResult<ToolStatus> result) {
                                        run->next[id][kind] =
                                            result.ok() ? std::move(*result.value)
                                                        : ToolStatus::needsAttention(result.error);
                                        ++run->adapter;
                                        m.runNextStatus(run);
                                    }));
}

struct AppModel::NewStatuses {
    std::vector<std::pair<Profile, std::shared_ptr<ToolAdapter>>> pending;
    std::size_t next = 0;
};

void AppModel::checkNewProfiles(const std::vector<ProfileID>& ids) {
    auto run = std::make_shared<NewStatuses>();
    for (const ProfileID& id : ids) {
        const Profile* profile = document_.profile(id);
        if (profile == nullptr) {
            continue;
        }
        for (auto& tool : adapters()) {
            if (profile->uses(tool->kind())) {
                run->pending.emplace_back(*profile, std::move(tool));
            }
        }
    }
    checkNextNew(run);
}

void AppModel::checkNextNew(const std::shared_ptr<NewStatuses>& run) {
    if (run->next >= run->pending.size()) {
        return;
    }
    // Named copies, not a structured binding: lambdas capture them (clang 14 cannot).
    auto profile = run->pending[run->next].first;
    auto tool = run->pending[run->next].second;
    ++run->next;
    services_.scheduler->background(
        [tool, profile] { return tool->status(profile); },
        weakly([run, id = profile.id, kind = tool->kind()](AppModel& m,
                                                           JobResult<ToolStatus> result) {
            // Deleted or changed meanwhile: the entry would be stale or the refresh's.
            if (const Profile* now = m.document_.profile(id); now != nullptr && now->uses(kind)) {
                m.storeStatus(id, kind,
                              result.ok() ? std::move(*result.value)
                                          : ToolStatus::needsAttention(result.error));
            }
            m.checkNextNew(run);
        }));
}

void AppModel::finishStatuses(const std::shared_ptr<StatusRun>& run) {
    // Only the profiles the document has now, each with the tools it uses now; an entry
    // a poll stored after this run began is newer than the run's own.
    StatusMap next;
    for (const Profile& profile : document_.profiles) {
        for (ToolKind kind : allToolKinds) {
            if (!profile.uses(kind)) {
                continue;
            }
            const auto stored = storedAt_.find({profile.id, kind});
            const auto current = status(profile, kind);
            if (stored != storedAt_.end() && stored->second > run->startedAt && current) {
                next[profile.id][kind] = *current;
            } else if (auto found = run->next.find(profile.id); found != run->next.end()) {
                if (auto inner = found->second.find(kind); inner != found->second.end()) {
                    next[profile.id][kind] = inner->second;
                }
            }
        }
    }
    notices_.assign(ModelField::statuses, statuses_, std::move(next));
    refreshRunning();
    refreshUsage(weakly([run](AppModel& m) {
        if (m.pathGeneration_ != run->pathGeneration) {
            // PATH changed while it ran: the tools it asked may now be found elsewhere.
            // One more run, still refreshing, with the same callers waiting.
            m.startStatusRun(std::move(run->done));
            return;
        }
        m.notices_.assign(ModelField::refreshing, m.refreshing_, false);
        const auto dones = std::move(run->done);
        for (const auto& d : dones) {
            d();
        }
    }));
}

void AppModel::refreshUsage(Done done) {
    auto provider =
        std::make_shared<LocalLogUsageProvider>(paths_, context_.environment, usageCache_);
    const std::vector<Profile> profiles = document_.profiles;
    const auto now = services_.scheduler->clock().wallNow();
    services_.scheduler->background(
        [provider, profiles, now] {
            UsageMap totals;
            for (const Profile& profile : profiles) {
                for (ToolKind tool : {ToolKind::claudeCode, ToolKind::codex}) {
                    if (!profile.uses(tool)) {
                        continue;
                    }
                    auto summaries = provider->activities(profile, tool, usageWindows, now);
                    if (summaries.size() == 2) {
                        totals[profile.id][tool] = UsageWindows{summaries[0], summaries[1]};
                    }
                }
            }
            return totals;
        },
        weakly([done = std::move(done)](AppModel& m, JobResult<UsageMap> result) {
            if (result.ok()) {
                m.notices_.assignAlways(ModelField::usage, m.usage_, std::move(*result.value));
            }
            if (done) {
                done();
            }
        }));
}

void AppModel::showToast(const std::string& message) {
    notices_.assign(ModelField::toast, toast_, std::optional(message));
    // The old task goes first, so it can never clear the new message.
    toastTask_ = services_.scheduler->postAfter(toastDuration, weakly([](AppModel& m) {
                                                    m.notices_.assign(ModelField::toast, m.toast_,
                                                                      std::nullopt);
                                                    m.toastTask_ = {};
                                                    m.notices_.notify(ModelField::toastTask);
                                                }));
    notices_.notify(ModelField::toastTask);
}

void AppModel::discoverSearchPath(Done done) {
    DesktopLocator::recordCodexAppLocation(paths_, *workspace());
    ShellIntegration(paths_, context_.environment)
        .refreshBinariesIfStale(bundledBinary("twinlantern-resolve"), bundledBinary("twinlantern"),
                                bundledBinary("twinlantern-launcher"));
    ShellIntegration(paths_, context_.environment).recordAppLocation(services_.bundlePath());
    services_.scheduler->background(
        [environment = services_.environment, home = paths_.home] {
            return LoginShellEnvironment::path(environment, home, loginShellTimeout);
        },
        weakly([done = std::move(done)](AppModel& m, JobResult<std::string> result) {
            if (result.ok()) {
                m.replacePath(*result.value);
            }
            m.refreshStatuses(done);
        }));
}

} // namespace twinlantern::app
