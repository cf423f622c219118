#pragma once

#include "core/base/Paths.h"
#include "core/tools/ProcessRunner.h"
#include "core/tools/ToolAdapter.h"

#include <optional>
#include <string>
#include <vector>

namespace twinlantern {

// How the two terminal-tool adapters run the tool's own commands.
namespace TerminalToolCommand {

// The reduced environment with the profile's own variables on top.
Environment environment(const Environment& context, const Environment& profileVariables);

// notInstalled without the tool, notSetUp for a managed profile without its
// folder; nothing when the tool can be asked.
std::optional<ToolStatus> statusBeforeAsking(const ToolAdapter& adapter, const Profile& profile,
                                             const std::optional<std::string>& executable);

// What a signed-out answer means: a system profile was never set up here.
ToolStatus signedOut(const Profile& profile);

// Signs a profile out before its folder goes: only when the tool exists and the
// folder is a real directory inside the support folder. A link is never followed,
// so signing out can't reach whatever the link points at. The result is ignored.
void signOutBeforeRemoval(const std::optional<std::string>& executable,
                          const std::vector<std::string>& arguments,
                          const std::optional<std::string>& folder, const Paths& paths,
                          const Environment& environment, double timeoutSeconds);

} // namespace TerminalToolCommand
} // namespace twinlantern
