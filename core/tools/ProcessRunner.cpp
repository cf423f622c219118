#include "core/tools/ProcessRunner.h"

#include "core/base/EnvironmentBlock.h"
#include "core/base/Text.h"
#include "core/base/UniqueFd.h"
#include "core/base/Utf8Replacing.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>

namespace twinlantern {

std::string ProcessResult::combinedOutput() const {
    if (stderrText.empty()) {
        return stdoutText;
    }
    return stdoutText + "\n" + stderrText;
}

namespace {

using ProcessRunner::outputLimit;
using Clock = std::chrono::steady_clock;

constexpr auto terminateGrace = std::chrono::seconds(2);
// After SIGKILL: how long a descendant holding the pipes may keep us waiting.
constexpr auto closeGrace = std::chrono::seconds(1);
// Without a pidfd, how often the child's exit is checked.
constexpr int exitCheckMilliseconds = 10;

// The children being run, for endAll: registered when spawned, forgotten just before
// they are reaped, so a pid found here is never someone else's.
struct LiveChildren {
    std::mutex mutex;
    std::map<pid_t, bool> children; // pid, whether it leads its own group
    bool ended = false;
};

LiveChildren& liveChildren() {
    static LiveChildren live;
    return live;
}

// Every process's parent, from /proc/<pid>/stat ("pid (comm) state ppid …").
std::multimap<pid_t, pid_t> processesByParent() {
    std::multimap<pid_t, pid_t> byParent;
    const UniqueDir proc(::opendir("/proc"));
    if (!proc) {
        return byParent;
    }
    while (const dirent* entry = ::readdir(proc.get())) {
        char* end = nullptr;
        const long pid = std::strtol(entry->d_name, &end, 10);
        if (pid <= 0 || *end != '\0') {
            continue;
        }
        const std::string path = std::string("/proc/") + entry->d_name + "/stat";
        const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        std::array<char, 512> buffer{};
        const ssize_t got = fd ? ::read(fd.get(), buffer.data(), buffer.size() - 1) : -1;
        if (got <= 0) {
            continue;
        }
        const std::string_view stat(buffer.data(), static_cast<std::size_t>(got));
        const std::size_t close = stat.rfind(')'); // the name may hold ") "
        if (close == std::string_view::npos || close + 4 >= stat.size()) {
            continue;
        }
        const long parent = std::strtol(buffer.data() + close + 4, nullptr, 10);
        byParent.emplace(static_cast<pid_t>(parent), static_cast<pid_t>(pid));
    }
    return byParent;
}

void forget(pid_t pid) {
    LiveChildren& live = liveChildren();
    const std::lock_guard lock(live.mutex);
    live.children.erase(pid);
}

// A started child, always reaped before it goes away.
class Child {
public:
    Child(pid_t pid, bool group) : pid_(pid), group_(group) {
#ifdef SYS_pidfd_open
        // Close-on-exec from the start.
        pidfd_.reset(static_cast<int>(::syscall(SYS_pidfd_open, pid, 0)));
#endif
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;
    // Only reached unreaped when the run was cut short; never leave a zombie.
    ~Child() {
        signal(SIGKILL);
        reap();
    }

    int pidfd() const {
        return pidfd_.get();
    }

    // Whether the child has exited; it stays a zombie, so its pid can't be reused
    // under us and signals to it are always safe.
    bool exited() {
        if (status_) {
            return true;
        }
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
            if (errno != EINTR) {
                return false;
            }
        }
        return info.si_pid == pid_;
    }

    // To the child, or to its whole group. Until it is reaped the child (a zombie
    // at worst) keeps its pid and so its group's id from being reused.
    void signal(int number) {
        if (!status_) {
            ::kill(group_ ? -pid_ : pid_, number);
        }
    }

    // Blocks until the child has exited; its exit status or the signal's number.
    std::int32_t reap() {
        if (!status_) {
            forget(pid_);
            int raw = 0;
            pid_t r;
            do {
                r = ::waitpid(pid_, &raw, 0);
            } while (r < 0 && errno == EINTR);
            if (r < 0) {
                status_ = -1;
            } else if (WIFSIGNALED(raw)) {
                status_ = WTERMSIG(raw);
            } else {
                status_ = WEXITSTATUS(raw);
            }
        }
        return *status_;
    }

private:
    pid_t pid_;
    bool group_;
    UniqueFd pidfd_;
    std::optional<std::int32_t> status_;
};

// One output pipe: the first `outputLimit` bytes are kept, the rest is read and
// dropped so the child never blocks on a full pipe.
struct Stream {
    UniqueFd fd;
    std::string bytes;
    bool cut = false;

