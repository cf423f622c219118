#include "tests/cli/CliFixture.h"

#include "core/base/UniqueFd.h"
#include "core/profiles/ProfileStore.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>

namespace twinlantern::testing {

namespace {

// argv and envp arrays that live as long as this object.
struct ExecArrays {
    std::vector<std::string> args, entries;
    std::vector<char*> cArgs, cEnv;
    ExecArrays(const std::vector<std::string>& argv, const Environment& environment) : args(argv) {
        for (const auto& [name, value] : environment) {
            entries.push_back(name + "=" + value);
        }
        for (auto& a : args) {
            cArgs.push_back(a.data());
        }
        cArgs.push_back(nullptr);
        for (auto& e : entries) {
            cEnv.push_back(e.data());
        }
        cEnv.push_back(nullptr);
    }
};

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return -1;
        }
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

} // namespace

void CliFixture::SetUp() {
    ASSERT_TRUE(exists(program())) << program();
    ASSERT_TRUE(exists(resolver())) << resolver();
}

std::string CliFixture::dir(const std::string& relative) const {
    makeDirs(home.dir / relative);
    return home.dir / relative;
}

void CliFixture::store(const ProfileDocument& document) const {
    ProfileStore(home.paths).update([&](ProfileDocument& d) { d = document; });
}

void CliFixture::writeProfiles(const std::string& json) const {
    makeDirs(home.paths.supportDirectory());
    writeFile(home.paths.profilesFile(), json, 0600);
}

ProfileDocument CliFixture::load() const {
    return ProfileStore(home.paths).load();
}

Environment CliFixture::env() const {
    return {{"HOME", home.home()}, {"PATH", tools + ":" + helpers() + ":/usr/bin:/bin"}};
}

RunResult CliFixture::run(const std::vector<std::string>& args,
                          std::optional<Environment> environment, std::string cwd) const {
    std::vector<std::string> argv{"twinlantern"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runProgram(program(), argv, environment ? *environment : env(),
                      {.cwd = cwd.empty() ? home.home() : cwd});
}

RunResult CliFixture::runInTerminal(const std::string& path, const std::vector<std::string>& argv,
                                    const Environment& environment, const std::string& cwd,
                                    const std::string& input) {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) {
        ADD_FAILURE() << "openpty failed";
        return {};
    }
    UniqueFd masterFd(master), slaveFd(slave);
    ExecArrays arrays(argv, environment);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::setsid();
        if (::ioctl(slave, TIOCSCTTY, 0) != 0 || ::dup2(slave, 0) < 0 || ::dup2(slave, 1) < 0 ||
            ::dup2(slave, 2) < 0 || ::chdir(cwd.c_str()) != 0) {
            ::_exit(250);
        }
        ::close(master);
        ::close(slave);
        ::alarm(30);
        ::execve(path.c_str(), arrays.cArgs.data(), arrays.cEnv.data());
        ::_exit(251);
    }
    slaveFd.reset();
    // Typed ahead: the terminal keeps it until the program reads.
    if (!input.empty() && ::write(master, input.data(), input.size()) < 0) {
        ADD_FAILURE() << "write to the terminal failed";
    }
    RunResult result;
    char buffer[4096];
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        if (::poll(&fd, 1, 30000) <= 0) {
            break;
        }
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) {
            break; // EIO once the program and its children have closed the terminal
        }
        result.out.append(buffer, static_cast<std::size_t>(n));
    }
    result.exitCode = pid > 0 ? waitFor(pid) : -1;
    return result;
}

RunResult CliFixture::shell(const std::string& command, const std::string& cwd,
                            const std::string& input, bool terminal) const {
    const std::vector<std::string> argv{"sh", "-c", command};
    const std::string folder = cwd.empty() ? home.home() : cwd;
    return terminal ? runInTerminal("/bin/sh", argv, env(), folder, input)
                    : runProgram("/bin/sh", argv, env(), {.cwd = folder});
}

std::vector<std::string> backquoted(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t at = 0;;) {
        const auto open = text.find('`', at);
        const auto close = open == std::string::npos ? open : text.find('`', open + 1);
        if (close == std::string::npos) {
            return out;
        }
        out.push_back(text.substr(open + 1, close - open - 1));
        at = close + 1;
    }
}

} // namespace twinlantern::testing
