#include "core/tools/ToolRegistry.h"

#include "core/tools/ClaudeCodeAdapter.h"
#include "core/tools/CodexAdapter.h"

namespace twinlantern::ToolRegistry {

std::vector<std::unique_ptr<ToolAdapter>> cliAdapters(const ToolContext& context) {
    std::vector<std::unique_ptr<ToolAdapter>> adapters;
    adapters.push_back(std::make_unique<ClaudeCodeAdapter>(context));
    adapters.push_back(std::make_unique<CodexAdapter>(context));
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
