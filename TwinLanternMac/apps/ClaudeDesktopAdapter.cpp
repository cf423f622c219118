#include "TwinLanternMac/apps/ClaudeDesktopAdapter.h"

#include "core/base/UniqueFd.h"

#include <dirent.h>

#include <memory>

namespace twinlantern {

namespace {

// A folder that cannot be listed counts as empty.
bool hasEntries(const std::string& folder) {
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir) {
        return false;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name(entry->d_name);
        if (name != "." && name != "..") {
            return true;
        }
    }
    return false;
}

} // namespace

ToolStatus ClaudeDesktopAdapter::status(const Profile& profile) const {
    if (!isInstalled()) {
        return ToolStatus::notInstalled();
    }
    if (!isManaged(profile)) {
        return ToolStatus::ready("Uses your existing Claude Desktop");
    }
    const auto folder = dataDirectory(profile);
    if (!folder || !hasEntries(*folder)) {
        return ToolStatus::notSetUp();
    }
    return ToolStatus::ready(runningInstance(profile) ? "Running" : "Not running");
}

void ClaudeDesktopAdapter::removeData(const Profile& profile) const {
    // Linux apps quit from their own window's Quit, or by closing it; there is no Cmd-Q.
    removeDataQuitting(profile, "Claude \u2014 " + profile.name +
                                    " is still running. Quit it (Quit in its window, or close "
                                    "the window), then try again.");
}

DesktopLauncher::LaunchResult ClaudeDesktopAdapter::open(const Profile& profile) const {
    auto folder = dataDirectory(profile);
    if (isManaged(profile) && !folder) {
        createDataDirectory(profile); // throws the invalid id's error
    }
    return DesktopLauncher::open(workspace(), folder, bundleID(), lockDirectory(), {}, appName);
}

} // namespace twinlantern
