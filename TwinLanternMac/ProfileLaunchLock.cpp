#include "TwinLanternMac/ProfileLaunchLock.h"

#include "TwinLanternMac/DesktopLauncher.h"
#include "core/base/FileUtil.h"
#include "core/base/TwinLanternError.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <cstdio>
#include <thread>

namespace twinlantern {

namespace {
constexpr std::uint64_t start = 1469598103934665603ULL; // not FNV's published basis
constexpr std::uint64_t prime = 1099511628211ULL;
constexpr std::chrono::milliseconds retry{50};
} // namespace

std::uint64_t ProfileLaunchLock::hash(const std::string& key) {
    std::uint64_t value = start;
    for (unsigned char byte : key) {
        value ^= byte;
        value *= prime;
    }
    return value;
}

std::string ProfileLaunchLock::fileName(const std::string& key) {
    char hex[17];
    std::snprintf(hex, sizeof hex, "%llx", static_cast<unsigned long long>(hash(key)));
    return std::string(".launch-") + hex + ".lock";
}

std::string ProfileLaunchLock::key(const std::optional<std::string>& userDataDirectory) {
    return userDataDirectory ? DesktopLauncher::compareForm(*userDataDirectory) : "default";
}

ProfileLaunchLock::ProfileLaunchLock(const std::string& directory, const std::string& key,
                                     std::chrono::milliseconds wait) {
    if (!makeDirectories(directory, 0777)) {
        throw TwinLanternError::ioErrno("create " + directory, errno);
    }
    path_ = directory + "/" + fileName(key);
    fd_ = UniqueFd(::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOCTTY, 0600));
    if (!fd_) {
        throw TwinLanternError::io("Couldn't open " + path_);
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(fd_.get(), LOCK_EX | LOCK_NB) == 0) {
            held_ = true;
            return;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return;
        }
        std::this_thread::sleep_for(retry);
    }
}

void ProfileLaunchLock::release() {
    if (fd_) {
        ::flock(fd_.get(), LOCK_UN);
        fd_.reset();
    }
    held_ = false;
}

} // namespace twinlantern
