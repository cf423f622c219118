#pragma once

#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "core/tools/ToolAdapter.h"
#include "platform/Workspace.h"

#include <memory>
#include <optional>
#include <string>

namespace twinlantern {

// What the two desktop apps' adapters share: a bundle to drive through the launcher, a
// workspace over the context's folders and a lock folder beside the profiles' folders.
class DesktopAppAdapter : public ToolAdapter {
public:
    const std::string& bundleID() const { return bundleID_; }
    platform::Workspace& workspace() const { return *workspace_; }

    bool isInstalled() const override;
    Environment environment(const Profile&) const override { return {}; }
    std::optional<SignInCommand> setUp(const Profile& profile) const override;
    void launch(const Profile& profile) const override { open(profile); }

    // Focuses the profile's instance or starts it. Blocks; throws TwinLanternError.
    virtual DesktopLauncher::LaunchResult open(const Profile& profile) const = 0;
    // True when no instance of the profile runs any more; a system profile's (the
    // default instance) is never quit. Blocks up to the quit timeout.
    bool quitInstance(const Profile& profile) const;
    std::optional<DesktopLauncher::Instance> runningInstance(const Profile& profile) const;
    // The folder the profile's instance runs on; absent for a system profile, and for a
    // managed profile whose id has no folder (which then has no instance at all).
    std::optional<std::string> userDataDirectory(const Profile& profile) const {
        return dataDirectory(profile);
    }

    // The lock folder: the tool's folder under the support folder.
    std::string lockDirectory() const;
    void setQuitTimeout(double seconds) { quitTimeout_ = seconds; }

protected:
    DesktopAppAdapter(ToolKind kind, ToolContext context, std::string bundleID);

    // A managed profile whose id gives no folder: not the system profile's default
    // instance, and nothing of its own either.
    static bool isManaged(const Profile& profile) {
        return profile.storage == Profile::Storage::managed;
    }
    // Quits the instance, then deletes the folder; refuses with `stillRunning` while the
    // instance runs on.
    void removeDataQuitting(const Profile& profile, const std::string& stillRunning) const;

private:
    std::string bundleID_;
    std::shared_ptr<platform::Workspace> workspace_;
    double quitTimeout_ = 10;
};

} // namespace twinlantern
