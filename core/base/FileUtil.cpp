#include "core/base/FileUtil.h"

#include "core/base/Random.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

namespace twinlantern {

OpenedFile openRegularFile(const std::string& path, std::size_t maxBytes) {
    OpenedFile file;
    file.fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!file.fd) {
        file.error = errno;
        return file;
    }
    struct stat st {};
    if (::fstat(file.fd.get(), &st) != 0) {
        file.error = errno;
    } else if (!S_ISREG(st.st_mode)) {
        file.error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else if (static_cast<std::uint64_t>(st.st_size) > maxBytes) {
        file.error = EFBIG;
    } else {
        file.size = static_cast<std::size_t>(st.st_size);
        return file;
    }
    file.fd.reset();
    return file;
}

ssize_t readUpTo(int fd, char* buffer, std::size_t capacity) {
    std::size_t used = 0;
    while (used < capacity) {
        const ssize_t n = ::read(fd, buffer + used, capacity - used);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (n == 0) {
            break;
        }
        used += static_cast<std::size_t>(n);
    }
    return static_cast<ssize_t>(used);
}

ReadResult readWholeFile(const std::string& path, std::size_t maxBytes) {
    OpenedFile file = openRegularFile(path, maxBytes);
    if (!file.fd) {
        return {std::nullopt, file.error};
    }
    const std::size_t limit = maxBytes == SIZE_MAX ? maxBytes : maxBytes + 1;
    // One byte more than the size, so end-of-file shows without a second buffer.
    std::string bytes(std::min(limit, file.size + 1), '\0');
    std::size_t used = 0;
    for (;;) {
        const ssize_t n = readUpTo(file.fd.get(), bytes.data() + used, bytes.size() - used);
        if (n < 0) {
            return {std::nullopt, errno};
        }
        used += static_cast<std::size_t>(n);
        if (used < bytes.size()) {
            break;
        }
        // Full: the file has grown since fstat (or reports no size, as /proc files do).
        if (used > maxBytes) {
            return {std::nullopt, EFBIG};
        }
        bytes.resize(std::min(limit, std::max<std::size_t>(65536, bytes.size() * 2)));
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
    UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode));
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

std::optional<std::string> finalLinkTarget(const std::string& path, int* error) {
    std::string current = path;
    for (int hops = 0; hops <= 40; ++hops) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT) {
                return current; // the missing file a dangling link names
            }
            break;
        }
        if (!S_ISLNK(st.st_mode)) {
            return current;
        }
        std::vector<char> target(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1);
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0) {
            break;
        }
        if (static_cast<std::size_t>(n) == target.size()) {
            errno = ENAMETOOLONG; // the link changed under us
            break;
        }
        std::string next(target.data(), static_cast<std::size_t>(n));
        if (!next.starts_with('/')) {
            const auto slash = current.rfind('/');
            next =
                (slash == std::string::npos ? std::string() : current.substr(0, slash + 1)) + next;
        }
        current = std::move(next);
        errno = ELOOP;
    }
    if (error != nullptr) {
        *error = errno;
    }
    return std::nullopt;
}

int writeFileThroughLinks(const std::string& path, std::string_view bytes, mode_t newMode) {
    int error = 0;
    const std::optional<std::string> target = finalLinkTarget(path, &error);
    if (!target) {
        return error;
    }
    // A link to a device or pipe is not replaced: rename would put a file in its place.
    struct stat st {};
    const bool exists = ::stat(target->c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        return S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    }
    const mode_t mode = exists ? (st.st_mode & 07777) : newMode;
    if (auto failure = writeFileAtomically(*target, bytes, mode)) {
        return failure->error;
    }
    return 0;
}

namespace {
int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path) == 0 ? 0 : errno;
}
} // namespace

int removeTreeWithoutFollowing(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return errno == ENOENT ? 0 : errno;
    }
    if (!S_ISDIR(st.st_mode)) {
        return ::unlink(path.c_str()) == 0 ? 0 : errno;
    }
    // Depth first, links removed as links.
    const int failed = ::nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    return failed == 0 ? 0 : (failed > 0 ? failed : errno);
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
