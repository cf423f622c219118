#pragma once

#include "core/tools/ToolAdapter.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// Codex, `codex`: a profile's data lives in the folder CODEX_HOME names, whose
// config.toml keeps the login in the keyring (on Linux: when one answers).
class CodexAdapter final : public ToolAdapter {
public:
    static constexpr const char* binaryName = toolInfo(ToolKind::codex).command;
    static constexpr const char* configVariable = toolInfo(ToolKind::codex).configVariable;
    static constexpr ToolNames overridingVariables = toolInfo(ToolKind::codex).overridingVariables;
    // The ChatGPT desktop app, which carries its own copy of the tool.
    static constexpr const char* desktopAppBundleID = toolInfo(ToolKind::chatGPTApp).bundleID;
#ifdef __linux__
    // "auto": the Secret Service when it answers, else a 0600 auth.json in the profile's
    // folder. "keyring" would make sign-in fail outright where there is no Secret Service
    // (an SSH login, a server).
    static constexpr std::string_view configText =
        "# Written by TwinLantern for this profile. Keeps this profile's Codex login in the\n"
        "# system keyring when one answers, else in a private auth.json in this folder.\n"
        "# Add your own settings below.\n"
        "cli_auth_credentials_store = \"auto\"\n";
#else
    static constexpr std::string_view configText =
        "# Written by TwinLantern for this profile. Keeps this profile's Codex login in the\n"
        "# macOS Keychain instead of a plaintext auth.json. Add your own settings below.\n"
        "cli_auth_credentials_store = \"keyring\"\n";
#endif

    struct LoginState {
        enum class Case { signedIn, signedOut, unknown };
        Case state = Case::unknown;
        std::string method; // signedIn only
        friend bool operator==(const LoginState&, const LoginState&) = default;
    };

    explicit CodexAdapter(ToolContext context) : ToolAdapter(ToolKind::codex, std::move(context)) {}

    bool isInstalled() const override;
    Environment environment(const Profile& profile) const override;
    ToolStatus status(const Profile& profile) const override;
    void prepare(const Profile& profile) const override;
    std::optional<SignInCommand> setUp(const Profile& profile) const override;
    void removeData(const Profile& profile) const override;
    std::optional<std::string> bundledBinary() const override;
    bool isPrepared(const std::string& dataDirectory) const override;

    // The codex on PATH (never a shim), else the desktop app's copy.
    std::optional<std::string> binaryPath() const;
    // True when only the desktop app's copy exists.
    bool usesBundledCodex() const;

    // The app's own copy: the hinted app first, then the usual applications folders.
    static std::vector<std::string> bundledCandidates(const Paths& paths);
    static std::optional<std::string> bundledCodex(const Paths& paths);
    // Where the app last saw the ChatGPT app bundle.
    static std::string bundledHintFile(const Paths& paths);

    static LoginState parseLoginStatus(std::string_view text);

    // How long the tool's own commands may run before they are stopped.
    void setCommandTimeout(double seconds) {
        commandTimeout_ = seconds;
    }

private:
    // The reduced environment plus the profile's own variable.
    Environment helperEnvironment(const Profile& profile) const;

    double commandTimeout_ = 15;
};

} // namespace twinlantern
