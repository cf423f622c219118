#pragma once

#include <sys/types.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

struct ReadResult {
    std::optional<std::string> bytes; // absent on failure
    int error = 0;                    // errno of the failure
};

// Reads a whole regular file. Refuses files larger than maxBytes with EFBIG.
ReadResult readWholeFile(const std::string& path, std::size_t maxBytes = SIZE_MAX);

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

// Temporary file beside the target (O_EXCL), all bytes, fsync, rename. The mode is
// set with fchmod so the umask does not decide it. On failure the target is untouched
// and no temporary file is left.
std::optional<AtomicWriteFailure> writeFileAtomically(const std::string& target,
                                                      std::string_view bytes, mode_t mode);

// Writes all of bytes to fd, resuming after partial writes and EINTR. errno on failure.
bool writeAll(int fd, std::string_view bytes);

// mkdir -p with the given mode for the folders it creates. errno on failure.
bool makeDirectories(const std::string& path, mode_t mode);

} // namespace twinlantern
