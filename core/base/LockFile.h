#pragma once

#include "core/base/UniqueFd.h"

#include <string>

namespace twinlantern {

// A file held with flock, opened with care: never through a link, never a FIFO, device
// or folder, and only when this user owns it. Made 0600, set with fchmod so the umask
// never widens it (a file with a second hard link is left as it is: that name is not
// ours). Unlocks, then closes, when it goes.
class LockFile {
public:
    LockFile() = default;
    // Opens path, creating it. Invalid on failure, with the reason in error().
    static LockFile open(const std::string& path);
    // The same for name inside an open folder (see openPrivateFolder).
    static LockFile openIn(int folder, const std::string& name);

    LockFile(LockFile&& other) noexcept = default;
    LockFile& operator=(LockFile&& other) noexcept;
    LockFile(const LockFile&) = delete;
    LockFile& operator=(const LockFile&) = delete;
    ~LockFile() { close(); }

    bool valid() const { return fd_.valid(); }
    explicit operator bool() const { return valid(); }
    int fd() const { return fd_.get(); }
    // errno of the failed open; EPERM also for a file of another user.
    int error() const { return error_; }
    // What went wrong, for a message: that the file is another user's, else strerror.
    std::string problem() const;
    bool belongsToAnotherUser() const { return foreign_; }

    // LOCK_EX without waiting, EINTR retried; false with errno (EWOULDBLOCK: held elsewhere).
    bool tryLock();
    // LOCK_EX, waiting; false with errno.
    bool lock();
    // Unlocks and closes; a second call does nothing.
    void close();

private:
    static LockFile checked(UniqueFd fd);

    UniqueFd fd_;
    int error_ = 0;
    bool foreign_ = false; // opened, but another user's
};

} // namespace twinlantern
