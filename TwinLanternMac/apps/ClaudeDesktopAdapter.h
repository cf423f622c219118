#pragma once

#include "TwinLanternMac/apps/DesktopAppAdapter.h"
#include "core/tools/DesktopInstall.h"

namespace twinlantern {

// Claude Desktop: a managed profile's instance keeps its data in the profile's
// "desktop" folder; a system profile uses the ordinary instance.
class ClaudeDesktopAdapter final : public DesktopAppAdapter {
public:
    static constexpr const char* appName = "Claude Desktop";

    explicit ClaudeDesktopAdapter(ToolContext context,
                                  std::string bundleID = DesktopInstall::bundleID)
        : DesktopAppAdapter(ToolKind::claudeDesktop, std::move(context), std::move(bundleID)) {}

    ToolStatus status(const Profile& profile) const override;
    void prepare(const Profile& profile) const override { createDataDirectory(profile); }
    void removeData(const Profile& profile) const override;
    DesktopLauncher::LaunchResult open(const Profile& profile) const override;
};

} // namespace twinlantern
