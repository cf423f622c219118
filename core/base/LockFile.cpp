#include "core/base/LockFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace twinlantern {

namespace {
constexpr int openFlags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
} // namespace

LockFile LockFile::open(const std::string& path) {
    return checked(UniqueFd(::open(path.c_str(), openFlags, 0600)));
}

LockFile LockFile::openIn(int folder, const std::string& name) {
    return checked(UniqueFd(::openat(folder, name.c_str(), openFlags, 0600)));
}

LockFile LockFile::checked(UniqueFd fd) {
    LockFile file;
    struct stat st {};
    if (!fd) {
        file.error_ = errno;
    } else if (::fstat(fd.get(), &st) != 0) {
        file.error_ = errno;
    } else if (!S_ISREG(st.st_mode)) {
        file.error_ = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (st.st_uid != ::geteuid()) {
        file.error_ = EPERM;
        file.foreign_ = true;
    } else {
        if (st.st_nlink == 1) {
            ::fchmod(fd.get(), 0600);
        }
        file.fd_ = std::move(fd);
    }
    return file;
}

LockFile& LockFile::operator=(LockFile&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::move(other.fd_);
        error_ = other.error_;
        foreign_ = other.foreign_;
    }
    return *this;
}

std::string LockFile::problem() const {
    return foreign_ ? "it belongs to another user" : std::strerror(error_);
}

bool LockFile::tryLock() {
    while (::flock(fd_.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

bool LockFile::lock() {
    while (::flock(fd_.get(), LOCK_EX) != 0) {
        if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

void LockFile::close() {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
        fd_.reset();
    }
}

} // namespace twinlantern
