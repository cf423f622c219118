#pragma once

#include "TwinLanternMac/apps/DesktopAppAdapter.h"
#include "core/tools/ToolAdapter.h"

#include <memory>
#include <vector>

// The one way from a tool kind to its adapter for programs with the desktop half: the
// desktop apps' adapters built here, the terminal tools' ones by the core's registry. Each
// is a switch over every kind without a default, so a new kind doesn't compile until it
// has an adapter.
namespace twinlantern::DesktopAdapters {

std::unique_ptr<ToolAdapter> adapter(ToolKind kind, ToolContext context);

// Every tool's adapter in table order.
std::vector<std::unique_ptr<ToolAdapter>> all(const ToolContext& context);

// A desktop app's adapter; nothing for a terminal tool.
std::shared_ptr<DesktopAppAdapter> app(ToolKind kind, ToolContext context);

} // namespace twinlantern::DesktopAdapters
