#pragma once

#include "core/tools/ToolAdapter.h"

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace twinlantern {

// The terminal tools' adapters and the variables the system manages per profile. A tool's
// facts are its row in toolTable (core/base/ToolKind.h); its behaviour is its adapter,
// built here.
namespace ToolRegistry {

// Each terminal tool's configuration variable, in table order.
inline constexpr std::array<const char*, terminalTools.size()> managedVariables = [] {
    std::array<const char*, terminalTools.size()> names{};
    for (std::size_t i = 0; i < names.size(); ++i) {
        names[i] = toolInfo(terminalTools[i]).configVariable;
    }
    return names;
}();

// The adapter of a terminal tool over the context; nothing for the desktop apps, whose
// adapters live with the desktop integration (DesktopAdapters answers for every kind).
std::unique_ptr<ToolAdapter> adapter(ToolKind kind, ToolContext context);

// Every terminal tool's adapter in table order: Claude Code, then Codex.
std::vector<std::unique_ptr<ToolAdapter>> cliAdapters(const ToolContext& context);

// What a shell needs to act as the profile; empty without one.
Environment environment(const Profile* profile, const ToolContext& context);

} // namespace ToolRegistry
} // namespace twinlantern
