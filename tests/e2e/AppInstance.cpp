#include "tests/e2e/AppInstance.h"

#include "tests/support/TestSupport.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace twinlantern::testing {

using namespace std::chrono_literals;

std::string AppInstance::program() {
    return std::string(TL_BINARY_DIR) + "/TwinLantern.app/Contents/MacOS/TwinLantern";
}

AppInstance::AppInstance(const std::string& folder, const std::vector<std::string>& arguments,
                         const Environment& environment, bool bus)
    : folder_(folder) {
    makeDirs(folder_);
    // The shell notes the program's pid and bus, then becomes the program.
    const std::string script = "echo $$ > \"$0/pid\"; echo \"${DBUS_SESSION_BUS_ADDRESS-}\" > "
                               "\"$0/bus\"; exec \"$@\"";
    std::vector<std::string> argv;
    if (bus) {
        argv = {"/usr/bin/dbus-run-session", "--"};
    }
    for (const char* part : {"/bin/sh", "-c"}) {
        argv.emplace_back(part);
    }
    argv.push_back(script);
    argv.push_back(folder_);
    argv.push_back(program());
    argv.insert(argv.end(), arguments.begin(), arguments.end());

    std::vector<char*> rawArgv;
    for (auto& a : argv) {
        rawArgv.push_back(a.data());
    }
    rawArgv.push_back(nullptr);
    std::vector<std::string> entries;
    for (const auto& [name, value] : environment) {
        entries.push_back(name + "=" + value);
    }
    std::vector<char*> rawEnv;
    for (auto& e : entries) {
        rawEnv.push_back(e.data());
    }
    rawEnv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log = folder_ + "/output";
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
    if (posix_spawn(&wrapper_, rawArgv[0], &actions, &attributes, rawArgv.data(), rawEnv.data()) !=
        0) {
        wrapper_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
}

AppInstance::~AppInstance() {
    if (wrapper_ > 0 && !status_) {
        if (const pid_t app = pid(); app > 0) {
            ::kill(app, SIGKILL);
        }
        // The whole group: a killed dbus-run-session can't end its bus daemon itself.
        ::kill(-wrapper_, SIGKILL);
        int status = 0;
        while (::waitpid(wrapper_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

pid_t AppInstance::pid() const {
    pid_t pid = -1;
    eventually([&] {
        if (exists(folder_ + "/pid")) {
            const std::string text = readFile(folder_ + "/pid");
            if (!text.empty() && text.back() == '\n') {
                pid = static_cast<pid_t>(std::stol(text));
            }
        }
        return pid > 0;
    });
    return pid;
}

std::string AppInstance::busAddress() const {
    (void)pid(); // written just before it
    std::string text = exists(folder_ + "/bus") ? readFile(folder_ + "/bus") : std::string();
    while (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::string AppInstance::output() const {
    return exists(folder_ + "/output") ? readFile(folder_ + "/output") : std::string();
}

bool AppInstance::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) const {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(10ms);
    }
    return true;
}

std::optional<int> AppInstance::waitForExit(std::chrono::milliseconds timeout) {
    if (status_ || wrapper_ <= 0) {
        return status_;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        int status = 0;
        const pid_t done = ::waitpid(wrapper_, &status, WNOHANG);
        if (done == wrapper_) {
            status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return status_;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(5ms);
    }
}

void AppInstance::signal(int number) const {
    if (const pid_t app = pid(); app > 0) {
        ::kill(app, number);
    }
}

} // namespace twinlantern::testing
