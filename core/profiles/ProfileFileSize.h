#pragma once

#include "core/profiles/ProfileDocument.h"

#include <cstddef>

namespace twinlantern {

// The size of the profiles file that would hold a document, summed from its parts, so
// a caller can try many candidate documents without encoding each one.
class ProfileFileSize {
public:
    // Starts from the document as the store would write it (its version made current).
    explicit ProfileFileSize(const ProfileDocument& document);

    void add(const Profile& profile);
    void add(const FolderRule& rule);

    std::size_t bytes() const;

private:
    struct Array {
        std::size_t count = 0;
        std::size_t elements = 0; // their texts, indented, without separators
        std::size_t bytes() const;
    };
    std::size_t fixed_ = 0; // everything but the two arrays
    Array profiles_;
    Array rules_;
};

} // namespace twinlantern
