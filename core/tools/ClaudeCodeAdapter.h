#pragma once

#include "core/tools/ToolAdapter.h"

#include <optional>
#include <string>
#include <string_view>

namespace twinlantern {

// Claude Code, `claude`: a profile's data lives in the folder CLAUDE_CONFIG_DIR names.
class ClaudeCodeAdapter final : public ToolAdapter {
public:
    static constexpr const char* binaryName = toolInfo(ToolKind::claudeCode).command;
    static constexpr const char* configVariable = toolInfo(ToolKind::claudeCode).configVariable;
    static constexpr ToolNames overridingVariables =
        toolInfo(ToolKind::claudeCode).overridingVariables;

    struct AuthStatus {
        bool loggedIn = false;
        AccountInfo account;
        friend bool operator==(const AuthStatus&, const AuthStatus&) = default;
    };

    explicit ClaudeCodeAdapter(ToolContext context)
        : ToolAdapter(ToolKind::claudeCode, std::move(context)) {}

    bool isInstalled() const override;
    Environment environment(const Profile& profile) const override;
    ToolStatus status(const Profile& profile) const override;
    void prepare(const Profile& profile) const override;
    std::optional<SignInCommand> setUp(const Profile& profile) const override;
    void removeData(const Profile& profile) const override;

    // The real `claude`, never a shim.
    std::optional<std::string> binaryPath() const;

    // The JSON object in `claude auth status` output, or nothing.
    static std::optional<AuthStatus> parseAuthStatus(std::string_view text);

    // How long the tool's own commands may run before they are stopped.
    void setCommandTimeout(double seconds) { commandTimeout_ = seconds; }

private:
    // The reduced environment plus the profile's own variable.
    Environment helperEnvironment(const Profile& profile) const;

    double commandTimeout_ = 15;
};

} // namespace twinlantern
