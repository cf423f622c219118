#include "TwinLanternMac/launchers/LauncherDesktopEntry.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/ProcessRunner.h"
#include "platform/DesktopEntry.h"

#include <cerrno>

namespace twinlantern::LauncherDesktopEntry {

std::string applicationsDirectory(const Environment& environment, const std::string& home) {
    const auto it = environment.find("XDG_DATA_HOME");
    if (it != environment.end() && !it->second.empty() && it->second.front() == '/') {
        return PathUtil::normalize(it->second) + "/applications";
    }
    return PathUtil::normalize(home + "/.local/share/applications");
}

std::string path(const std::string& applicationsDirectory, std::string_view profileID) {
    return applicationsDirectory + "/app.twinlantern.launcher." + std::string(profileID) +
           ".desktop";
}

std::string text(std::string_view name, std::string_view program, std::string_view icon,
                 std::string_view profileID) {
    std::string out = "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Version=1.4\n";
    const auto exec = DesktopEntry::exec(program);
    if (!exec) {
        throw TwinLanternError::io("Couldn't write the launcher's desktop entry: the path " +
                                   std::string(program) + " has a control character.");
    }
    out += "Name=" + DesktopEntry::escaped(name) + "\n";
    out += "Exec=" + *exec + "\n";
    out += "Icon=" + DesktopEntry::escaped(icon) + "\n";
    out += "Terminal=false\n"
           "StartupNotify=false\n";
    out += "X-TwinLantern-Profile=" + DesktopEntry::escaped(profileID) + "\n";
    return out;
}

void write(const std::string& entryPath, const std::string& entryText) {
    if (!makeDirectories(PathUtil::parent(entryPath), 0755)) {
        throw TwinLanternError::ioErrno("write " + entryPath, errno);
    }
    if (auto failure = writeFileAtomically(entryPath, entryText, 0644)) {
        throw TwinLanternError::ioErrno("write " + entryPath, failure->error);
    }
}

void noteChanged(const std::string& applicationsDirectory, const Environment& environment) {
    for (const char* folder : {"/usr/bin", "/bin", "/usr/local/bin"}) {
        const std::string program = std::string(folder) + "/update-desktop-database";
        if (PathUtil::isExecutableFile(program)) {
            Environment childEnvironment = ProcessRunner::baseEnvironment(environment);
            ProcessRunner::runSync(program, {applicationsDirectory}, childEnvironment, 30);
            return;
        }
    }
}

} // namespace twinlantern::LauncherDesktopEntry
