#include "core/tools/CodexAdapter.h"

#include "core/base/FileUtil.h"
#include "core/base/PathHint.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

namespace twinlantern {

bool CodexAdapter::isInstalled() const {
    return binaryPath().has_value();
}

std::optional<std::string> CodexAdapter::binaryPath() const {
    if (auto found = context().locator().find(binaryName)) {
        return found;
    }
    return bundledCodex(context().paths);
}

std::optional<std::string> CodexAdapter::bundledBinary() const {
    return bundledCodex(context().paths);
}

bool CodexAdapter::isPrepared(const std::string& dataDirectory) const {
    return PathUtil::isDirectory(dataDirectory) &&
           PathUtil::isRegularFile(dataDirectory + "/config.toml");
}

bool CodexAdapter::usesBundledCodex() const {
    return !context().locator().find(binaryName) && bundledCodex(context().paths);
}

Environment CodexAdapter::environment(const Profile& profile) const {
    if (auto folder = dataDirectory(profile)) {
        return {{configVariable, *folder}};
    }
    return {};
}

std::string CodexAdapter::bundledHintFile(const Paths& paths) {
    return paths.supportDirectory() + "/codex-app-path";
}

std::vector<std::string> CodexAdapter::bundledCandidates(const Paths& paths) {
    std::vector<std::string> apps;
    if (std::optional<std::string> hint = readPathHint(bundledHintFile(paths));
        hint && hint->ends_with(".app")) {
        apps.push_back(std::move(*hint));
    }
    apps.push_back(paths.applicationsDirectory + "/ChatGPT.app");
    apps.push_back(paths.applicationsDirectory + "/Codex.app");
    apps.push_back(paths.home + "/Applications/ChatGPT.app");
    apps.push_back(paths.home + "/Applications/Codex.app");
    for (auto& app : apps) {
        app += "/Contents/Resources/codex-cli/bin/codex";
    }
    return apps;
}

std::optional<std::string> CodexAdapter::bundledCodex(const Paths& paths) {
    for (auto& candidate : bundledCandidates(paths)) {
        if (PathUtil::isExecutableFile(candidate)) {
            return std::move(candidate);
        }
    }
    return std::nullopt;
}

void CodexAdapter::prepare(const Profile& profile) const {
    auto folder = createDataDirectory(profile);
    if (!folder) {
        return;
    }
    const std::string file = *folder + "/config.toml";
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0) {
        return; // the user's settings stay
    }
    if (auto failure = writeFileAtomically(file, configText, 0600)) {
        throw TwinLanternError::io("Couldn't write " + file + ": " + std::strerror(failure->error));
    }
}

} // namespace twinlantern
