#pragma once

#include <sys/resource.h>

#include <csignal>

#include "core/base/Paths.h"

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::testing {

// A folder from mkdtemp, removed with everything in it (links not followed).
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(std::string_view relative) const {
        return path_ + "/" + std::string(relative);
    }

private:
    std::string path_;
};

// The process's working folder moved to `folder` for the object's lifetime.
class WorkingFolder {
public:
    explicit WorkingFolder(const std::string& folder);
    ~WorkingFolder();
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;

private:
    std::string before_;
};

// A throw-away home folder with its Paths; nothing reads the real user's files.
struct TempHome {
    TempDir dir;
    Paths paths{dir.path(), dir.path() + "/Applications"};
    const std::string& home() const { return paths.home; }
};

void writeFile(const std::string& path, std::string_view bytes, mode_t mode = 0644);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
mode_t fileMode(const std::string& path); // permission bits, lstat
void makeDirs(const std::string& path);
void removeTree(const std::string& path);
std::vector<std::string> lines(std::string_view text);
// The inode of what stands at path (links not followed), 0 when nothing: shows a rewrite.
ino_t inode(const std::string& path);
// Whether the process still runs: false once it has ended, as a zombie or reaped.
bool processRuns(pid_t pid);
// Names of the entries of a folder, sorted; empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& path);

// How long a test waits for something it needs before it fails: far beyond a healthy
// run even on a machine at load 17, so only a real fault reaches it.
inline constexpr std::chrono::seconds patience{60};
// The same for Qt's waits, which take milliseconds as an int.
inline constexpr int patienceMs = 60'000;

// Polls `done` every few milliseconds until it holds; false when `limit` ran out first.
bool eventually(const std::function<bool()>& done, std::chrono::milliseconds limit = patience);

// RLIMIT_FSIZE for the scope, with SIGXFSZ ignored so a write past it fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) : previous_(std::signal(SIGXFSZ, SIG_IGN)) {
        ::getrlimit(RLIMIT_FSIZE, &old_);
        rlimit limit = old_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit old_{};
    void (*previous_)(int);
};

} // namespace twinlantern::testing

// Short name that does not clash with GoogleTest's ::testing.
namespace tltest = twinlantern::testing;
