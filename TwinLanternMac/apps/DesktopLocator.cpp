#include "TwinLanternMac/apps/DesktopLocator.h"

#include "core/base/FileUtil.h"
#include "core/tools/CodexAdapter.h"

#include <unistd.h>

namespace twinlantern::DesktopLocator {

namespace {
// A path, with room to spare; anything larger is no hint of ours and gets replaced.
constexpr std::size_t maxHintBytes = 64 * 1024;
} // namespace

std::optional<DesktopInstall> locate(const platform::Workspace& workspace,
                                     const std::string& bundleID) {
    auto location = workspace.applicationLocation(bundleID);
    if (!location) {
        return std::nullopt;
    }
    DesktopInstall install{std::move(*location), std::nullopt};
    if (auto info = DesktopInstall::readBundleInfo(install.path)) {
        install.version = std::move(info->shortVersion);
    }
    return install;
}

void recordCodexAppLocation(const Paths& paths, const platform::Workspace& workspace) {
    const std::string hint = CodexAdapter::bundledHintFile(paths);
    const auto app = workspace.applicationLocation(CodexAdapter::desktopAppBundleID);
    if (!app) {
        ::unlink(hint.c_str()); // nothing there is fine; a folder there is left alone
        return;
    }
    if (const auto current = readWholeFile(hint, maxHintBytes).bytes; current && *current == *app) {
        return; // unchanged: keep its mtime
    }
    makeDirectories(paths.supportDirectory(), 0700);
    writeFileAtomically(hint, *app, 0600);
}

} // namespace twinlantern::DesktopLocator
