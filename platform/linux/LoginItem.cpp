#include "platform/LoginItem.h"

#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/TwinLanternError.h"
#include "platform/DesktopEntry.h"

#include <unistd.h>

#include <cerrno>

namespace twinlantern::platform {

namespace {

// An autostart entry is a few hundred bytes; a larger file there is not ours.
constexpr std::size_t maxEntryBytes = 64 * 1024;

std::string configHome(const std::string& home, const Environment& environment) {
    if (const auto found = environment.find("XDG_CONFIG_HOME");
        found != environment.end() && found->second.starts_with('/')) {
        return found->second;
    }
    return home + "/.config";
}

} // namespace

LoginItem::LoginItem(const std::string& home, const Environment& environment,
                     std::string executable)
    : executable_(std::move(executable)) {
    entryPath_ = configHome(home, environment);
    entryPath_ += "/autostart/";
    entryPath_ += entryName;
}

std::string LoginItem::entryText(const std::string& executable) {
    const auto exec = DesktopEntry::exec(executable, {std::string(launchedAtLoginFlag)});
    if (!exec) {
        throw TwinLanternError::io(
            "Couldn't turn on opening at login: the app's path has a control character.");
    }
    std::string text = "[Desktop Entry]\nType=Application\nName=TwinLantern\nExec=";
    text += *exec;
    text += "\nTerminal=false\nX-GNOME-Autostart-enabled=true\n";
    return text;
}

bool LoginItem::isEnabledEntry(std::string_view text, const std::string& executable) {
    const auto hidden = DesktopEntry::value(text, "Hidden");
    if (hidden && *hidden == "true") {
        return false;
    }
    const auto exec = DesktopEntry::value(text, "Exec");
    if (!exec) {
        return false;
    }
    const auto arguments = DesktopEntry::command(*exec);
    return arguments && !arguments->empty() && arguments->front() == executable;
}

LoginItem::Status LoginItem::status() const {
    const ReadResult read = readWholeFile(entryPath_, maxEntryBytes);
    if (read.bytes && isEnabledEntry(*read.bytes, executable_)) {
        return Status::enabled;
    }
    return Status::notRegistered;
}

void LoginItem::registerItem() const {
    const std::string text = entryText(executable_);
    if (!makeDirectories(PathUtil::parent(entryPath_), 0755)) {
        throw TwinLanternError::ioErrno("write " + entryPath_, errno);
    }
    if (const auto failure = writeFileAtomically(entryPath_, text, 0644)) {
        throw TwinLanternError::ioErrno("write " + entryPath_, failure->error);
    }
}

void LoginItem::unregister() const {
    if (::unlink(entryPath_.c_str()) != 0 && errno != ENOENT && errno != ENOTDIR) {
        throw TwinLanternError::ioErrno("remove " + entryPath_, errno);
    }
}

} // namespace twinlantern::platform
