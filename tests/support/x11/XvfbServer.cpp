#include "tests/support/x11/XvfbServer.h"

#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace twinlantern::testing {

namespace {
constexpr const char* program = "/usr/bin/Xvfb";
constexpr int displayFd = 3;
constexpr auto startTimeout = std::chrono::seconds(15);
} // namespace

XvfbServer::XvfbServer() {
    if (::access(program, X_OK) != 0) {
        problem_ = std::string(program) + " is missing (install xvfb)";
        return;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        problem_ = "no pipe";
        return;
    }
    UniqueFd readEnd(ends[0]), writeEnd(ends[1]);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) {
        problem_ = "no fork";
        return;
    }
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::dup2(writeEnd.get(), displayFd); // dup2 clears close-on-exec
        ::execl(program, program, "-displayfd", "3", "-nolisten", "tcp", "-noreset", "-screen", "0",
                "640x480x24", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    pid_ = pid;
    writeEnd.reset();

    // The server writes its display number and a line feed once it takes connections.
    std::string number;
    const auto deadline = std::chrono::steady_clock::now() + startTimeout;
    while (number.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              deadline - std::chrono::steady_clock::now())
                              .count();
        if (left <= 0) {
            problem_ = "Xvfb did not start in time";
            break;
        }
        pollfd fd{readEnd.get(), POLLIN, 0};
        if (::poll(&fd, 1, static_cast<int>(left)) <= 0) {
            continue; // interrupted, or the deadline passed
        }
        char buffer[32];
        const ssize_t got = ::read(readEnd.get(), buffer, sizeof buffer);
        if (got <= 0) {
            problem_ = "Xvfb exited at start";
            break;
        }
        number.append(buffer, static_cast<std::size_t>(got));
    }
    if (!problem_.empty()) {
        kill();
        return;
    }
    // Not `":" + ...`: GCC 12 at -O3 takes a short literal copied into a string for an
    // overlapping copy (-Wrestrict).
    display_.assign(1, ':').append(number, 0, number.find('\n'));
}

XvfbServer::~XvfbServer() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

void XvfbServer::kill() {
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        if (problem_.empty()) {
            problem_ = "killed";
        }
        // A killed server leaves its lock and socket behind.
        if (!display_.empty()) {
            const std::string number = display_.substr(1);
            ::unlink(("/tmp/.X" + number + "-lock").c_str());
            ::unlink(("/tmp/.X11-unix/X" + number).c_str());
        }
    }
}

} // namespace twinlantern::testing
