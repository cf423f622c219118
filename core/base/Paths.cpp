#include "core/base/Paths.h"

#include "core/base/PathUtil.h"

#include <pwd.h>
#include <unistd.h>

extern char** environ;

namespace twinlantern {

Paths::Paths(std::string_view home_, std::string applications)
    : home(PathUtil::normalize(home_)), applicationsDirectory(std::move(applications)) {}

Paths Paths::forCurrentUser(const Environment& environment) {
    auto it = environment.find("HOME");
    if (it != environment.end() && it->second.starts_with("/")) {
        return Paths(it->second, "/Applications");
    }
    if (const passwd* pw = ::getpwuid(::getuid());
        pw != nullptr && pw->pw_dir != nullptr && pw->pw_dir[0] == '/') {
        return Paths(pw->pw_dir, "/Applications");
    }
    return Paths("/", "/Applications");
}

std::string Paths::supportDirectory() const {
    return PathUtil::join(home, "Library/Application Support/TwinLantern");
}
std::string Paths::profilesFile() const {
    return supportDirectory() + "/profiles.json";
}
std::string Paths::lockFile() const {
    return supportDirectory() + "/.profiles.lock";
}
std::string Paths::shimDirectory() const {
    return PathUtil::join(home, ".twinlantern/bin");
}

std::optional<std::string> Paths::dataDirectory(ToolKind tool, const ProfileID& profile) const {
    if (!profile.isValid()) {
        return std::nullopt;
    }
    return supportDirectory() + "/" + dataFolderName(tool) + "/" + profile.rawValue;
}

std::string Paths::abbreviate(std::string_view path) const {
    if (path == home) {
        return "~";
    }
    const std::string prefix = home + "/";
    if (path.starts_with(prefix)) {
        return "~/" + std::string(path.substr(prefix.size()));
    }
    return std::string(path);
}

bool Paths::isInsideSupportDirectory(std::string_view path) const {
    if (path.empty() || path.front() != '/') {
        return false; // a relative path names nothing we can vouch for
    }
    const std::string normalized = PathUtil::normalize(path, "/");
    const std::string prefix = supportDirectory() + "/";
    return normalized.size() > prefix.size() && normalized.starts_with(prefix);
}

Environment currentEnvironment() {
    Environment env;
    for (char** e = environ; e != nullptr && *e != nullptr; ++e) {
        std::string_view entry(*e);
        auto eq = entry.find('=');
        if (eq == std::string_view::npos) {
            continue;
        }
        env.emplace(std::string(entry.substr(0, eq)), std::string(entry.substr(eq + 1)));
    }
    return env;
}

} // namespace twinlantern
