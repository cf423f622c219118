#pragma once

#include "core/tools/ToolAdapter.h"

#include <memory>

namespace twinlantern::DesktopAdapters {

// The adapter of any tool: the desktop apps' ones built here, the terminal tools' ones
// by the core's registry.
std::unique_ptr<ToolAdapter> adapter(ToolKind kind, ToolContext context);

} // namespace twinlantern::DesktopAdapters
