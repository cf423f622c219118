#include "core/base/PathUtil.h"

#include "core/base/Text.h"
#include "core/base/UniqueFd.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif

namespace twinlantern::PathUtil {

namespace {

// Absolute and already normal: no piece is "", "." or "..", so nothing to split.
bool isNormalAbsolute(std::string_view path) {
    if (path.size() < 2 || path.front() != '/') {
        return false;
    }
    std::size_t start = 1;
    for (;;) {
        const std::size_t slash = path.find('/', start);
        const std::string_view piece = path.substr(start, slash - start);
        if (piece.empty() || piece == "." || piece == "..") {
            return false;
        }
        if (slash == std::string_view::npos) {
            return true;
        }
        start = slash + 1;
    }
}

// Appends the pieces of `path` to `out` ("/a/b" form), dropping "." and empty pieces
// and letting ".." take back the last piece kept.
void appendPieces(std::string& out, std::string_view path) {
    if (isNormalAbsolute(path)) {
        out += path; // the usual case, piece splitting spared
        return;
    }
    while (!path.empty()) {
        const auto slash = path.find('/');
        const std::string_view piece = path.substr(0, slash);
        path = slash == std::string_view::npos ? std::string_view() : path.substr(slash + 1);
        if (piece.empty() || piece == ".") {
            continue;
        }
        if (piece == "..") {
            const auto last = out.rfind('/');
            out.resize(last == std::string::npos ? 0 : last);
            continue;
        }
        out += '/';
        out += piece;
    }
}

} // namespace

std::string normalize(std::string_view path, std::optional<std::string_view> relativeTo) {
    std::string out;
    if (path.empty() || path.front() != '/') {
        const std::string_view base = relativeTo ? *relativeTo : std::string_view("/");
        out.reserve(base.size() + 1 + path.size());
        appendPieces(out, base);
    } else {
        out.reserve(path.size());
    }
    appendPieces(out, path);
    if (out.empty()) {
        out.push_back('/');
    }
    return out;
}

std::string expandTilde(std::string_view path, std::string_view home) {
    if (path == "~") {
        return std::string(home);
    }
    if (path.starts_with("~/")) {
        std::string out(home);
        out += '/';
        out += path.substr(2);
        return out;
    }
    return std::string(path);
}

std::optional<std::string> realPath(const std::string& path) {
    // The kernel names an opened path in three calls; the C library's walk asks once
    // per component.
    UniqueFd fd(::open(path.c_str(), O_PATH | O_CLOEXEC));
    if (!fd) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) {
            return std::nullopt;
        }
    } else {
        char link[32];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd.get());
        char target[PATH_MAX];
        const ssize_t n = ::readlink(link, target, sizeof target);
        if (n > 0 && static_cast<std::size_t>(n) < sizeof target && target[0] == '/') {
            return std::string(target, static_cast<std::size_t>(n));
        }
    }
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) {
        return std::nullopt;
    }
    return std::string(resolved.get());
}

std::string parent(std::string_view path) {
    auto slash = path.rfind('/');
    if (slash == std::string_view::npos || slash == 0) {
        return "/";
    }
    return std::string(path.substr(0, slash));
}

std::string join(std::string_view folder, std::string_view tail) {
    // Built by appending: GCC 12 at -O3 misreads `"/" + std::string(...)` as an
    // overlapping copy (-Wrestrict).
    std::string out;
    out.reserve(folder.size() + 1 + tail.size());
    if (folder != "/") {
        out.append(folder);
    }
    out += '/';
    out.append(tail);
    return out;
}

std::size_t componentCount(std::string_view path) {
    std::size_t count = 0;
    bool inPiece = false;
    for (char c : path) {
        if (c == '/') {
            inPiece = false;
        } else if (!inPiece) {
            inPiece = true;
            ++count;
        }
    }
    return count;
}

std::string lastComponent(std::string_view path) {
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

bool isSameOrInside(std::string_view path, std::string_view ancestor, bool caseSensitive) {
    if (ancestor == "/") {
        return true;
    }
    if (!caseSensitive) {
        const std::string p = text::lowercased(path);
        const std::string a = text::lowercased(ancestor);
        return p == a || (p.size() > a.size() && p.starts_with(a) && p[a.size()] == '/');
    }
    return path == ancestor || (path.size() > ancestor.size() && path.starts_with(ancestor) &&
                                path[ancestor.size()] == '/');
}

std::optional<bool> systemCaseProbe(const std::string& path) {
    struct statfs fs {};
    if (::statfs(path.c_str(), &fs) != 0) {
        return std::nullopt;
    }
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x4d44UL:     // FAT
    case 0x2011BAB0UL: // exFAT
    case 0x5346544eUL: // NTFS
        return false;
    default:
        break;
    }
    // ext4 folders can be case-folding one by one.
    UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (fd) {
        int flags = 0;
        if (::ioctl(fd.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0) {
            return false;
        }
    }
    return true;
}

namespace {
CaseProbe& caseProbe() {
    static CaseProbe probe;
    return probe;
}
} // namespace

void setCaseProbe(CaseProbe probe) {
    caseProbe() = std::move(probe);
}

bool isCaseSensitiveVolume(const std::string& path) {
    std::string current = path;
    for (;;) {
        auto answer = caseProbe() ? caseProbe()(current) : systemCaseProbe(current);
        if (answer) {
            return *answer;
        }
        if (current == "/") {
            return true;
        }
        current = parent(current);
    }
}

bool isRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isExecutableFile(const std::string& path) {
    return isRegularFile(path) && ::access(path.c_str(), X_OK) == 0;
}

} // namespace twinlantern::PathUtil
