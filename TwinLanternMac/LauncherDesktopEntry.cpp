#include "TwinLanternMac/LauncherDesktopEntry.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "core/tools/ProcessRunner.h"

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

std::string escapedString(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string quotedExecArgument(std::string_view argument) {
    std::string quoted = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (c == '%') {
            quoted += "%%";
        } else {
            quoted += c;
        }
    }
    quoted += '"';
    return escapedString(quoted);
}

std::string text(std::string_view name, std::string_view program, std::string_view icon,
                 std::string_view profileID) {
    std::string out = "[Desktop Entry]\n"
                      "Type=Application\n"
                      "Version=1.4\n";
    out += "Name=" + escapedString(name) + "\n";
    // GLib looks for the Exec line's first word as a file before it turns "%%" into "%",
    // so a program whose path holds "%" is started through env.
    out += "Exec=";
    if (program.find('%') != std::string_view::npos) {
        out += "/usr/bin/env ";
    }
    out += quotedExecArgument(program) + "\n";
    out += "Icon=" + escapedString(icon) + "\n";
    out += "Terminal=false\n"
           "StartupNotify=false\n";
    out += "X-TwinLantern-Profile=" + escapedString(profileID) + "\n";
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
