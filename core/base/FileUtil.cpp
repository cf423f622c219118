#include "core/base/FileUtil.h"

#include "core/base/Random.h"
#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace twinlantern {

ReadResult readWholeFile(const std::string& path, std::size_t maxBytes) {
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    if (!fd) {
        return {std::nullopt, errno};
    }
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
        return {std::nullopt, errno};
    }
    if (S_ISDIR(st.st_mode)) {
        return {std::nullopt, EISDIR};
    }
    std::string bytes;
    std::size_t used = 0;
    if (S_ISREG(st.st_mode)) {
        if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
            return {std::nullopt, EFBIG};
        }
        // One byte more than the size, so end-of-file shows without a second buffer.
        bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    }
    for (;;) {
        if (used == bytes.size()) {
            if (used >= maxBytes) {
                // Grown past the limit since fstat: see whether anything follows.
                char probe;
                ssize_t n = ::read(fd.get(), &probe, 1);
                if (n < 0 && errno == EINTR) {
                    continue;
                }
                if (n < 0) {
                    return {std::nullopt, errno};
                }
                if (n == 0) {
                    break;
                }
                return {std::nullopt, EFBIG};
            }
            bytes.resize(
                std::min<std::size_t>(maxBytes, std::max<std::size_t>(65536, bytes.size() * 2)));
        }
        ssize_t n = ::read(fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return {std::nullopt, errno};
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    if (used > maxBytes) {
        return {std::nullopt, EFBIG};
    }
    bytes.resize(used);
    return {std::move(bytes), 0};
}

std::string temporaryPathFor(const std::string& target) {
    return target + ".tmp." + std::to_string(::getpid()) + "." + std::to_string(secureRandomU32());
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

std::optional<AtomicWriteFailure> writeFileAtomically(const std::string& target,
                                                      std::string_view bytes, mode_t mode) {
    const std::string temp = temporaryPathFor(target);
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (!fd) {
        return AtomicWriteFailure{AtomicWriteFailure::Stage::create, errno, temp};
    }
    auto fail = [&](int err) {
        fd.reset();
        ::unlink(temp.c_str());
        return AtomicWriteFailure{AtomicWriteFailure::Stage::write, err, temp};
    };
    if (::fchmod(fd.get(), mode) != 0) {
        return fail(errno);
    }
    if (!writeAll(fd.get(), bytes)) {
        return fail(errno);
    }
    if (::fsync(fd.get()) != 0) {
        return fail(errno);
    }
    if (fd.close() != 0) {
        return fail(errno);
    }
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        int err = errno;
        ::unlink(temp.c_str());
        return AtomicWriteFailure{AtomicWriteFailure::Stage::write, err, temp};
    }
    return std::nullopt;
}

bool makeDirectories(const std::string& path, mode_t mode) {
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            return true;
        }
        errno = ENOTDIR;
        return false;
    }
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0) {
        if (!makeDirectories(path.substr(0, slash), mode)) {
            return false;
        }
    }
    if (::mkdir(path.c_str(), mode) != 0) {
        if (errno == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            return true;
        }
        return false;
    }
    // The umask must not decide the mode.
    return ::chmod(path.c_str(), mode) == 0;
}

} // namespace twinlantern
