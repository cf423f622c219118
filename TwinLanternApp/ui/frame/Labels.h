#pragma once

#include "core/profiles/Profile.h"

#include <string>
#include <string_view>

// Words the interface builds from a profile, as plain functions.
namespace twinlantern::ui {

// The phrase of a tool in summaries and the "Use it for" checkboxes: "Claude app",
// "ChatGPT app", "Claude Code (terminal)", "Codex (terminal)".
const char* toolPhrase(ToolKind kind);

// What the profile is for, in one line: "Nothing yet", one phrase, "A and B",
// "A, B and C", or "Claude, ChatGPT and the terminal" for all four tools.
std::string functionSummary(const Profile& profile);

// The menu's label rule: 31 user-perceived characters or more become the first 29 and
// "…"; 30 or fewer stay whole.
std::string menuLabel(std::string_view label);
// The same rule over a title made of a profile name between two texts: the name is an
// isolated run (text::bidiIsolated), and only what is seen is counted.
std::string menuLabel(std::string_view before, std::string_view name, std::string_view after = {});

} // namespace twinlantern::ui
