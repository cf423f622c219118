#pragma once

#include "core/base/Paths.h"

#include <sys/types.h>

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
// Names of the entries of a folder, sorted; empty when it cannot be read.
std::vector<std::string> folderEntries(const std::string& path);

} // namespace twinlantern::testing

// Short name that does not clash with GoogleTest's ::testing.
namespace tltest = twinlantern::testing;
