#pragma once

#include "core/base/ProfileID.h"
#include "core/base/ToolKind.h"

#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

using Environment = std::map<std::string, std::string>;

// One user's home and every location the system derives from it.
struct Paths {
    std::string home; // absolute, normalised
    std::string applicationsDirectory;

    Paths() = default;
    Paths(std::string_view home, std::string applicationsDirectory);

    static Paths forCurrentUser(const Environment& environment);

    std::string supportDirectory() const;
    std::string profilesFile() const;
    std::string lockFile() const;
    std::string shimDirectory() const;
    // Nothing for an id that isn't valid: a hand-edited "../../x" must not escape the
    // support folder.
    std::optional<std::string> dataDirectory(ToolKind tool, const ProfileID& profile) const;

    // "~" for the home folder and "~/…" below it; anything else unchanged.
    std::string abbreviate(std::string_view path) const;
    // Strictly inside the support folder, after normalising; links are not resolved.
    bool isInsideSupportDirectory(std::string_view path) const;

    friend bool operator==(const Paths&, const Paths&) = default;
};

// The process environment as a map.
Environment currentEnvironment();

} // namespace twinlantern
