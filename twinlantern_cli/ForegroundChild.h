#pragma once

#include "core/base/Paths.h"

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace twinlantern::cli {

// A program run in this terminal with our standard streams; we wait for it.
// While it runs, the terminal's interrupt and quit keys are its own, not ours.
class ForegroundChild {
public:
    // Throws when the program can't be started.
    ForegroundChild(const std::string& executable, const std::vector<std::string>& arguments,
                    const Environment& environment);
    ~ForegroundChild();
    ForegroundChild(const ForegroundChild&) = delete;
    ForegroundChild& operator=(const ForegroundChild&) = delete;

    // The exit status, or 128 + the signal's number.
    int wait();

private:
    void restoreSignals();

    pid_t pid_ = -1;
    bool ignoring_ = false;
    struct sigaction savedInterrupt_ {};
    struct sigaction savedQuit_ {};
};

} // namespace twinlantern::cli
