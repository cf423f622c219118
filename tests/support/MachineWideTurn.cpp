#include "tests/support/MachineWideTurn.h"

#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <mutex>

namespace twinlantern::testing {

struct MachineWideTurn::Held {
    // Read-only is enough for flock, and works whoever made the file first.
    Held() : fd(::open("/tmp/twinlantern-tests-machine-wide.lock",
                       O_RDONLY | O_CREAT | O_CLOEXEC, 0666)) {
        if (fd) {
            while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
            }
        }
    }
    UniqueFd fd;
};

MachineWideTurn::MachineWideTurn() {
    static std::mutex mutex;
    static std::weak_ptr<Held> current;
    const std::lock_guard lock(mutex);
    held_ = current.lock();
    if (!held_) {
        held_ = std::make_shared<Held>();
        current = held_;
    }
}

} // namespace twinlantern::testing