    void keep(const char* data, std::size_t size) {
        const std::size_t room = outputLimit - bytes.size();
        if (size > room) {
            cut = true;
            size = room;
        }
        if (bytes.size() + size > bytes.capacity() && bytes.capacity() > outputLimit / 2) {
            bytes.reserve(outputLimit); // growth by doubling would pass the limit
        }
        bytes.append(data, size);
    }
};

// Where a stream was cut, a sequence broken by the cut is dropped rather than
// shown as a replacement character.
std::string_view withoutBrokenEnd(std::string_view bytes) {
    const std::size_t size = bytes.size();
    for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data() + size - back);
        if ((*p & 0xC0) == 0x80) {
            continue; // a continuation byte: look further back for its lead
        }
        const int length = text::utf8Sequence(p, back);
        if (*p >= 0xC2 && *p <= 0xF4 && length == -static_cast<int>(back)) {
            return bytes.substr(0, size - back);
        }
        break;
    }
    return bytes;
}

std::string decoded(const Stream& stream) {
    return utf8Replacing(stream.cut ? withoutBrokenEnd(stream.bytes) : stream.bytes);
}

// Reads both streams and watches the child until both streams end and the child
// has exited, or until the deadline. True when everything finished in time.
bool drainUntil(Clock::time_point deadline, Child& child, std::array<Stream, 2>& streams) {
    std::array<char, 65536> buffer{};
    for (;;) {
        bool exited = child.exited();
        bool open = streams[0].fd.valid() || streams[1].fd.valid();
        if (exited && !open) {
            return true;
        }
        auto now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
        int wait = static_cast<int>(std::min<long long>(left, 60'000));

        std::array<pollfd, 3> fds{};
        nfds_t count = 0;
        std::array<Stream*, 2> polled{};
        for (auto& stream : streams) {
            if (stream.fd.valid()) {
                polled[count] = &stream;
                fds[count++] = {stream.fd.get(), POLLIN, 0};
            }
        }
        if (!exited) {
            if (child.pidfd() >= 0) {
                fds[count++] = {child.pidfd(), POLLIN, 0};
            } else {
                wait = std::min(wait, exitCheckMilliseconds);
            }
        }
        int ready = ::poll(fds.data(), count, wait);
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            // Nothing sensible left to poll; let the deadline decide.
            ::usleep(exitCheckMilliseconds * 1000);
            continue;
        }
        for (nfds_t k = 0; k < count; ++k) {
            if (k >= 2 || polled[k] == nullptr || fds[k].revents == 0) {
                continue;
            }
            Stream& stream = *polled[k];
            ssize_t got = ::read(stream.fd.get(), buffer.data(), buffer.size());
            if (got > 0) {
                stream.keep(buffer.data(), static_cast<std::size_t>(got));
            } else if (got == 0 || (errno != EINTR && errno != EAGAIN)) {
                stream.fd.reset();
            }
        }
    }
}

std::optional<std::array<UniqueFd, 2>> makePipe() {
    std::array<int, 2> ends{};
    if (::pipe2(ends.data(), O_CLOEXEC) != 0) {
        return std::nullopt;
    }
    return std::array<UniqueFd, 2>{UniqueFd(ends[0]), UniqueFd(ends[1])};
}

ProcessResult launchFailure(const std::string& executable, int err) {
    ProcessResult result;
    result.exitCode = 127;
    result.stderrText = "Couldn't run " + executable + ": " + std::strerror(err);
    return result;
}

// posix_spawn's C structures, destroyed on every path.
struct SpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;
};

} // namespace

ProcessResult ProcessRunner::runSync(const std::string& executable,
                                     const std::vector<std::string>& arguments,
                                     const Environment& environment, double timeoutSeconds) {
    return runSync(executable, arguments, environment, timeoutSeconds, ProcessOptions{});
}

