#pragma once

#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

namespace twinlantern::testing {

// Processes are matched to apps machine-wide by bundle identifier, so two tests that run
// fake Claude Desktops with the real one would see each other's ordinary instance. Such
// tests hold one of these and take turns, across the test processes ctest runs at once.
class MachineWideTurn {
public:
    MachineWideTurn()
        : fd_(::open("/tmp/twinlantern-tests-claude-desktop.lock", O_RDWR | O_CREAT | O_CLOEXEC,
                     0666)) {
        if (fd_) {
            while (::flock(fd_.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }

private:
    UniqueFd fd_;
};

} // namespace twinlantern::testing
