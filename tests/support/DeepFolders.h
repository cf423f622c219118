#pragma once

#include "core/base/UniqueFd.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern::testing {

// A chain of folders whose path outgrows PATH_MAX, made and removed one folder at a time
// relative to its parent (a path-based call, TempDir's removal too, stops at PATH_MAX).
class DeepFolder {
public:
    // `base` (which exists) with 200-byte names below it until the path is `bytes` long.
    DeepFolder(std::string base, std::size_t bytes);
    ~DeepFolder();
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;

    // The deepest folder.
    const std::string& path() const { return path_; }
    // Goes on until the path is `bytes` longer; the new deepest folder.
    const std::string& deepen(std::size_t bytes);
    // A file in the deepest folder.
    void writeFile(const std::string& name, std::string_view bytes) const;

    // While it lives, this process works in the deepest folder; then where it was.
    class Inside {
    public:
        explicit Inside(const DeepFolder& folder);
        ~Inside();
        Inside(const Inside&) = delete;
        Inside& operator=(const Inside&) = delete;

    private:
        UniqueFd before_;
    };

private:
    UniqueFd openDeepest() const;

    std::string base_;
    std::string path_;
    std::vector<std::string> names_;
};

} // namespace twinlantern::testing
