#pragma once

#include "core/base/Paths.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// Finds a tool's real executable on a search path, never one of our own shims.
struct BinaryLocator {
    std::string searchPath;                       // colon-separated, as in PATH
    std::vector<std::string> excludedDirectories; // their executables never count

    BinaryLocator(std::string searchPath_, std::vector<std::string> excluding)
        : searchPath(std::move(searchPath_)), excludedDirectories(std::move(excluding)) {}
    // PATH of the environment (default "/usr/bin:/bin:/usr/sbin:/sbin"), shim folder excluded.
    BinaryLocator(const Environment& environment, const Paths& paths);

    std::optional<std::string> find(std::string_view name) const;
    std::optional<std::string> findIncludingExcluded(std::string_view name) const;

    friend bool operator==(const BinaryLocator&, const BinaryLocator&) = default;

private:
    std::optional<std::string> search(std::string_view name, bool excluding) const;
};

} // namespace twinlantern
