#include "TwinLanternMac/apps/ChatGPTAppAdapter.h"

#include "core/base/PathUtil.h"

namespace twinlantern {

CodexAdapter ChatGPTAppAdapter::codex() const {
    CodexAdapter adapter(context());
    adapter.setCommandTimeout(commandTimeout_);
    return adapter;
}

std::string ChatGPTAppAdapter::appName() const {
    const auto location = workspace().applicationLocation(bundleID());
    if (!location) {
        return "ChatGPT";
    }
    std::string name = PathUtil::lastComponent(*location);
    if (name.ends_with(".app")) {
        name.resize(name.size() - 4);
    }
    return name;
}

ToolStatus ChatGPTAppAdapter::status(const Profile& profile) const {
    if (!isInstalled()) {
        return ToolStatus::notInstalled();
    }
    if (!isManaged(profile)) {
        return ToolStatus::ready("Uses your usual " + appName() + " app");
    }
    ToolStatus status = codex().status(profile);
    if (status.state == ToolStatus::Case::needsAttention) {
        return ToolStatus::notSetUp();
    }
    return status;
}

void ChatGPTAppAdapter::prepare(const Profile& profile) const {
    if (!isManaged(profile)) {
        return;
    }
    createDataDirectory(profile);
    codex().prepare(profile);
}

void ChatGPTAppAdapter::removeData(const Profile& profile) const {
    removeDataQuitting(profile, appName() + " \u2014 " + profile.name +
                                    " is still running. Quit it, then try again.");
}

DesktopLauncher::LaunchResult ChatGPTAppAdapter::open(const Profile& profile) const {
    Environment extra;
    if (isManaged(profile)) {
        prepare(profile); // throws the invalid id's error before anything starts
        if (auto codexHome = context().paths.dataDirectory(ToolKind::codex, profile.id)) {
            extra["CODEX_HOME"] = *codexHome;
        }
    }
    return DesktopLauncher::open(workspace(), dataDirectory(profile), bundleID(), lockDirectory(),
                                 extra, appName());
}

} // namespace twinlantern
