#include "tests/support/ShellFixtures.h"

#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <stdexcept>

namespace twinlantern::testing {

FakeHelpers::FakeHelpers() {
    for (const char* name : {"twinlantern-resolve", "twinlantern", "twinlantern-launcher"}) {
        writeFile(dir / name, std::string("#!/bin/sh\necho ") + name + " \"$@\"\n", 0755);
    }
}

std::vector<ShellIntegration::FileChange> ShellHome::install() const {
    return integration().install(helpers.resolver(), helpers.cli(), helpers.launcher(),
                                 "/Applications/TwinLantern.app");
}

namespace {
// Reads both pipes to their end without letting either fill up.
void drain(UniqueFd& out, UniqueFd& err, std::string& outText, std::string& errText) {
    char buffer[4096];
    while (out || err) {
        pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            return;
        }
        for (int i = 0; i < 2; ++i) {
            UniqueFd& fd = i == 0 ? out : err;
            if (!fd || fds[i].revents == 0) {
                continue;
            }
            ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
            if (n <= 0) {
                fd.reset();
            } else {
                (i == 0 ? outText : errText).append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
}
} // namespace

RunResult runProgram(const std::vector<std::string>& argv, const Environment& environment) {
    std::vector<std::string> envStrings;
    for (const auto& [key, value] : environment) {
        envStrings.push_back(key + "=" + value);
    }
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (auto& e : envStrings) {
        env.push_back(e.data());
    }
    env.push_back(nullptr);

    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    UniqueFd outRead(outPipe[0]), outWrite(outPipe[1]);
    if (::pipe2(errPipe, O_CLOEXEC) != 0) {
        throw std::runtime_error("pipe failed");
    }
    UniqueFd errRead(errPipe[0]), errWrite(errPipe[1]);
    pid_t pid = ::fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        ::dup2(outWrite.get(), 1);
        ::dup2(errWrite.get(), 2);
        ::execve(args[0], args.data(), env.data());
        ::_exit(127);
    }
    outWrite.reset();
    errWrite.reset();
    RunResult result;
    drain(outRead, errRead, result.output, result.errors);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        auto lf = text.find('\n');
        out.emplace_back(text.substr(0, lf));
        if (lf == std::string_view::npos) {
            break;
        }
        text.remove_prefix(lf + 1);
    }
    return out;
}

ino_t inode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace twinlantern::testing
