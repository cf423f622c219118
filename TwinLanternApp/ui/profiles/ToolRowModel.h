#pragma once

#include "core/profiles/Profile.h"
#include "core/tools/ToolStatus.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace twinlantern::app {
class AppModel;
}

// What a tool row says and offers, decided apart from the widget.
namespace twinlantern::ui {

// Everything the row depends on, read from the model at once.
struct ToolRowFacts {
    ToolKind tool = ToolKind::claudeCode;
    Profile::Storage storage = Profile::Storage::managed;
    bool signingIn = false;
    std::optional<ToolStatus> status;
    bool usesBundledCodex = false;          // the only codex is the ChatGPT app's own
    std::optional<std::int64_t> weekTokens; // input + output over seven days, when known
    bool running = false;
    bool codexSignInRunning = false;

    static ToolRowFacts of(const app::AppModel& model, const Profile& profile, ToolKind tool);
};

// "Claude Desktop", "ChatGPT app", "Claude Code", "Codex".
std::string toolRowName(ToolKind tool);

// The state, then the Codex login note, then the token note, joined by " · ".
std::string toolRowCaption(const ToolRowFacts& facts);
// Orange when the current status needs attention, whatever the text says.
bool captionNeedsAttention(const ToolRowFacts& facts);

struct ToolRowButton {
    enum class Action { openApp, signIn, signInWithGoogle };
    std::string title;
    std::string help; // the tooltip; empty for none
    Action action = Action::openApp;
    bool enabled = true;
    bool link = false; // drawn as a link

    friend bool operator==(const ToolRowButton&, const ToolRowButton&) = default;
};

// The buttons at the row's end, in order.
std::vector<ToolRowButton> toolRowButtons(const ToolRowFacts& facts);

} // namespace twinlantern::ui
