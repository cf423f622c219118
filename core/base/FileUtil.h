#pragma once

#include "core/base/UniqueFd.h"

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

// A file opened for reading that is known to be regular and within a size limit.
struct OpenedFile {
    UniqueFd fd;          // invalid on failure
    std::size_t size = 0; // from fstat
    int error = 0;        // errno of the failure
};

// Opens a file we do not own without blocking on a FIFO or taking a terminal, then
// refuses a folder (EISDIR), anything else that is not a regular file (EINVAL) and a file
// larger than maxBytes (EFBIG), all before a byte is read.
OpenedFile openRegularFile(const std::string& path, std::size_t maxBytes);

// Reads until end-of-file or capacity bytes, resuming after EINTR. -1 with errno on
// failure.
ssize_t readUpTo(int fd, char* buffer, std::size_t capacity);

struct ReadResult {
    std::optional<std::string> bytes; // absent on failure
    int error = 0;                    // errno of the failure
};

// The whole of a regular file of at most maxBytes, through openRegularFile; a file that
// grows past the limit while it is read is refused with EFBIG.
ReadResult readWholeFile(const std::string& path, std::size_t maxBytes);

// target + ".tmp." + pid + "." + a secure random 32-bit number.
std::string temporaryPathFor(const std::string& target);

struct AtomicWriteFailure {
    enum class Stage {
        create, // the temporary file could not be created
        write,  // writing, fsync or rename failed; the temporary file is gone
    };
    Stage stage;
    int error;
    std::string temporaryPath;
};

// Temporary file beside the target (O_EXCL, created with the final mode so a private
// file's text is never readable by others), all bytes, fsync, rename. The mode is set
// with fchmod so the umask does not decide it. On failure the target is untouched and
// no temporary file is left.
std::optional<AtomicWriteFailure> writeFileAtomically(const std::string& target,
                                                      std::string_view bytes, mode_t mode);

// The name a chain of symbolic links at path ends in, whether or not anything is there
// (a dangling link gives the missing file it names); path itself when it is no link.
// ELOOP after 40 links.
std::optional<std::string> finalLinkTarget(const std::string& path, int* error = nullptr);

// Replaces the file at the end of path's links atomically, so a link into a dotfiles
// folder stays a link; keeps the replaced file's permission bits, or newMode when
// nothing is there yet. 0, or errno.
int writeFileThroughLinks(const std::string& path, std::string_view bytes, mode_t newMode);

// Removes path and, when it is a folder, everything in it, depth first; links are
// removed as links and never followed. Nothing there is fine. 0, or errno.
int removeTreeWithoutFollowing(const std::string& path);

// Writes all of bytes to fd, resuming after partial writes and EINTR. errno on failure.
bool writeAll(int fd, std::string_view bytes);

// mkdir -p with the given mode for the folders it creates. errno on failure.
bool makeDirectories(const std::string& path, mode_t mode);

} // namespace twinlantern
