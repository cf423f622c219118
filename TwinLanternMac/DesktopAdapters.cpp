#include "TwinLanternMac/DesktopAdapters.h"

#include "TwinLanternMac/ChatGPTAppAdapter.h"
#include "TwinLanternMac/ClaudeDesktopAdapter.h"
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

} // namespace twinlantern::DesktopAdapters
