#pragma once

#include "core/base/Paths.h"
#include "core/profiles/ProfileDocument.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// What a `claude` or `codex` shim changes in the environment before it becomes the
// real tool. A variable the user exported always wins; we only remove what we set,
// which the marker variable records.
namespace ShimPlan {

inline constexpr const char* markerVariable = "TWINLANTERN_MANAGED_VARS";
inline constexpr const char* profileVariable = "TWINLANTERN_PROFILE";

struct Changes {
    Environment set;                    // variables to set or replace
    std::vector<std::string> unset;     // variables to remove, sorted
    std::optional<std::string> profile; // the applied profile's name
    std::optional<Profile> prepare;     // a managed profile whose folder must exist

    Environment applied(const Environment& environment) const;

    friend bool operator==(const Changes&, const Changes&) = default;
};

// The names the marker variable lists; empty pieces are dropped.
std::set<std::string> managedNames(const Environment& environment);

std::optional<ToolKind> tool(std::string_view name);
std::vector<std::string> variables(ToolKind kind);

Changes changes(std::string_view toolName, const Environment& environment, const std::string& cwd,
                const ProfileDocument& document, const Paths& paths);

// Makes the profile's tool folder ready when it is not; failures are dropped and the
// tool reports them itself.
void prepare(const Changes& changes, std::string_view toolName, const Paths& paths,
             const Environment& environment);

} // namespace ShimPlan
} // namespace twinlantern
