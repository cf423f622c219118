#include "tests/support/OtherUser.h"

#include "tests/support/Programs.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace twinlantern::testing {
namespace {

constexpr const char* kUseradd = "/usr/sbin/useradd";
constexpr const char* kUserdel = "/usr/sbin/userdel";

Environment toolEnvironment() {
    return {{"PATH", "/usr/sbin:/usr/bin:/sbin:/bin"}};
}

// useradd and userdel lock /etc/passwd; tests running in parallel take turns.
RunResult withRetries(const std::vector<std::string>& argv) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    for (;;) {
        RunResult r = runProgram(argv[0], argv, toolEnvironment());
        if (r.exitCode == 0 || std::chrono::steady_clock::now() > deadline ||
            r.err.find("lock") == std::string::npos) {
            return r;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace

OtherUser::OtherUser() {
    if (::geteuid() != 0) {
        skipReason_ = "needs root to make a second user account";
        return;
    }
    if (::access(kUseradd, X_OK) != 0) {
        skipReason_ = "needs useradd to make a second user account";
        return;
    }
    static std::atomic<int> counter{0};
    name_ = "tl" + std::to_string(::getpid()) + "x" + std::to_string(counter++);
    RunResult made = withRetries({kUseradd, "--no-create-home", "--user-group", "--shell",
                                  "/usr/sbin/nologin", "--system", name_});
    if (made.exitCode != 0) {
        skipReason_ = "useradd failed: " + made.err;
        return;
    }
    struct passwd* pw = ::getpwnam(name_.c_str());
    if (pw == nullptr || pw->pw_uid == 0) {
        skipReason_ = "the new account cannot be found";
        withRetries({kUserdel, name_});
        return;
    }
    uid_ = pw->pw_uid;
    gid_ = pw->pw_gid;
}

OtherUser::~OtherUser() {
    if (available()) {
        withRetries({kUserdel, name_});
    }
}

int OtherUser::run(const std::function<int()>& fn) const {
    pid_t pid = ::fork();
    if (pid < 0) {
        return -1;
    }
    if (pid == 0) {
        gid_t groups[] = {gid_};
        if (::setgroups(1, groups) != 0 || ::setgid(gid_) != 0 || ::setuid(uid_) != 0) {
            ::_exit(125);
        }
        int rc = 126;
        try {
            rc = fn();
        } catch (...) {
        }
        ::_exit(rc);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    if (WIFSIGNALED(status)) {
        return 128 + WTERMSIG(status);
    }
    return WEXITSTATUS(status);
}

void OtherUser::give(const std::string& path) const {
    if (available()) {
        if (::lchown(path.c_str(), uid_, gid_) != 0) {
            throw std::system_error(errno, std::generic_category(), "lchown " + path);
        }
    }
}

} // namespace twinlantern::testing
