#include "TwinLanternApp/ui/Labels.h"

#include "core/base/Text.h"

#include <vector>

namespace twinlantern::ui {

const char* toolPhrase(ToolKind kind) {
    switch (kind) {
    case ToolKind::claudeDesktop:
        return "Claude app";
    case ToolKind::chatGPTApp:
        return "ChatGPT app";
    case ToolKind::claudeCode:
        return "Claude Code (terminal)";
    case ToolKind::codex:
        return "Codex (terminal)";
    }
    return "";
}

std::string functionSummary(const Profile& profile) {
    std::vector<std::string> phrases;
    for (const ToolKind kind : profile.tools()) {
        phrases.emplace_back(toolPhrase(kind));
    }
    if (phrases.empty()) {
        return "Nothing yet";
    }
    if (phrases.size() == 1) {
        return phrases.front();
    }
    if (phrases.size() == allToolKinds.size()) {
        return "Claude, ChatGPT and the terminal";
    }
    std::string out = text::joined({phrases.begin(), phrases.end() - 1}, ", ");
    out += " and ";
    out += phrases.back();
    return out;
}

std::string menuLabel(std::string_view label) {
    if (text::characterCount(label) <= 30) {
        return std::string(label);
    }
    std::string out = text::firstCharacters(label, 29);
    out += "…";
    return out;
}

} // namespace twinlantern::ui
