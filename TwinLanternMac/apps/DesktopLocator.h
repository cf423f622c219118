#pragma once

#include "core/base/Paths.h"
#include "core/tools/DesktopInstall.h"
#include "platform/Workspace.h"

#include <optional>
#include <string>

namespace twinlantern::DesktopLocator {

// The installed app with that identifier and its version; nothing when none is known.
std::optional<DesktopInstall> locate(const platform::Workspace& workspace,
                                     const std::string& bundleID);

// Keeps <support>/codex-app-path naming the ChatGPT app's bundle for the programs that
// have no workspace: rewritten only when its text differs, removed when the app is gone.
// Never fails; never blocks on whatever stands at that path.
void recordCodexAppLocation(const Paths& paths, const platform::Workspace& workspace);

} // namespace twinlantern::DesktopLocator
