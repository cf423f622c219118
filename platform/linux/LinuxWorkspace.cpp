#include "platform/linux/LinuxWorkspace.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/base/UniqueFd.h"
#include "core/tools/BinaryLocator.h"
#include "core/tools/DesktopInstall.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <map>
#include <thread>

namespace twinlantern::platform {

namespace {

constexpr std::string_view macOSFolder = "/Contents/MacOS/";
constexpr std::string_view deletedSuffix = " (deleted)";

struct BundleInfo {
    std::string identifier;
    std::string executable;
};

std::optional<BundleInfo> readBundleInfo(const std::string& bundle) {
    auto info = DesktopInstall::readBundleInfo(bundle);
    if (!info || !info->identifier || !info->executable) {
        return std::nullopt;
    }
    return BundleInfo{std::move(*info->identifier), std::move(*info->executable)};
}

bool isPlainName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// An executable path split into its bundle and file name when it lies at
// <X>.app/Contents/MacOS/<name>.
std::optional<std::pair<std::string, std::string>> splitBundleExecutable(std::string_view exe) {
    if (exe.ends_with(deletedSuffix)) {
        exe.remove_suffix(deletedSuffix.size()); // replaced by an update while running
    }
    const std::size_t at = exe.rfind(macOSFolder);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view bundle = exe.substr(0, at);
    const std::string_view name = exe.substr(at + macOSFolder.size());
    if (!bundle.ends_with(".app") || !isPlainName(name)) {
        return std::nullopt;
    }
    return std::pair{std::string(bundle), std::string(name)};
}

std::optional<std::string> readLinkAt(int dirFd, const char* path) {
    char target[PATH_MAX];
    const ssize_t n = ::readlinkat(dirFd, path, target, sizeof target);
    if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) {
        return std::nullopt;
    }
    return std::string(target, static_cast<std::size_t>(n));
}

// Electron starts its renderers and helpers from the same executable with "--type=".
bool isHelperProcess(int procFd, const std::string& pidName) {
    UniqueFd fd(::openat(procFd, (pidName + "/cmdline").c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return true; // gone or unreadable: not an instance we can name
    }
    std::string cmdline;
    char buffer[4096];
    for (;;) {
        const ssize_t got = readUpTo(fd.get(), buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        cmdline.append(buffer, static_cast<std::size_t>(got));
        if (cmdline.size() > (1u << 20)) {
            break;
        }
    }
    std::size_t start = 0;
    while (start < cmdline.size()) {
        std::size_t end = cmdline.find('\0', start);
        if (end == std::string::npos) {
            end = cmdline.size();
        }
        if (std::string_view(cmdline).substr(start, end - start).starts_with("--type=")) {
            return true;
        }
        start = end + 1;
    }
    return false;
}

// The process state letter from /proc/<pid>/stat; 0 when it can't be read.
char processState(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/stat";
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        return 0;
    }
    char buffer[512];
    const ssize_t got = readUpTo(fd.get(), buffer, sizeof buffer - 1);
    if (got <= 0) {
        return 0;
    }
    const std::string_view stat(buffer, static_cast<std::size_t>(got));
    const std::size_t close = stat.rfind(')'); // the name may hold ")" itself
    if (close == std::string_view::npos || close + 2 >= stat.size()) {
        return 0;
    }
    return stat[close + 2];
}

bool isZombieState(char state) {
    return state == 'Z' || state == 'X';
}

class Matcher {
public:
    // Knows the bundles in the applications folders (of that id, when one is given) by
    // the file their executable ends in once links are resolved: a bundle's program is
    // often a link to the real one elsewhere, and /proc names only the real one.
    Matcher(int procFd, const Paths& paths, std::optional<std::string_view> bundleID)
        : procFd_(procFd), bundleID_(bundleID) {
        for (const std::string& bundle : DesktopInstall::bundles(paths)) {
            auto info = readBundleInfo(bundle);
            if (!info || !isPlainName(info->executable) ||
                (bundleID && info->identifier != *bundleID)) {
                continue;
            }
            std::string executable = bundle + "/Contents/MacOS/" + info->executable;
            auto real = PathUtil::realPath(executable);
            struct stat st {};
            if (real && ::stat(real->c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
                byRealPath_.try_emplace(std::move(*real),
                                        Known{std::move(info->identifier), std::move(executable),
                                              st.st_dev, st.st_ino});
            }
        }
    }

    // The application pid runs, when it is the main process of a bundle (of that id, when
    // one is given).
    std::optional<RunningApplication> match(pid_t pid) {
        const std::string name = std::to_string(pid);
        const std::string exePath = name + "/exe";
        // One readlink per process keeps a scan of hundreds of them within a few ms;
        // the file is compared only for those whose path matches.
        const auto exe = readLinkAt(procFd_, exePath.c_str());
        if (!exe) {
            return std::nullopt;
        }
        std::string_view real = *exe;
        const bool replaced = real.ends_with(deletedSuffix); // updated while running
        if (replaced) {
            real.remove_suffix(deletedSuffix.size());
        }
        if (const auto known = byRealPath_.find(real); known != byRealPath_.end()) {
            struct stat st {};
            const bool same =
                replaced || (::fstatat(procFd_, exePath.c_str(), &st, 0) == 0 &&
                             st.st_dev == known->second.device && st.st_ino == known->second.inode);
            if (!same || isHelperProcess(procFd_, name)) {
                return std::nullopt;
            }
            return RunningApplication{pid, known->second.identifier, known->second.executable};
        }
        // A bundle outside the applications folders.
        const auto split = splitBundleExecutable(*exe);
        if (!split) {
            return std::nullopt;
        }
        auto [it, fresh] = bundles_.try_emplace(split->first);
        if (fresh) {
            it->second = readBundleInfo(split->first);
        }
        const auto& info = it->second;
        if (!info || info->executable != split->second ||
            (bundleID_ && info->identifier != *bundleID_) || isHelperProcess(procFd_, name)) {
            return std::nullopt;
        }
        return RunningApplication{pid, info->identifier,
                                  split->first + "/Contents/MacOS/" + split->second};
    }

private:
    struct Known {
        std::string identifier;
        std::string executable; // as the bundle names it
        dev_t device;
        ino_t inode;
    };

    int procFd_;
    std::optional<std::string_view> bundleID_;
    std::map<std::string, Known, std::less<>> byRealPath_;
    std::map<std::string, std::optional<BundleInfo>, std::less<>> bundles_;
};

UniqueFd openProc() {
    return UniqueFd(::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

std::vector<pid_t> allPids(int procFd) {
    std::vector<pid_t> pids;
    UniqueFd copy(::fcntl(procFd, F_DUPFD_CLOEXEC, 0));
    const UniqueDir dir(copy ? ::fdopendir(copy.get()) : nullptr);
    if (!dir) {
        return pids;
    }
    copy.release(); // the stream owns it now
    while (const dirent* entry = ::readdir(dir.get())) {
        const char* n = entry->d_name;
        if (*n < '1' || *n > '9') {
            continue;
        }
        long value = 0;
        for (; *n >= '0' && *n <= '9' && value < INT_MAX / 10; ++n) {
            value = value * 10 + (*n - '0');
        }
        if (*n == '\0') {
            pids.push_back(static_cast<pid_t>(value));
        }
    }
    std::sort(pids.begin(), pids.end());
    return pids;
}

struct SpawnActions {
    posix_spawn_file_actions_t actions;
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

struct SpawnAttributes {
    posix_spawnattr_t attributes;
    SpawnAttributes() { posix_spawnattr_init(&attributes); }
    ~SpawnAttributes() { posix_spawnattr_destroy(&attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
};

long pidfdOpen(pid_t pid) {
    return ::syscall(SYS_pidfd_open, pid, 0);
}

// Starts a program in its own session with /dev/null for its standard streams and a
// waiter of its own, so it never lingers as a zombie and no one else's child is taken
// (waitpid(-1) would steal the process runner's). 0, or the errno of a failed exec:
// glibc's posix_spawn reports the child's exec failure to the caller.
int spawnDetached(const std::string& program, std::vector<std::string> argvStrings,
                  const Environment& environment, pid_t& pid) {
    std::vector<char*> argv;
    for (std::string& s : argvStrings) {
        argv.push_back(s.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (const auto& [name, value] : environment) {
        envStrings.push_back(name + "=" + value);
    }
    std::vector<char*> envp;
    for (std::string& s : envStrings) {
        envp.push_back(s.data());
    }
    envp.push_back(nullptr);

    SpawnActions actions;
    posix_spawn_file_actions_addopen(&actions.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions.actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions.actions, "/");
    posix_spawn_file_actions_addclosefrom_np(&actions.actions, 3);
    SpawnAttributes attributes;
    sigset_t all;
    sigfillset(&all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes.attributes, &all);
    posix_spawnattr_setsigmask(&attributes.attributes, &none);
    posix_spawnattr_setflags(&attributes.attributes,
                             POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int err = ::posix_spawn(&pid, program.c_str(), &actions.actions, &attributes.attributes,
                                  argv.data(), envp.data());
    if (err != 0) {
        return err;
    }
    std::thread([child = pid] {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
    return 0;
}

// A program name as execvp finds it, but on the given PATH: a name with a slash is
// taken as it stands; otherwise the first executable in PATH's full folders.
std::optional<std::string> findProgram(const std::string& name, std::string_view searchPath) {
    if (name.find('/') != std::string::npos) {
        return name;
    }
    return BinaryLocator(std::string(searchPath), {}).find(name);
}

} // namespace

std::unique_ptr<Workspace> makeWorkspace(const Paths& paths, const Environment& environment) {
    return std::make_unique<LinuxWorkspace>(paths, environment);
}

std::optional<std::string> LinuxWorkspace::bundleExecutable(const std::string& bundlePath) {
    const auto info = readBundleInfo(bundlePath);
    if (!info || !isPlainName(info->executable)) {
        return std::nullopt;
    }
    return bundlePath + "/Contents/MacOS/" + info->executable;
}

std::optional<std::string> LinuxWorkspace::applicationLocation(std::string_view bundleID) const {
    auto install = DesktopInstall::locate(paths_, bundleID);
    if (!install) {
        return std::nullopt;
    }
    return std::move(install->path);
}

std::vector<RunningApplication>
LinuxWorkspace::runningApplications(std::string_view bundleID) const {
    std::vector<RunningApplication> found;
    const UniqueFd proc = openProc();
    if (!proc) {
        return found;
    }
    Matcher matcher(proc.get(), paths_, bundleID);
    for (pid_t pid : allPids(proc.get())) {
        if (auto app = matcher.match(pid)) {
            found.push_back(std::move(*app));
        }
    }
    return found;
}

std::optional<RunningApplication> LinuxWorkspace::application(pid_t pid) const {
    if (pid <= 0) {
        return std::nullopt;
    }
    const UniqueFd proc = openProc();
    if (!proc) {
        return std::nullopt;
    }
    return Matcher(proc.get(), paths_, std::nullopt).match(pid);
}

pid_t LinuxWorkspace::open(const std::string& bundlePath, const std::vector<std::string>& arguments,
                           const Environment& environment) {
    const auto executable = bundleExecutable(bundlePath);
    if (!executable) {
        throw TwinLanternError::io("Couldn't start " + bundlePath +
                                   ": its Info.plist names no executable");
    }
    std::vector<std::string> argv{*executable};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    pid_t pid = 0;
    if (const int err = spawnDetached(*executable, argv, environment, pid); err != 0) {
        throw TwinLanternError::ioErrno("start " + *executable, err);
    }
    return pid;
}

bool LinuxWorkspace::openInTerminal(const std::string& scriptPath) {
    const auto chosen = environment_.find("TERMINAL");
    const std::string name = chosen != environment_.end() && !chosen->second.empty()
                                 ? chosen->second
                                 : std::string("x-terminal-emulator");
    const auto pathVariable = environment_.find("PATH");
    const auto program =
        findProgram(name, pathVariable == environment_.end() ? "" : pathVariable->second);
    if (!program) {
        return false;
    }
    pid_t pid = 0;
    return spawnDetached(*program, {*program, "-e", scriptPath}, environment_, pid) == 0;
}

bool LinuxWorkspace::revealFolder(const std::string& folder) {
    const auto pathVariable = environment_.find("PATH");
    const auto program =
        findProgram("xdg-open", pathVariable == environment_.end() ? "" : pathVariable->second);
    if (!program) {
        return false;
    }
    pid_t pid = 0;
    return spawnDetached(*program, {*program, folder}, environment_, pid) == 0;
}

void LinuxWorkspace::activate(const RunningApplication& application) {
    const auto display = environment_.find("DISPLAY");
    if (display == environment_.end() || display->second.empty()) {
        return;
    }
    activateX11WindowOf(application.pid, display->second);
}

bool LinuxWorkspace::terminate(const RunningApplication& application) {
    // The descriptor pins the process: once it is open, a check that the pid still runs
    // the app holds for the signal too, and a recycled pid is never signalled.
    const long raw = pidfdOpen(application.pid);
    if (raw < 0) {
        return false;
    }
    const UniqueFd pidfd(static_cast<int>(raw));
    const auto now = this->application(application.pid);
    if (!now || now->executable != application.executable || !isAlive(application.pid)) {
        return false;
    }
    return ::syscall(SYS_pidfd_send_signal, pidfd.get(), SIGTERM, nullptr, 0) == 0;
}

bool LinuxWorkspace::isTerminated(pid_t pid) const {
    const char state = processState(pid);
    return state == 0 || isZombieState(state);
}

bool LinuxWorkspace::isAlive(pid_t pid) const {
    if (pid <= 0) {
        return false;
    }
    if (::kill(pid, 0) != 0 && errno != EPERM) {
        return false;
    }
    return !isZombieState(processState(pid)); // a zombie answers the null signal
}

} // namespace twinlantern::platform
