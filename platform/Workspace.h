#pragma once

#include "core/base/Paths.h"

#include <sys/types.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::platform {

// A running process of an app bundle.
struct RunningApplication {
    pid_t pid = 0;
    std::string bundleID;
    std::string executable; // the bundle's executable, as the bundle names it

    friend bool operator==(const RunningApplication&, const RunningApplication&) = default;
};

// What the desktop knows about installed and running applications.
class Workspace {
public:
    virtual ~Workspace() = default;

    // The environment this workspace's programs see, for what launched apps inherit.
    virtual const Environment& environment() const = 0;
    // The installed bundle with that identifier; nothing when none.
    virtual std::optional<std::string> applicationLocation(std::string_view bundleID) const = 0;
    // The bundle's running main processes in pid order (helper processes left out).
    virtual std::vector<RunningApplication>
    runningApplications(std::string_view bundleID) const = 0;
    // The application process with that pid; nothing for any other process.
    virtual std::optional<RunningApplication> application(pid_t pid) const = 0;
    // Starts a new instance of the bundle with exactly these arguments and environment;
    // its pid. Throws TwinLanternError.
    virtual pid_t open(const std::string& bundlePath, const std::vector<std::string>& arguments,
                       const Environment& environment) = 0;
    // Runs the script in a new terminal window; false when no terminal could be started.
    virtual bool openInTerminal(const std::string& scriptPath) = 0;
    // Shows the folder in the file manager; false when none could be started.
    virtual bool revealFolder(const std::string& folder) = 0;
    // Brings the application's window to the front; nothing when there is none.
    virtual void activate(const RunningApplication& application) = 0;
    // Asks it to quit; false when the request could not be delivered (it ended, or the
    // pid now belongs to another process).
    virtual bool terminate(const RunningApplication& application) = 0;
    // A zombie counts as terminated.
    virtual bool isTerminated(pid_t pid) const = 0;
    // kill(pid, 0) succeeds or is refused for lack of permission, and it is no zombie.
    virtual bool isAlive(pid_t pid) const = 0;
};

// The workspace of this machine, over the user's folders and an environment.
std::unique_ptr<Workspace> makeWorkspace(const Paths& paths, const Environment& environment);

} // namespace twinlantern::platform
