#include "TwinLanternMac/signin/SignInLauncher.h"

#include "core/base/FileUtil.h"
#include "core/base/Random.h"
#include "core/base/ShellQuote.h"
#include "core/base/Text.h"
#include "core/base/TwinLanternError.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace twinlantern::SignInLauncher {

namespace {

std::string scriptName() {
    char name[9];
    std::snprintf(name, sizeof name, "%08X", static_cast<unsigned>(secureRandomU32()));
    return "sign-in-" + std::string(name) + ".command";
}

std::string variable(const Environment& environment, const char* name) {
    const auto found = environment.find(name);
    return found == environment.end() ? std::string() : found->second;
}

// The user's own folder that no one else may enter, not reached through a link.
bool isPrivateFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 077) == 0;
}

} // namespace

bool isPlainPath(std::string_view path) {
    if (!path.starts_with('/') || path.find("/../") != path.npos || path.ends_with("/..")) {
        return false;
    }
    for (const char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '.' || c == '_' || c == '-' ||
                           c == '+' || c == ',' || c == '@';
        if (!plain) {
            return false;
        }
    }
    return true;
}

std::string scriptDirectory(const Environment& environment, const std::string& home) {
    const std::string runtime = variable(environment, "XDG_RUNTIME_DIR");
    if (isPlainPath(runtime) && isPrivateFolder(runtime)) {
        const std::string folder = runtime + "/twinlantern-sign-in";
        struct stat st {};
        if (::lstat(folder.c_str(), &st) != 0 || isPrivateFolder(folder)) {
            return folder;
        }
    }
    std::string cache = variable(environment, "XDG_CACHE_HOME");
    if (!cache.starts_with('/')) {
        cache = home + "/.cache";
    }
    if (isPlainPath(cache)) {
        return cache + "/twinlantern/sign-in";
    }
    std::string temporary = variable(environment, "TMPDIR");
    if (!isPlainPath(temporary)) {
        temporary = "/tmp";
    }
    std::string folder = temporary + "/twinlantern-sign-in-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) {
        throw TwinLanternError::ioErrno("create " + folder, errno);
    }
    return folder;
}

std::string inertTitle(std::string_view title) {
    return text::terminalSafe(title);
}

std::string scriptText(const SignInCommand& command, std::string_view title,
                       std::string_view searchPath) {
    std::string s;
    s += "#!/bin/zsh\n";
    s += "# Opened by TwinLantern. Safe to close once you're signed in.\n";
    s += "export PATH=" + ShellQuote::quote(searchPath) + "\n";
    s += "clear\n";
    s += "printf '\\033[1m%s\\033[0m\\n' " + ShellQuote::quote(inertTitle(title)) + "\n";
    s += "echo \"Follow the steps below. TwinLantern notices when you're signed in.\"\n";
    s += "echo\n";
    s += command.shellLine() + "\n";
    s += "rc=$?\n";
    s += "echo\n";
    s += "if [ $rc -eq 0 ]; then echo \"Done. You can close this window.\"; else echo "
         "\"Sign-in didn't finish (exit $rc). Close this window and try again from "
         "TwinLantern.\"; fi\n";
    s += "rm -f -- \"$0\"\n";
    return s;
}

std::string openTerminal(platform::Workspace& workspace, const SignInCommand& command,
                         std::string_view title, std::string_view searchPath,
                         const std::string& scratchDirectory) {
    if (!makeDirectories(scratchDirectory, 0700)) {
        throw TwinLanternError::ioErrno("create " + scratchDirectory, errno);
    }
    const std::string path = scratchDirectory + "/" + scriptName();
    // Created 0700 before the rename, so the script is never there with another mode.
    if (const auto failure =
            writeFileAtomically(path, scriptText(command, title, searchPath), 0700)) {
        throw TwinLanternError::ioErrno("write " + path, failure->error);
    }
    if (!workspace.openInTerminal(path)) {
        throw TwinLanternError::io("Couldn't open Terminal for sign-in.");
    }
    return path;
}

} // namespace twinlantern::SignInLauncher