ProcessResult ProcessRunner::runSync(const std::string& executable,
                                     const std::vector<std::string>& arguments,
                                     const Environment& environment, double timeoutSeconds,
                                     const ProcessOptions& options) {
    auto outPipe = makePipe();
    auto errPipe = makePipe();
    if (!outPipe || !errPipe) {
        return launchFailure(executable, errno);
    }

    SpawnSetup setup;
    // Pipes are O_CLOEXEC, and the child also closes everything above 2, so a
    // run on another thread never holds our pipe ends open.
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, (*outPipe)[1].get(), 1);
    posix_spawn_file_actions_adddup2(&setup.actions, (*errPipe)[1].get(), 2);
    posix_spawn_file_actions_addclosefrom_np(&setup.actions, 3);
    sigset_t signals;
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&setup.attributes, &signals);
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&setup.attributes, &signals);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (options.ownSession) {
        flags |= POSIX_SPAWN_SETSID;
    }
    posix_spawnattr_setflags(&setup.attributes, flags);

    std::vector<std::string> argStrings;
    argStrings.reserve(arguments.size() + 1);
    argStrings.push_back(executable);
    argStrings.insert(argStrings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argStrings) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const EnvironmentBlock envp(environment);

    pid_t pid = 0;
    {
        // Spawned and registered in one step, so endAll never misses a child.
        LiveChildren& live = liveChildren();
        const std::lock_guard lock(live.mutex);
        if (live.ended) {
            return launchFailure(executable, ECANCELED);
        }
        const int err = ::posix_spawn(&pid, executable.c_str(), &setup.actions, &setup.attributes,
                                      argv.data(), envp.data());
        if (err != 0) {
            return launchFailure(executable, err);
        }
        live.children.emplace(pid, options.ownSession);
    }
    Child child(pid, options.ownSession);
    (*outPipe)[1].reset();
    (*errPipe)[1].reset();
    std::array<Stream, 2> streams{Stream{std::move((*outPipe)[0]), {}},
                                  Stream{std::move((*errPipe)[0]), {}}};

    ProcessResult result;
    double seconds = std::isfinite(timeoutSeconds) ? std::clamp(timeoutSeconds, 0.0, 1e7) : 1e7;
    auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                       std::chrono::duration<double>(seconds));
    if (!drainUntil(deadline, child, streams)) {
        result.timedOut = true;
        child.signal(SIGTERM);
        if (!drainUntil(Clock::now() + terminateGrace, child, streams)) {
            child.signal(SIGKILL);
            // A descendant may hold the pipes open for ever; give up on them.
            drainUntil(Clock::now() + closeGrace, child, streams);
        }
    }
    if (options.ownSession) {
        // Members that ignored SIGTERM, or were left running in the background.
        child.signal(SIGKILL);
    }
    streams[0].fd.reset();
    streams[1].fd.reset();
    result.exitCode = child.reap();
    result.stdoutText = decoded(streams[0]);
    result.stderrText = decoded(streams[1]);
    result.outputCut = streams[0].cut || streams[1].cut;
    return result;
}

void ProcessRunner::endAll() {
    LiveChildren& live = liveChildren();
    const std::lock_guard lock(live.mutex);
    live.ended = true;
    if (live.children.empty()) {
        return;
    }
    // Descendants first, found while their parents still hold them.
    const auto byParent = processesByParent();
    std::vector<pid_t> descendants;
    std::vector<pid_t> parents;
    for (const auto& [pid, group] : live.children) {
        parents.push_back(pid);
    }
    while (!parents.empty()) {
        const pid_t parent = parents.back();
        parents.pop_back();
        for (auto [it, end] = byParent.equal_range(parent); it != end; ++it) {
            descendants.push_back(it->second);
            parents.push_back(it->second);
        }
    }
    for (const pid_t pid : descendants) {
        ::kill(pid, SIGKILL);
    }
    for (const auto& [pid, group] : live.children) {
        ::kill(group ? -pid : pid, SIGKILL);
    }
}

std::future<ProcessResult> ProcessRunner::run(std::string executable,
                                              std::vector<std::string> arguments,
                                              Environment environment, double timeoutSeconds) {
    auto work = [=] {
        return runSync(executable, arguments, environment, timeoutSeconds);
    };
    try {
        return std::async(std::launch::async, work);
    } catch (const std::system_error&) {
        // No thread to be had: run here rather than fail.
        std::promise<ProcessResult> done;
        done.set_value(work());
        return done.get_future();
    }
}

Environment ProcessRunner::baseEnvironment(const Environment& environment) {
    static const char* const names[] = {
        "HOME",
        "USER",
        "LOGNAME",
        "PATH",
        "SHELL",
        "TMPDIR",
        "LANG",
        "LC_ALL",
        "LC_CTYPE",
        "TERM",
        "__CF_USER_TEXT_ENCODING",
        "SSH_AUTH_SOCK",
        "NODE_EXTRA_CA_CERTS",
        "HTTPS_PROXY",
        "HTTP_PROXY",
        "NO_PROXY",
        "https_proxy",
        "http_proxy",
        "no_proxy",
#ifdef __linux__
        // The Secret Service is on the session bus, found through one of these; without
        // them a tool that keeps its login in the keyring can't read it.
        "DBUS_SESSION_BUS_ADDRESS",
        "XDG_RUNTIME_DIR",
#endif
    };
    Environment result;
    for (const char* name : names) {
        if (auto it = environment.find(name); it != environment.end()) {
            result.insert(*it);
        }
    }
    return result;
}

} // namespace twinlantern
