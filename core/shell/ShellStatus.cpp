#include "core/base/FileUtil.h"
#include "core/base/PathUtil.h"
#include "core/base/UniqueFd.h"
#include "core/shell/ShellIntegration.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace twinlantern {

namespace {

std::optional<std::string> trimmedFile(const std::string& path) {
    ReadResult r = readWholeFile(path, 1u << 20);
    if (!r.bytes) {
        return std::nullopt;
    }
    const std::string& text = *r.bytes;
    const char* space = " \t\n\r\v\f";
    auto first = text.find_first_not_of(space);
    if (first == std::string::npos) {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

} // namespace

bool ShellIntegration::sameContents(const std::string& a, const std::string& b) {
    UniqueFd fa(::open(a.c_str(), O_RDONLY | O_CLOEXEC));
    UniqueFd fb(::open(b.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fa || !fb) {
        return false;
    }
    char ba[65536];
    char bb[65536];
    for (;;) {
        ssize_t na = ::read(fa.get(), ba, sizeof ba);
        if (na < 0) {
            return false;
        }
        std::size_t got = 0;
        while (got < static_cast<std::size_t>(na)) {
            ssize_t nb = ::read(fb.get(), bb + got, static_cast<std::size_t>(na) - got);
            if (nb <= 0) {
                return false;
            }
            got += static_cast<std::size_t>(nb);
        }
        if (std::memcmp(ba, bb, got) != 0) {
            return false;
        }
        if (na == 0) {
            char extra = 0;
            return ::read(fb.get(), &extra, 1) == 0;
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
    status.appPath = trimmedFile(appPathFile());
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
        trimmedFile(appPathFile()) == path) {
        return;
    }
    try {
        write(path + "\n", appPathFile());
    } catch (const std::exception&) {
    }
}

} // namespace twinlantern
