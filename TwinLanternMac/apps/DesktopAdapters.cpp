#include "TwinLanternMac/apps/DesktopAdapters.h"

#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"
#include "TwinLanternMac/apps/ClaudeDesktopAdapter.h"
#include "core/tools/ToolRegistry.h"

namespace twinlantern::DesktopAdapters {

std::unique_ptr<ToolAdapter> adapter(ToolKind kind, ToolContext context) {
    switch (kind) {
    case ToolKind::claudeDesktop:
        return std::make_unique<ClaudeDesktopAdapter>(std::move(context));
    case ToolKind::chatGPTApp:
        return std::make_unique<ChatGPTAppAdapter>(std::move(context));
    case ToolKind::claudeCode:
    case ToolKind::codex:
        return ToolRegistry::adapter(kind, std::move(context));
    }
    return nullptr;
}

std::vector<std::unique_ptr<ToolAdapter>> all(const ToolContext& context) {
    std::vector<std::unique_ptr<ToolAdapter>> adapters;
    for (ToolKind kind : allToolKinds) {
        adapters.push_back(adapter(kind, context));
    }
    return adapters;
}

std::shared_ptr<DesktopAppAdapter> app(ToolKind kind, ToolContext context) {
    switch (kind) {
    case ToolKind::claudeDesktop:
        return std::make_shared<ClaudeDesktopAdapter>(std::move(context));
    case ToolKind::chatGPTApp:
        return std::make_shared<ChatGPTAppAdapter>(std::move(context));
    case ToolKind::claudeCode:
    case ToolKind::codex:
        return nullptr;
    }
    return nullptr;
}

} // namespace twinlantern::DesktopAdapters
