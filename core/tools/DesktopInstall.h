#pragma once

#include "core/base/Paths.h"
#include "core/base/ToolKind.h"

#include <nlohmann/json_fwd.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace twinlantern {

// An installed Claude Desktop (or any app bundle found by its identifier).
struct DesktopInstall {
    static constexpr const char* bundleID = toolInfo(ToolKind::claudeDesktop).bundleID;

    std::string path; // the .app bundle
    std::optional<std::string> version;

    // The first "*.app" directly inside the applications folders of `paths` whose
    // Contents/Info.plist (XML or binary) has this CFBundleIdentifier; the version is
    // its CFBundleShortVersionString when that is a string. Never throws.
    static std::optional<DesktopInstall> locate(const Paths& paths,
                                                std::string_view bundleIdentifier = bundleID);
    // What a bundle's Contents/Info.plist (XML or binary, at most
    // PropertyList::maxScannedFileBytes) says of it; the one reader of bundles. Nothing
    // when the file can't be read as a dictionary.
    struct BundleInfo {
        std::optional<std::string> identifier;
        std::optional<std::string> executable; // CFBundleExecutable
        std::optional<std::string> shortVersion;
    };
    static std::optional<BundleInfo> readBundleInfo(const std::string& bundle);

    // Every "*.app" folder directly inside the applications folders, in the order locate
    // looks at them (links to bundles included).
    static std::vector<std::string> bundles(const Paths& paths);

    // paths.applicationsDirectory, then ~/Applications, without repeats.
    static std::vector<std::string> applicationFolders(const Paths& paths);

    friend bool operator==(const DesktopInstall&, const DesktopInstall&) = default;
};

void to_json(nlohmann::json& j, const DesktopInstall& install);
void from_json(const nlohmann::json& j, DesktopInstall& install);

} // namespace twinlantern
