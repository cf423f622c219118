#pragma once

#include "core/tools/ToolAdapter.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace twinlantern {

// The terminal tools' adapters and the variables the system manages per profile.
namespace ToolRegistry {

inline constexpr std::array<const char*, 2> managedVariables = {"CLAUDE_CONFIG_DIR", "CODEX_HOME"};

// Claude Code first, then Codex, both over the context.
std::vector<std::unique_ptr<ToolAdapter>> cliAdapters(const ToolContext& context);

// What a shell needs to act as the profile; empty without one.
Environment environment(const Profile* profile, const ToolContext& context);

} // namespace ToolRegistry
} // namespace twinlantern
