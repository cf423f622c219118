#include "core/tools/ToolRegistry.h"

#include "core/tools/ClaudeCodeAdapter.h"
#include "core/tools/CodexAdapter.h"

namespace twinlantern::ToolRegistry {

std::unique_ptr<ToolAdapter> adapter(ToolKind kind, ToolContext context) {
    switch (kind) { // no default: a new kind is a compile error here until it is handled
    case ToolKind::claudeCode:
        return std::make_unique<ClaudeCodeAdapter>(std::move(context));
    case ToolKind::codex:
        return std::make_unique<CodexAdapter>(std::move(context));
    case ToolKind::claudeDesktop:
    case ToolKind::chatGPTApp:
        return nullptr;
    }
    return nullptr;
}

std::vector<std::unique_ptr<ToolAdapter>> cliAdapters(const ToolContext& context) {
    std::vector<std::unique_ptr<ToolAdapter>> adapters;
    for (ToolKind kind : terminalTools) {
        adapters.push_back(adapter(kind, context));
    }
    return adapters;
}

Environment environment(const Profile* profile, const ToolContext& context) {
    if (profile == nullptr) {
        return {};
    }
    Environment env{{"TWINLANTERN_PROFILE", profile->name}};
    for (const auto& adapter : cliAdapters(context)) {
        if (profile->uses(adapter->kind())) {
            for (auto& [name, value] : adapter->environment(*profile)) {
                env[name] = value;
            }
        }
    }
    return env;
}

} // namespace twinlantern::ToolRegistry
