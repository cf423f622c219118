#include "TwinLanternMac/apps/DesktopLauncher.h"

#include "TwinLanternMac/apps/ProcessArguments.h"
#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>

namespace twinlantern::DesktopLauncher {

namespace {

constexpr const char* passedVariables[] = {
    "USER", "LOGNAME", "SHELL", "TMPDIR", "LANG", "LC_ALL", "LC_CTYPE", "__CF_USER_TEXT_ENCODING",
    "SSH_AUTH_SOCK",
    // Without these a Linux app reaches neither its display nor its session bus.
    "DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY", "XDG_RUNTIME_DIR", "DBUS_SESSION_BUS_ADDRESS",
    "XDG_SESSION_TYPE", "XDG_CURRENT_DESKTOP"};
constexpr const char* launchPath = "/usr/bin:/bin:/usr/sbin:/sbin";
constexpr auto pollInterval = std::chrono::milliseconds(200);

std::string userHome(const Environment& environment) {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
        found != nullptr && found->pw_dir != nullptr && *found->pw_dir != '\0') {
        return found->pw_dir;
    }
    const auto home = environment.find("HOME");
    return home != environment.end() && !home->second.empty() ? home->second : "/";
}

// Waits while the process lives, until the deadline.
void waitWhileAlive(const platform::Workspace& workspace, pid_t pid,
                    std::chrono::steady_clock::time_point deadline) {
    for (;;) {
        const auto now = std::chrono::steady_clock::now();
        if (!workspace.isAlive(pid) || now >= deadline) {
            return;
        }
        std::this_thread::sleep_for(
            std::min<std::chrono::steady_clock::duration>(pollInterval, deadline - now));
    }
}

} // namespace

std::string compareForm(const std::string& folder) {
    const std::string normalized = PathUtil::normalize(folder);
    std::string prefix = normalized;
    std::string rest;
    for (;;) {
        if (auto real = PathUtil::realPath(prefix)) {
            if (rest.empty()) {
                return *real;
            }
            return (*real == "/" ? "" : *real) + "/" + rest;
        }
        if (prefix == "/") {
            return normalized; // not even the root resolves
        }
        const std::string last = PathUtil::lastComponent(prefix);
        rest = rest.empty() ? last : last + "/" + rest;
        prefix = PathUtil::parent(prefix);
    }
}

std::vector<Instance> runningInstances(const platform::Workspace& workspace,
                                       const std::string& bundleID) {
    std::vector<Instance> instances;
    for (const auto& app : workspace.runningApplications(bundleID)) {
        if (workspace.isTerminated(app.pid) || !workspace.isAlive(app.pid)) {
            continue;
        }
        const auto arguments = ProcessArguments::arguments(app.pid);
        if (!arguments) {
            continue;
        }
        instances.push_back({app.pid, ProcessArguments::userDataDirectory(*arguments)});
    }
    return instances;
}

std::optional<Instance> instance(const platform::Workspace& workspace,
                                 const std::optional<std::string>& userDataDirectory,
                                 const std::string& bundleID) {
    const std::optional<std::string> wanted =
        userDataDirectory ? std::optional(compareForm(*userDataDirectory)) : std::nullopt;
    for (Instance& candidate : runningInstances(workspace, bundleID)) {
        const bool matches = candidate.userDataDirectory
                                 ? wanted && compareForm(*candidate.userDataDirectory) == *wanted
                                 : !wanted;
        if (matches) {
            return std::move(candidate);
        }
    }
    return std::nullopt;
}

LaunchResult open(platform::Workspace& workspace,
                  const std::optional<std::string>& userDataDirectory, const std::string& bundleID,
                  const std::string& lockDirectory, const Environment& extraEnvironment,
                  const std::string& appName, std::chrono::milliseconds lockWait) {
    ProfileLaunchLock lock(lockDirectory, ProfileLaunchLock::key(userDataDirectory), lockWait);

    if (const auto running = instance(workspace, userDataDirectory, bundleID)) {
        if (const auto app = workspace.application(running->pid)) {
            workspace.activate(*app); // also stands for the reopen event
            return LaunchResult::focused(running->pid);
        }
    }
    const auto location = workspace.applicationLocation(bundleID);
    if (!location) {
        throw TwinLanternError::unsupported(appName + " isn't installed.");
    }
    Environment environment = launchEnvironment(workspace.environment());
    for (const auto& [name, value] : extraEnvironment) {
        environment[name] = value;
    }
    std::vector<std::string> arguments;
    if (userDataDirectory) {
        if (!makeDirectories(*userDataDirectory, 0700)) {
            throw TwinLanternError::ioErrno("create " + *userDataDirectory, errno);
        }
        arguments.push_back("--user-data-dir=" + *userDataDirectory);
    }
    return LaunchResult::launched(workspace.open(*location, arguments, environment));
}

bool quit(platform::Workspace& workspace, const Instance& instance, double timeoutSeconds,
          bool allowDefaultInstance) {
    if (!instance.userDataDirectory && !allowDefaultInstance) {
        return false;
    }
    const auto app = workspace.application(instance.pid);
    if (!app) {
        return true;
    }
    const auto half = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::max(0.0, timeoutSeconds) * 0.5));
    // Linux has no polite request apart from SIGTERM: both rounds send it, each through
    // a descriptor of the process so a recycled pid is never hit.
    for (int round = 0; round < 2 && workspace.isAlive(instance.pid); ++round) {
        workspace.terminate(*app);
        waitWhileAlive(workspace, instance.pid, std::chrono::steady_clock::now() + half);
    }
    return !workspace.isAlive(instance.pid);
}

Environment launchEnvironment(const Environment& environment) {
    Environment out;
    for (const char* name : passedVariables) {
        if (const auto it = environment.find(name); it != environment.end()) {
            out[name] = it->second;
        }
    }
    out["HOME"] = userHome(environment);
    out["PATH"] = launchPath;
    return out;
}

} // namespace twinlantern::DesktopLauncher
