#pragma once

#include "core/profiles/Profile.h"
#include "core/profiles/ProfileDocument.h"

#include <cstddef>

#include <string>
#include <vector>

namespace twinlantern::testing {

// A profile as tests need one: blue, the default badge, both terminal tools, managed.
Profile profile(const std::string& id, const std::string& name = "Work",
                Profile::Storage storage = Profile::Storage::managed,
                std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex});
Profile profile(const std::string& id, Profile::Storage storage,
                std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex});

// Profiles "p-0", "p-1", … named "P0", "P1", …, and one rule for "p-0" whose long path
// makes the written profiles file exactly `bytes` long (throws when they can't fit).
ProfileDocument documentOfSize(std::size_t bytes, std::size_t profiles);

} // namespace twinlantern::testing
