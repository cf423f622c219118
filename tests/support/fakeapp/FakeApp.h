#pragma once

#include "core/base/Paths.h"
#include "tests/support/MachineWideTurn.h"
#include "tests/support/TestSupport.h"

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern::testing {

// One fake app bundle at <applications>/<name>.app with its own bundle id; the
// program is tests/support/fakeapp/FakeAppMain.cpp.
class FakeApp {
public:
    enum class Mode { polite, ignoreFirst, ignoreAll, renderer };

    FakeApp(const std::string& applications, const std::string& name, std::string bundleID,
            Mode mode = Mode::polite, bool binaryPlist = false);

    const std::string& bundle() const { return bundle_; }
    const std::string& bundleID() const { return bundleID_; }
    std::string executable() const { return bundle_ + "/Contents/MacOS/" + executableName_; }
    void setMode(Mode mode);

    struct Run {
        pid_t pid = 0;
        std::vector<std::string> argv;
        Environment environment;
        std::string info; // key=value lines: sid, cwd, fds, sigint, renderer
        std::string value(const std::string& key) const;
    };
    // The recorded start of pid, waited for up to the timeout.
    std::optional<Run> run(pid_t pid, std::chrono::milliseconds timeout = patience) const;
    // How many SIGTERMs the start pid has taken so far.
    int termsTaken(pid_t pid) const;
    // Pids of every recorded start, in order of their numbers (of their starts, unless
    // the pids wrapped).
    std::vector<pid_t> runs() const;

    // Sends SIGKILL to every recorded start still running and waits until it is gone.
    void killAll() const;
    ~FakeApp();

private:
    std::string bundle_;
    std::string bundleID_;
    std::string executableName_;
    // Only for Claude Desktop's and the ChatGPT app's own ids, which other tests use too.
    std::optional<MachineWideTurn> turn_;
};

// A bundle id no other test uses.
std::string uniqueBundleID(const std::string& stem);

// Waits until pid no longer runs (gone or zombie); false after the timeout.
bool waitUntilGone(pid_t pid, std::chrono::milliseconds timeout = patience);

} // namespace twinlantern::testing
