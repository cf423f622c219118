#include "tests/support/TestSupport.h"

#include "core/base/FileUtil.h"

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

namespace twinlantern::testing {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/tl-test-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    // Resolve /tmp links so paths compare equal to what the kernel reports.
    char resolved[PATH_MAX];
    path_ = ::realpath(pattern.c_str(), resolved) != nullptr ? resolved : pattern;
}

TempDir::~TempDir() {
    removeTree(path_);
}

WorkingFolder::WorkingFolder(const std::string& folder)
    : before_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder);
}

WorkingFolder::~WorkingFolder() {
    std::error_code ignored;
    std::filesystem::current_path(before_, ignored);
}

void writeFile(const std::string& path, std::string_view bytes, mode_t mode) {
    auto slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        makeDirs(path.substr(0, slash));
    }
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        throw std::runtime_error("cannot write " + path);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    ::chmod(path.c_str(), mode);
}

std::string readFile(const std::string& path) {
    auto r = readWholeFile(path, SIZE_MAX);
    if (!r.bytes) {
        throw std::runtime_error("cannot read " + path);
    }
    return *r.bytes;
}

bool exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

mode_t fileMode(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) {
        return 0;
    }
    return st.st_mode & 07777;
}

void makeDirs(const std::string& path) {
    if (!makeDirectories(path, 0755)) {
        throw std::runtime_error("cannot create " + path);
    }
}

void removeTree(const std::string& path) {
    ::nftw(
        path.c_str(),
        // Only folders need opening up, and chmod would follow a link out of the tree
        // (to the built resolver, to /dev/null).
        [](const char* p, const struct stat*, int type, struct FTW*) {
            if (type == FTW_D || type == FTW_DNR) {
                ::chmod(p, 0700);
            }
            return 0;
        },
        32, FTW_PHYS);
    ::nftw(
        path.c_str(),
        [](const char* p, const struct stat*, int, struct FTW*) { return ::remove(p); }, 32,
        FTW_DEPTH | FTW_PHYS);
}

std::vector<std::string> lines(std::string_view text) {
    std::vector<std::string> out;
    while (!text.empty()) {
        auto lf = text.find('\n');
        out.emplace_back(text.substr(0, lf));
        if (lf == std::string_view::npos) {
            break;
        }
        text.remove_prefix(lf + 1);
    }
    return out;
}

ino_t inode(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

std::vector<std::string> folderEntries(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator it(path, error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

bool processRuns(pid_t pid) {
    const auto r = readWholeFile("/proc/" + std::to_string(pid) + "/stat", 1 << 16);
    if (!r.bytes) {
        return false; // reaped: nothing left to read
    }
    const std::string& stat = *r.bytes;
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

} // namespace twinlantern::testing
