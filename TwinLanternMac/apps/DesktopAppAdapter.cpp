#include "TwinLanternMac/apps/DesktopAppAdapter.h"

#include "core/base/TwinLanternError.h"

namespace twinlantern {

DesktopAppAdapter::DesktopAppAdapter(ToolKind kind, ToolContext context, std::string bundleID)
    : ToolAdapter(kind, std::move(context)), bundleID_(std::move(bundleID)),
      workspace_(platform::makeWorkspace(this->context().paths, this->context().environment)) {}

bool DesktopAppAdapter::isInstalled() const {
    return workspace_->applicationLocation(bundleID_).has_value();
}

std::optional<SignInCommand> DesktopAppAdapter::setUp(const Profile& profile) const {
    prepare(profile);
    return std::nullopt;
}

std::string DesktopAppAdapter::lockDirectory() const {
    return context().paths.supportDirectory() + "/" + dataFolderName(kind());
}

std::optional<DesktopLauncher::Instance>
DesktopAppAdapter::runningInstance(const Profile& profile) const {
    const auto folder = dataDirectory(profile);
    if (isManaged(profile) && !folder) {
        return std::nullopt; // never the default instance
    }
    return DesktopLauncher::instance(*workspace_, folder, bundleID_);
}

bool DesktopAppAdapter::quitInstance(const Profile& profile) const {
    if (!isManaged(profile)) {
        return true;
    }
    const auto instance = runningInstance(profile);
    if (!instance) {
        return true;
    }
    return DesktopLauncher::quit(*workspace_, *instance, quitTimeout_, false);
}

void DesktopAppAdapter::removeDataQuitting(const Profile& profile,
                                           const std::string& stillRunning) const {
    if (!isManaged(profile)) {
        return;
    }
    if (!quitInstance(profile)) {
        throw TwinLanternError::io(stillRunning);
    }
    deleteDataDirectory(profile);
}

} // namespace twinlantern
