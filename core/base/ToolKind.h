#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string_view>

namespace twinlantern {

// The outside tools. Declaration order is the sort order of every stored tool list.
enum class ToolKind { claudeDesktop, chatGPTApp, claudeCode, codex };

// A short fixed list of names that a table row can hold.
struct ToolNames {
    static constexpr std::size_t capacity = 4;
    std::array<std::string_view, capacity> names{};
    std::size_t count = 0;

    constexpr ToolNames() = default;
    constexpr ToolNames(std::initializer_list<std::string_view> list) {
        if (list.size() > capacity) {
            throw "ToolNames: raise the capacity"; // a compile error in the constant table
        }
        for (std::string_view name : list) {
            names[count++] = name;
        }
    }
    constexpr const std::string_view* begin() const { return names.data(); }
    constexpr const std::string_view* end() const { return names.data() + count; }
    constexpr bool contains(std::string_view name) const {
        return std::find(begin(), end(), name) != end();
    }
};

// Everything the system knows about a tool that is plain data. What it does with the
// tool lives in the tool's adapter (ToolRegistry builds the terminal tools' ones).
// Texts a row does not have stay empty.
struct ToolInfo {
    ToolKind kind;
    const char* rawValue = "";       // in profiles.json, check ids and secret names
    const char* displayName = "";    // shown to the user
    const char* dataFolderName = ""; // the tool's folder under the support folder
    bool isApp = false;              // a desktop app; otherwise a terminal tool
    ToolNames words{};               // tool words a user may type, lower case
    // Terminal tools.
    const char* command = "";        // the executable on PATH, and the name of its shim
    const char* configVariable = ""; // points the tool at a profile's data folder
    ToolNames overridingVariables{}; // make the tool use another account than its folder's
    const char* homeFolder = "";     // the tool's own data folder in the home folder
    const char* logFolder = "";      // session logs, below the data folder
    // Desktop apps.
    const char* bundleID = "";
};

// One row per ToolKind, in declaration order.
inline constexpr std::array<ToolInfo, 4> toolTable = {{
    {
        .kind = ToolKind::claudeDesktop,
        .rawValue = "claude-desktop",
        .displayName = "Claude Desktop",
        .dataFolderName = "desktop",
        .isApp = true,
        .words = {"claude-desktop", "desktop"},
        .bundleID = "com.anthropic.claudefordesktop",
    },
    {
        .kind = ToolKind::chatGPTApp,
        .rawValue = "chatgpt-app",
        .displayName = "ChatGPT app",
        .dataFolderName = "chatgpt-app",
        .isApp = true,
        .words = {"chatgpt-app", "chatgpt", "codex-app"},
        .bundleID = "com.openai.codex",
    },
    {
        .kind = ToolKind::claudeCode,
        .rawValue = "claude-code",
        .displayName = "Claude Code",
        .dataFolderName = "claude-code",
        .words = {"claude-code", "claude", "code"},
        .command = "claude",
        .configVariable = "CLAUDE_CONFIG_DIR",
        .overridingVariables = {"CLAUDE_CODE_OAUTH_TOKEN", "ANTHROPIC_API_KEY",
                                "ANTHROPIC_AUTH_TOKEN"},
        .homeFolder = ".claude",
        .logFolder = "projects",
    },
    {
        .kind = ToolKind::codex,
        .rawValue = "codex",
        .displayName = "Codex",
        .dataFolderName = "codex",
        .words = {"codex"},
        .command = "codex",
        .configVariable = "CODEX_HOME",
        .overridingVariables = {"OPENAI_API_KEY", "CODEX_API_KEY"},
        .homeFolder = ".codex",
        .logFolder = "sessions",
    },
}};

namespace detail {
constexpr bool tableIsSound() {
    for (std::size_t i = 0; i < toolTable.size(); ++i) {
        if (static_cast<std::size_t>(toolTable[i].kind) != i) {
            return false;
        }
        // A terminal tool is reached through its command and pointed at a profile by its
        // variable.
        if (!toolTable[i].isApp &&
            (*toolTable[i].command == '\0' || *toolTable[i].configVariable == '\0')) {
            return false;
        }
    }
    return true;
}
static_assert(tableIsSound(), "toolTable: one row per ToolKind in declaration order; "
                              "terminal rows need a command and a variable");

constexpr std::size_t terminalCount() {
    return static_cast<std::size_t>(std::count_if(toolTable.begin(), toolTable.end(),
                                                  [](const ToolInfo& row) { return !row.isApp; }));
}
} // namespace detail

constexpr const ToolInfo& toolInfo(ToolKind kind) {
    return toolTable[static_cast<std::size_t>(kind)];
}

// Every kind in declaration order.
inline constexpr std::array<ToolKind, toolTable.size()> allToolKinds = [] {
    std::array<ToolKind, toolTable.size()> kinds{};
    for (std::size_t i = 0; i < kinds.size(); ++i) {
        kinds[i] = toolTable[i].kind;
    }
    return kinds;
}();

// The terminal tools, in the same order: the ones with a command, a shim and a variable.
inline constexpr std::array<ToolKind, detail::terminalCount()> terminalTools = [] {
    std::array<ToolKind, detail::terminalCount()> kinds{};
    std::size_t n = 0;
    for (const ToolInfo& row : toolTable) {
        if (!row.isApp) {
            kinds[n++] = row.kind;
        }
    }
    return kinds;
}();

constexpr const char* rawValue(ToolKind kind) {
    return toolInfo(kind).rawValue;
}
constexpr const char* displayName(ToolKind kind) {
    return toolInfo(kind).displayName;
}
constexpr const char* dataFolderName(ToolKind kind) {
    return toolInfo(kind).dataFolderName;
}
constexpr bool isApp(ToolKind kind) {
    return toolInfo(kind).isApp;
}

constexpr std::optional<ToolKind> toolKindFromRawValue(std::string_view raw) {
    for (const ToolInfo& row : toolTable) {
        if (raw == row.rawValue) {
            return row.kind;
        }
    }
    return std::nullopt;
}

// The terminal tool run as `name` ("claude", "codex"); exact and case-sensitive.
constexpr std::optional<ToolKind> toolKindFromCommand(std::string_view name) {
    for (ToolKind kind : terminalTools) {
        if (name == toolInfo(kind).command) {
            return kind;
        }
    }
    return std::nullopt;
}

// A tool word typed by the user: lower-cased, not trimmed.
std::optional<ToolKind> toolKindFromArgument(std::string_view argument);

} // namespace twinlantern
