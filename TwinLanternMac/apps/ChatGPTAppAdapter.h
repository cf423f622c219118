#pragma once

#include "TwinLanternMac/apps/DesktopAppAdapter.h"
#include "core/tools/CodexAdapter.h"

namespace twinlantern {

// The ChatGPT app: a managed profile's instance keeps its data in the profile's
// "chatgpt-app" folder and signs in through the profile's Codex folder (CODEX_HOME).
class ChatGPTAppAdapter final : public DesktopAppAdapter {
public:
    static constexpr const char* appBundleID = CodexAdapter::desktopAppBundleID;

    explicit ChatGPTAppAdapter(ToolContext context, std::string bundleID = appBundleID)
        : DesktopAppAdapter(ToolKind::chatGPTApp, std::move(context), std::move(bundleID)) {}

    ToolStatus status(const Profile& profile) const override;
    void prepare(const Profile& profile) const override;
    void removeData(const Profile& profile) const override;
    DesktopLauncher::LaunchResult open(const Profile& profile) const override;

    // The installed app's file name without ".app"; "ChatGPT" when it isn't installed.
    std::string appName() const;
    // How long the Codex tool's own commands may run.
    void setCommandTimeout(double seconds) { commandTimeout_ = seconds; }

private:
    CodexAdapter codex() const;

    double commandTimeout_ = 15;
};

} // namespace twinlantern
