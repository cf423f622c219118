#pragma once

#include "core/base/Paths.h"

#include <cstddef>
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
    bool outputCut = false; // a stream passed ProcessRunner::outputLimit; the rest was dropped

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

// Bytes kept per stream. A tool's answer is a few lines; a child that floods its
// output must not grow the caller without bound.
inline constexpr std::size_t outputLimit = 4u << 20;

// Blocking; call off the main thread. `executable` is a path (no PATH lookup),
// `arguments` excludes the program name, `environment` is the child's whole
// environment, `timeoutSeconds` bounds the run; then SIGTERM, 2 s, SIGKILL.
ProcessResult runSync(const std::string& executable, const std::vector<std::string>& arguments,
                      const Environment& environment, double timeoutSeconds);
ProcessResult runSync(const std::string& executable, const std::vector<std::string>& arguments,
                      const Environment& environment, double timeoutSeconds,
                      const ProcessOptions& options);

// For a process that is quitting without waiting for its runs: every child still
// running is killed with all its descendants, and later runs fail at once (exit code
// 127) instead of starting. Safe from any thread; there is no way back.
void endAll();

// The same run on a background thread.
std::future<ProcessResult> run(std::string executable, std::vector<std::string> arguments,
                               Environment environment, double timeoutSeconds);

// The variables the tools' commands keep; everything else is dropped. These 19:
// HOME, USER, LOGNAME, PATH, SHELL, TMPDIR, LANG, LC_ALL, LC_CTYPE, TERM,
// __CF_USER_TEXT_ENCODING, SSH_AUTH_SOCK, NODE_EXTRA_CA_CERTS, HTTPS_PROXY, HTTP_PROXY,
// NO_PROXY, https_proxy, http_proxy, no_proxy; and on Linux also
// DBUS_SESSION_BUS_ADDRESS and XDG_RUNTIME_DIR, the way to the Secret Service, where
// the tools keep their logins (macOS's Keychain needs no variable).
Environment baseEnvironment(const Environment& environment);

} // namespace ProcessRunner
} // namespace twinlantern
