#pragma once

#include "core/base/Paths.h"

#include <string>
#include <vector>

namespace twinlantern {

// An environment in the form execve and posix_spawn take: "NAME=value" strings and
// a closing null pointer. Two allocations whatever its size; it stays where it was
// built, since the pointers point into its own text.
class EnvironmentBlock {
public:
    explicit EnvironmentBlock(const Environment& environment);
    EnvironmentBlock(const EnvironmentBlock&) = delete;
    EnvironmentBlock& operator=(const EnvironmentBlock&) = delete;

    char* const* data() const { return pointers_.data(); }

private:
    std::string text_;
    std::vector<char*> pointers_;
};

} // namespace twinlantern
