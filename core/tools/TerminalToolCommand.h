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

// Whether a sign-in command removes the tool's overriding variables from its environment.
enum class OverridingVariables { kept, unset };

// The command that signs the profile in, after its folder is prepared: the tool with
// `arguments` and the profile's environment, without the overriding variables when asked,
// and for a system profile without the config variable too, since the user's shell may
// point the tool elsewhere. Nothing without the tool. Throws what `prepare` throws.
std::optional<SignInCommand> setUp(const ToolAdapter& adapter, const Profile& profile,
                                   const std::optional<std::string>& executable,
                                   std::vector<std::string> arguments,
                                   OverridingVariables overriding);

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
