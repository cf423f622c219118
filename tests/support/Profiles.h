#pragma once

#include "core/profiles/Profile.h"

#include <string>
#include <vector>

namespace twinlantern::testing {

// A profile as tests need one: blue, the default badge, both terminal tools, managed.
Profile profile(const std::string& id, const std::string& name = "Work",
                Profile::Storage storage = Profile::Storage::managed,
                std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex});
Profile profile(const std::string& id, Profile::Storage storage,
                std::vector<ToolKind> tools = {ToolKind::claudeCode, ToolKind::codex});

} // namespace twinlantern::testing
