#include "core/tools/DesktopInstall.h"

#include "core/base/FileUtil.h"
#include "core/base/JsonDecode.h"
#include "core/base/PathUtil.h"

#include <plist/plist.h>

#include <dirent.h>

#include <algorithm>
#include <memory>

namespace twinlantern {

namespace {

// Info.plist files are a few kilobytes; anything this large is not one.
constexpr std::size_t maxInfoPlistBytes = 4 * 1024 * 1024;

struct PlistFree {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<std::remove_pointer_t<plist_t>, PlistFree>;

struct DirCloser {
    void operator()(DIR* dir) const { ::closedir(dir); }
};

struct BundleInfo {
    std::optional<std::string> identifier;
    std::optional<std::string> shortVersion;
};

std::optional<std::string> stringValue(plist_t dict, const char* key) {
    plist_t node = plist_dict_get_item(dict, key);
    if (node == nullptr || plist_get_node_type(node) != PLIST_STRING) {
        return std::nullopt;
    }
    std::uint64_t length = 0;
    const char* text = plist_get_string_ptr(node, &length);
    if (text == nullptr) {
        return std::nullopt;
    }
    return std::string(text, length);
}

std::optional<BundleInfo> readBundleInfo(const std::string& bundle) {
    ReadResult read = readWholeFile(bundle + "/Contents/Info.plist", maxInfoPlistBytes);
    if (!read.bytes || read.bytes->empty()) {
        return std::nullopt;
    }
    const std::string& bytes = *read.bytes;
    plist_t root = nullptr;
    if (plist_is_binary(bytes.data(), static_cast<std::uint32_t>(bytes.size()))) {
        plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    } else {
        plist_from_xml(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &root);
    }
    PlistPtr owned(root);
    if (root == nullptr || plist_get_node_type(root) != PLIST_DICT) {
        return std::nullopt;
    }
    return BundleInfo{stringValue(root, "CFBundleIdentifier"),
                      stringValue(root, "CFBundleShortVersionString")};
}

// Bundle names in one folder, sorted so that two runs pick the same copy.
std::vector<std::string> bundlesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
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

std::optional<DesktopInstall> DesktopInstall::locate(const Paths& paths,
                                                     std::string_view bundleIdentifier) {
    for (const std::string& folder : applicationFolders(paths)) {
        for (const std::string& name : bundlesIn(folder)) {
            const std::string bundle = (folder == "/" ? "" : folder) + "/" + name;
            if (!PathUtil::isDirectory(bundle)) {
                continue;
            }
            auto info = readBundleInfo(bundle);
            if (info && info->identifier == bundleIdentifier) {
                return DesktopInstall{bundle, info->shortVersion};
            }
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
