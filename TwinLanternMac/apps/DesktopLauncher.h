#pragma once

#include "TwinLanternMac/apps/ProfileLaunchLock.h"
#include "core/base/Paths.h"
#include "platform/Workspace.h"

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern {

// One instance of a desktop app per profile: each is the same bundle started with
// "--user-data-dir=<folder>". `open` and `quit` block (the lock's wait, the quit's
// wait): call them off the main thread.
namespace DesktopLauncher {

struct Instance {
    pid_t pid = 0;
    // Normalised; absent for the default instance (the user's ordinary copy).
    std::optional<std::string> userDataDirectory;
    friend bool operator==(const Instance&, const Instance&) = default;
};

struct LaunchResult {
    enum class Kind { focused, launched };
    Kind kind;
    pid_t pid;
    static LaunchResult focused(pid_t pid) { return {Kind::focused, pid}; }
    static LaunchResult launched(pid_t pid) { return {Kind::launched, pid}; }
    friend bool operator==(const LaunchResult&, const LaunchResult&) = default;
};

// A folder as the launcher compares and locks it: the real path of its longest existing
// leading part, then the normalised rest. One folder gives one form before and after it
// exists, also through a linked parent.
std::string compareForm(const std::string& folder);

// The running, alive instances whose arguments can be read, in pid order.
std::vector<Instance> runningInstances(const platform::Workspace& workspace,
                                       const std::string& bundleID);

// The first instance for the folder (absent: the default instance).
std::optional<Instance> instance(const platform::Workspace& workspace,
                                 const std::optional<std::string>& userDataDirectory,
                                 const std::string& bundleID);

// Under the folder's launch lock: focuses its running instance or starts a new one.
// Throws TwinLanternError ("<appName> isn't installed.", "Couldn't create <folder>: …",
// "Couldn't start <executable>: …", the lock's errors).
LaunchResult open(platform::Workspace& workspace,
                  const std::optional<std::string>& userDataDirectory, const std::string& bundleID,
                  const std::string& lockDirectory, const Environment& extraEnvironment,
                  const std::string& appName,
                  std::chrono::milliseconds lockWait = ProfileLaunchLock::defaultWait);

// Asks the instance to quit, waits up to half the timeout, asks again and waits the
// rest; never a stronger signal. True when it is gone. The default instance is refused
// unless allowed.
bool quit(platform::Workspace& workspace, const Instance& instance, double timeoutSeconds,
          bool allowDefaultInstance);

// What a launched app gets of an environment: the user's identity, locale, agent and
// display variables, HOME from the password database and a fixed PATH.
Environment launchEnvironment(const Environment& environment);

} // namespace DesktopLauncher
} // namespace twinlantern
