#include "core/tools/DesktopInstall.h"

#include "core/base/JsonDecode.h"
#include "core/base/PathUtil.h"
#include "core/base/PropertyList.h"
#include "core/base/UniqueFd.h"

#include <dirent.h>

#include <algorithm>
#include <memory>

namespace twinlantern {

namespace {

// Bundle names in one folder, sorted so that two runs pick the same copy.
std::vector<std::string> bundlesIn(const std::string& folder) {
    std::vector<std::string> names;
    UniqueDir dir(::opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = ::readdir(dir.get())) {
        std::string_view name(entry->d_name);
        if (name.size() > 4 && name.ends_with(".app")) {
            names.emplace_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

std::optional<DesktopInstall::BundleInfo>
DesktopInstall::readBundleInfo(const std::string& bundle) {
    const auto info = PropertyList::readDictionary(bundle + "/Contents/Info.plist", nullptr,
                                                   PropertyList::maxScannedFileBytes);
    if (!info) {
        return std::nullopt;
    }
    return BundleInfo{info->string("CFBundleIdentifier"), info->string("CFBundleExecutable"),
                      info->string("CFBundleShortVersionString")};
}

std::vector<std::string> DesktopInstall::applicationFolders(const Paths& paths) {
    std::vector<std::string> folders;
    for (std::string folder : {paths.applicationsDirectory, paths.home + "/Applications"}) {
        folder = PathUtil::normalize(folder);
        if (!folder.empty() && std::find(folders.begin(), folders.end(), folder) == folders.end()) {
            folders.push_back(folder);
        }
    }
    return folders;
}

std::vector<std::string> DesktopInstall::bundles(const Paths& paths) {
    std::vector<std::string> found;
    for (const std::string& folder : applicationFolders(paths)) {
        for (const std::string& name : bundlesIn(folder)) {
            std::string bundle = (folder == "/" ? "" : folder) + "/" + name;
            if (PathUtil::isDirectory(bundle)) {
                found.push_back(std::move(bundle));
            }
        }
    }
    return found;
}

std::optional<DesktopInstall> DesktopInstall::locate(const Paths& paths,
                                                     std::string_view bundleIdentifier) {
    for (const std::string& bundle : bundles(paths)) {
        auto info = readBundleInfo(bundle);
        if (info && info->identifier == bundleIdentifier) {
            return DesktopInstall{bundle, info->shortVersion};
        }
    }
    return std::nullopt;
}

void to_json(nlohmann::json& j, const DesktopInstall& install) {
    j = nlohmann::json::object();
    j["path"] = install.path;
    if (install.version) {
        j["version"] = *install.version;
    }
}

void from_json(const nlohmann::json& j, DesktopInstall& install) {
    using namespace json_decode;
    DesktopInstall out;
    out.path = string(required(j, "path", "a desktop install"), "a desktop install's \"path\"");
    if (const auto* v = member(j, "version", "a desktop install"); v != nullptr && !v->is_null()) {
        out.version = string(*v, "a desktop install's \"version\"");
    }
    install = std::move(out);
}

} // namespace twinlantern
