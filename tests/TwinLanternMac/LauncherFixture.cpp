#include "tests/TwinLanternMac/LauncherFixture.h"

#include "TwinLanternMac/launchers/IconRenderer/IconRenderer.h"
#include "core/base/UniqueFd.h"
#include "core/tools/DesktopInstall.h"

#include <QImage>

#include <plist/plist.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace twinlantern::testing {

void makeClaudeBundle(const std::string& path) {
    makeDirs(path + "/Contents/Resources");
    plist_t dict = plist_new_dict();
    plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string(DesktopInstall::bundleID));
    plist_dict_set_item(dict, "CFBundleExecutable", plist_new_string("Claude"));
    plist_dict_set_item(dict, "CFBundleIconFile", plist_new_string("electron.icns"));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(dict, &xml, &length);
    writeFile(path + "/Contents/Info.plist", std::string(xml, length));
    plist_to_xml_free(xml);
    plist_free(dict);
    writeFile(path + "/Contents/MacOS/Claude", "#!/bin/sh\nexit 0\n", 0755);
    QImage base(256, 256, QImage::Format_ARGB32);
    base.fill(QColor(217, 119, 87));
    IconRenderer::writeICNS(base, ProfileColor::graphite, "",
                            path + "/Contents/Resources/electron.icns");
}

LauncherFixture::LauncherFixture() {
    makeClaudeBundle(claudeBundle);
    writeFile(launcherBinary, readFile(TL_HELPERS_DIR "/twinlantern-launcher"), 0755);
    environment = {{"HOME", home.home()},
                   {"PATH", "/usr/bin:/bin"},
                   {"XDG_DATA_HOME", home.dir / "share"},
                   {"XDG_RUNTIME_DIR", runtime.path()}};
}

LauncherGenerator LauncherFixture::generator() const {
    return LauncherGenerator(home.paths, launcherBinary, DesktopInstall::bundleID, environment);
}

namespace {

void collect(const std::string& root, const std::string& relative,
             std::map<std::string, std::string>& out) {
    const std::string path = relative.empty() ? root : root + "/" + relative;
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) {
        return;
    }
    if (S_ISLNK(st.st_mode)) {
        char target[4096];
        const ssize_t n = readlink(path.c_str(), target, sizeof target);
        out[relative] = "-> " + std::string(target, n > 0 ? static_cast<std::size_t>(n) : 0);
    } else if (S_ISDIR(st.st_mode)) {
        out[relative + "/"] = std::to_string(st.st_mode & 07777);
        UniqueDir dir(opendir(path.c_str()));
        while (dir) {
            const dirent* entry = readdir(dir.get());
            if (entry == nullptr) {
                break;
            }
            const std::string name = entry->d_name;
            if (name != "." && name != "..") {
                collect(root, relative.empty() ? name : relative + "/" + name, out);
            }
        }
    } else {
        out[relative] = std::to_string(st.st_mode & 07777) + ":" + readFile(path);
    }
}
} // namespace

std::map<std::string, std::string> treeContents(const std::string& path) {
    std::map<std::string, std::string> out;
    collect(path, "", out);
    return out;
}

} // namespace twinlantern::testing
