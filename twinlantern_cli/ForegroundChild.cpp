#include "twinlantern_cli/ForegroundChild.h"

#include "core/base/TwinLanternError.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

namespace twinlantern::cli {

ForegroundChild::ForegroundChild(const std::string& executable,
                                 const std::vector<std::string>& arguments,
                                 const Environment& environment) {
    std::vector<std::string> argv{executable};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> entries;
    for (const auto& [name, value] : environment) {
        entries.push_back(name + "=" + value);
    }
    std::vector<char*> cArgs, cEnv;
    for (auto& a : argv) {
        cArgs.push_back(a.data());
    }
    cArgs.push_back(nullptr);
    for (auto& e : entries) {
        cEnv.push_back(e.data());
    }
    cEnv.push_back(nullptr);

    // The child gets the default interrupt and quit handling back, which we ignore.
    struct SpawnAttributes {
        posix_spawnattr_t value;
        SpawnAttributes() { ::posix_spawnattr_init(&value); }
        ~SpawnAttributes() { ::posix_spawnattr_destroy(&value); }
        SpawnAttributes(const SpawnAttributes&) = delete;
        SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    } attributes;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGQUIT);
    ::posix_spawnattr_setsigdefault(&attributes.value, &defaults);
    ::posix_spawnattr_setflags(&attributes.value, POSIX_SPAWN_SETSIGDEF);

    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ::sigaction(SIGINT, &ignore, &savedInterrupt_);
    ::sigaction(SIGQUIT, &ignore, &savedQuit_);
    ignoring_ = true;

    const int error = ::posix_spawn(&pid_, executable.c_str(), nullptr, &attributes.value,
                                    cArgs.data(), cEnv.data());
    if (error != 0) {
        pid_ = -1;
        restoreSignals();
        throw TwinLanternError::ioErrno("run " + executable, error);
    }
}

int ForegroundChild::wait() {
    int status = 0;
    pid_t got = -1;
    do {
        got = ::waitpid(pid_, &status, 0);
    } while (got < 0 && errno == EINTR);
    pid_ = -1;
    restoreSignals();
    if (got < 0) {
        return 127;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void ForegroundChild::restoreSignals() {
    if (ignoring_) {
        ::sigaction(SIGINT, &savedInterrupt_, nullptr);
        ::sigaction(SIGQUIT, &savedQuit_, nullptr);
        ignoring_ = false;
    }
}

ForegroundChild::~ForegroundChild() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        (void)wait();
    }
    restoreSignals();
}

} // namespace twinlantern::cli
