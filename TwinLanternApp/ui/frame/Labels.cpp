#include "TwinLanternApp/ui/frame/Labels.h"

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

std::string menuLabel(std::string_view before, std::string_view name, std::string_view after) {
    const std::string shown = text::withoutBidiControls(name);
    const auto isolated = [](std::string_view s) {
        std::string out = "\u2068";
        out += s;
        out += "\u2069";
        return out;
    };
    const std::size_t b = text::characterCount(before);
    const std::size_t n = text::characterCount(shown);
    const std::size_t a = text::characterCount(after);
    std::string out;
    if (b + n + a <= 30) {
        out = std::string(before) + isolated(shown) + std::string(after);
        return out;
    }
    std::size_t room = 29;
    if (b >= room) {
        out = text::firstCharacters(before, room);
    } else if (b + n >= room) {
        out = std::string(before) + isolated(text::firstCharacters(shown, room - b));
    } else {
        out = std::string(before) + isolated(shown) + text::firstCharacters(after, room - b - n);
    }
    out += "…";
    return out;
}

} // namespace twinlantern::ui
