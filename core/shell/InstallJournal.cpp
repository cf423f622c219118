#include "core/shell/InstallJournal.h"

#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace twinlantern {

namespace {

bool allDigits(std::string_view s) {
    return !s.empty() &&
           std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A second name for the item at `from`, leaving it where it is; errno on failure.
int keepCopy(const std::string& from, const std::string& to, const struct stat& st) {
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) == 0) {
        return 0;
    }
    // A file system without hard links: a copy of the link or the file does as well.
    if (S_ISLNK(st.st_mode)) {
        std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
        const ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<std::size_t>(n) == target.size()) {
            return n < 0 ? errno : ENAMETOOLONG;
        }
        target.resize(static_cast<std::size_t>(n));
        return ::symlink(target.c_str(), to.c_str()) == 0 ? 0 : errno;
    }
    if (!S_ISREG(st.st_mode)) {
        return errno;
    }
    const ReadResult bytes = readWholeFile(from, SIZE_MAX);
    if (!bytes.bytes) {
        return bytes.error;
    }
    if (auto failure = writeFileAtomically(to, *bytes.bytes, st.st_mode & 07777)) {
        return failure->error;
    }
    return 0;
}

} // namespace

InstallJournal::~InstallJournal() {
    if (!committed_) {
        rollBack();
    }
}

std::string InstallJournal::keptName(const std::string& path) {
    return path + ".tmp." + std::to_string(::getpid()) + ".kept";
}

bool InstallJournal::isLeftover(std::string_view name) {
    const auto at = name.rfind(".tmp.");
    if (at == std::string_view::npos) {
        return false;
    }
    std::string_view rest = name.substr(at + 5);
    const auto dot = rest.find('.');
    if (dot == std::string_view::npos) {
        return allDigits(rest); // a program copy's temporary file
    }
    const std::string_view tail = rest.substr(dot + 1);
    return allDigits(rest.substr(0, dot)) && (allDigits(tail) || tail == "kept");
}

bool InstallJournal::isTemporaryOf(std::string_view entry, std::string_view name) {
    if (!entry.starts_with(name) || !entry.substr(name.size()).starts_with(".tmp.")) {
        return false;
    }
    const std::string_view rest = entry.substr(name.size() + 5);
    const auto dot = rest.find('.');
    return dot != std::string_view::npos && allDigits(rest.substr(0, dot)) &&
           allDigits(rest.substr(dot + 1));
}

void InstallJournal::createDirectories(const std::string& path) {
    for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
        const std::string prefix = path.substr(0, end);
        struct stat st {};
        if (::stat(prefix.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                throw TwinLanternError::ioErrno("create " + paths_.abbreviate(path), ENOTDIR);
            }
        } else if (errno != ENOENT) {
            throw TwinLanternError::ioErrno("create " + paths_.abbreviate(path), errno);
        } else if (::mkdir(prefix.c_str(), 0777) == 0) {
            entries_.push_back({Kind::folder, prefix});
        } else if (errno != EEXIST || ::stat(prefix.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            throw TwinLanternError::ioErrno("create " + paths_.abbreviate(path), errno);
        }
        if (end == std::string::npos) {
            return;
        }
    }
}

void InstallJournal::keep(const std::string& path, bool folderGoesToo) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        if (errno != ENOENT) {
            throw TwinLanternError::ioErrno("write " + paths_.abbreviate(path), errno);
        }
        entries_.push_back({Kind::kept, path});
        return;
    }
    if (S_ISDIR(st.st_mode) && !folderGoesToo) {
        return; // the step fails on it and changes nothing
    }
    const std::string kept = keptName(path);
    removeTreeWithoutFollowing(kept);
    // A folder is removed by the step, never replaced in place: it can wait aside.
    const int err = S_ISDIR(st.st_mode) ? (::rename(path.c_str(), kept.c_str()) == 0 ? 0 : errno)
                                        : keepCopy(path, kept, st);
    if (err != 0) {
        ::unlink(kept.c_str());
        throw TwinLanternError::ioErrno("write " + paths_.abbreviate(path), err);
    }
    entries_.push_back({Kind::kept, path, kept});
}

void InstallJournal::created(const std::string& path) {
    entries_.push_back({Kind::created, path});
}

void InstallJournal::wroteShellFile(const std::string& path, bool existed, std::string before) {
    entries_.push_back({Kind::shellFile, path, {}, existed, std::move(before)});
}

void InstallJournal::commit() {
    committed_ = true;
    for (const Entry& entry : entries_) {
        if (entry.kind == Kind::kept && !entry.kept.empty()) {
            removeTreeWithoutFollowing(entry.kept);
        }
    }
}

void InstallJournal::rollBack() noexcept {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
        switch (it->kind) {
        case Kind::folder:
            ::rmdir(it->path.c_str());
            break;
        case Kind::created:
            ::unlink(it->path.c_str());
            break;
        case Kind::kept: {
            if (it->kept.empty()) {
                ::unlink(it->path.c_str());
                break;
            }
            struct stat st {};
            if (::lstat(it->kept.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
                ::unlink(it->path.c_str()); // the link that took the folder's place
            }
            // Two names of one file: rename does nothing and succeeds, so the second goes.
            if (::rename(it->kept.c_str(), it->path.c_str()) == 0) {
                ::unlink(it->kept.c_str());
            }
            break;
        }
        case Kind::shellFile:
            if (it->existed) {
                writeFileThroughLinks(it->path, it->before, 0644);
            } else if (auto target = finalLinkTarget(it->path)) {
                ::unlink(target->c_str());
            }
            break;
        }
    }
}

} // namespace twinlantern
