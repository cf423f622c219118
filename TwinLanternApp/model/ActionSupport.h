#pragma once

#include "TwinLanternApp/model/AppModel.h"
#include "TwinLanternMac/ChatGPTAppAdapter.h"
#include "TwinLanternMac/ClaudeDesktopAdapter.h"

#include <memory>
#include <string>

// What the model's actions share and nobody else needs.
namespace twinlantern::app::actions {

// The adapter of a desktop app over the context as it is now: ChatGPT for its kind,
// Claude Desktop for any other.
inline std::shared_ptr<DesktopAppAdapter> desktopAdapter(ToolKind kind,
                                                         const ToolContext& context) {
    if (kind == ToolKind::chatGPTApp) {
        return std::make_shared<ChatGPTAppAdapter>(context);
    }
    return std::make_shared<ClaudeDesktopAdapter>(context);
}

// A success message for whoever shows them; dropped when nobody does.
inline void report(const std::string& message) {
    if (Feedback::handler) {
        Feedback::handler(message);
    }
}

} // namespace twinlantern::app::actions
