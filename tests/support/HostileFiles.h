#pragma once

#include <chrono>
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::testing {

// What stands where a reader of outside files expects a small regular file.
enum class Hostile {
    fifo,        // a read would block for ever
    folder,      //
    devZeroLink, // a link to /dev/zero: endless bytes
    overLimit,   // a valid text padded with blanks to one byte past the reader's limit
    sparseHuge,  // 2 GB by ftruncate, no real disk
};

struct HostileCase {
    Hostile kind;
    const char* name;
};
const std::vector<HostileCase>& hostileCases();

// Puts the case at path (its folder must exist). overLimit pads validText with spaces.
void makeHostile(Hostile kind, const std::string& path, std::size_t limit,
                 std::string_view validText);

// What stands at path and what its folder holds, to show nothing was written.
struct FolderSnapshot {
    std::vector<std::string> entries;
    unsigned mode = 0; // st_mode of path, links not followed
    long long size = 0;
    friend bool operator==(const FolderSnapshot&, const FolderSnapshot&) = default;
};
FolderSnapshot snapshot(const std::string& path);
void PrintTo(const FolderSnapshot& snapshot, std::ostream* out);

// A valid Info.plist whose dictionary names identifier (and an executable "Claude") and
// holds arrays nested depth deep: XML (about 15 bytes a level) or binary.
std::string deepPropertyList(std::size_t depth, bool binary, std::string_view identifier);

// A bound for every reader: nothing may block or read a huge file.
inline constexpr std::chrono::seconds hostileReadBound{1};

} // namespace twinlantern::testing
