#pragma once

#include "core/base/Paths.h"

#include <cstdint>
#include <future>
#include <string>
#include <vector>

namespace twinlantern {

struct ProcessResult {
    std::int32_t exitCode = 0; // exit status, or the signal's number; 127 when it could not start
    std::string stdoutText;    // UTF-8, invalid sequences replaced by U+FFFD
    std::string stderrText;
    bool timedOut = false;

    // stdout, then "\n" and stderr when stderr is not empty.
    std::string combinedOutput() const;

    friend bool operator==(const ProcessResult&, const ProcessResult&) = default;
};

// How a child is started, beyond its program, arguments and environment.
struct ProcessOptions {
    // The child leads a new session and process group, so it has no controlling
    // terminal to take over; the timeout's signals go to the whole group, and whatever
    // is left of the group when the run ends is killed. For shells that run start-up
    // files, whose commands would otherwise outlive the run.
    bool ownSession = false;
};

// The only way the system runs short-lived child programs. Never throws.
namespace ProcessRunner {

// Blocking; call off the main thread. `executable` is a path (no PATH lookup),
// `arguments` excludes the program name, `environment` is the child's whole
// environment, `timeoutSeconds` bounds the run; then SIGTERM, 2 s, SIGKILL.
ProcessResult runSync(const std::string& executable, const std::vector<std::string>& arguments,
                      const Environment& environment, double timeoutSeconds);
ProcessResult runSync(const std::string& executable, const std::vector<std::string>& arguments,
                      const Environment& environment, double timeoutSeconds,
                      const ProcessOptions& options);

// The same run on a background thread.
std::future<ProcessResult> run(std::string executable, std::vector<std::string> arguments,
                               Environment environment, double timeoutSeconds);

// The 19 variables the tools' commands keep; everything else is dropped.
Environment baseEnvironment(const Environment& environment);

} // namespace ProcessRunner
} // namespace twinlantern
