#pragma once

#include "core/base/Paths.h"
#include "tests/support/TestSupport.h"

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

// The built TwinLantern program started in the background with exactly this environment,
// inside a session bus of its own (dbus-run-session) unless `bus` is off; standard output
// and error go to one file. Killed (by its pids) when the object goes.
class AppInstance {
public:
    static std::string program();

    AppInstance(const std::string& folder, const std::vector<std::string>& arguments,
                const Environment& environment, bool bus = true);
    ~AppInstance();
    AppInstance(const AppInstance&) = delete;
    AppInstance& operator=(const AppInstance&) = delete;

    // The program's own pid (not the bus wrapper's), once it has started.
    pid_t pid() const;
    // DBUS_SESSION_BUS_ADDRESS of its bus.
    std::string busAddress() const;
    std::string output() const;
    // Until the output holds text; false after the timeout.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout = patience) const;
    // Its exit status (128 + signal), or nothing while it still runs after the timeout.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = patience);
    void signal(int signal) const;

private:
    std::string folder_;
    pid_t wrapper_ = -1; // dbus-run-session, or the program without a bus
    std::optional<int> status_;
};

} // namespace twinlantern::testing
