#include "core/base/FileUtil.h"
#include "core/base/PathHint.h"
#include "core/base/PathUtil.h"
#include "core/shell/ShellIntegration.h"

#include <cstdint>

#include <cstring>

namespace twinlantern {

// Streams both files; neither is read whole, and a pipe or device is never equal.
bool ShellIntegration::sameContents(const std::string& a, const std::string& b) {
    const OpenedFile fa = openRegularFile(a, SIZE_MAX);
    const OpenedFile fb = openRegularFile(b, SIZE_MAX);
    if (!fa.fd || !fb.fd || fa.size != fb.size) {
        return false;
    }
    char ba[65536];
    char bb[65536];
    for (;;) {
        const ssize_t na = readUpTo(fa.fd.get(), ba, sizeof ba);
        const ssize_t nb = readUpTo(fb.fd.get(), bb, sizeof bb);
        if (na < 0 || na != nb || std::memcmp(ba, bb, static_cast<std::size_t>(na)) != 0) {
            return false;
        }
        if (na == 0) {
            return true;
        }
    }
}

ShellIntegration::Status ShellIntegration::status() const {
    Status status;
    status.binariesInstalled = PathUtil::isExecutableFile(libexec() + "/twinlantern-resolve");
    for (auto name : toolNames) {
        status.binariesInstalled =
            status.binariesInstalled &&
            PathUtil::isExecutableFile(shimFolder() + "/" + std::string(name));
    }
    for (const auto& path : targetFiles()) {
        try {
            const std::string text = read(path);
            if (text.find(beginMarker) != std::string::npos) {
                status.blocks.push_back({path, blockIsLast(text)});
            }
        } catch (const std::exception&) {
        }
    }
    status.appPath = readPathHint(appPathFile());
    return status;
}

bool ShellIntegration::refreshBinariesIfStale(const std::string& resolver,
                                              const std::optional<std::string>& cli,
                                              const std::optional<std::string>& launcher) const {
    if (!PathUtil::isDirectory(libexec()) ||
        !PathUtil::isExecutableFile(libexec() + "/twinlantern-resolve")) {
        return false;
    }
    const std::pair<std::optional<std::string>, const char*> pairs[] = {
        {resolver, "twinlantern-resolve"},
        {cli, "twinlantern"},
        {launcher, "twinlantern-launcher"}};
    bool replaced = false;
    for (const auto& [source, name] : pairs) {
        const std::string destination = libexec() + "/" + name;
        if (!source || !PathUtil::isExecutableFile(*source) || sameContents(*source, destination)) {
            continue;
        }
        try {
            copyAtomically(*source, destination);
            replaced = true;
        } catch (const std::exception&) {
        }
    }
    return replaced;
}

void ShellIntegration::recordAppLocation(const std::string& path) const {
    if (!PathUtil::isDirectory(libexec()) || !path.ends_with(".app") ||
        readPathHint(appPathFile()) == path) {
        return;
    }
    try {
        write(path + "\n", appPathFile());
    } catch (const std::exception&) {
    }
}

} // namespace twinlantern
