#include "TwinLanternMac/apps/ProfileLaunchLock.h"

#include "TwinLanternMac/apps/DesktopLauncher.h"
#include "core/base/PrivateFolder.h"
#include "core/base/TwinLanternError.h"

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
    // Another user who could change the folder could plant a link, hold the lock or
    // swap the data folders beside it.
    const UniqueFd folder = openPrivateFolder(directory);
    path_ = directory + "/" + fileName(key);
    file_ = LockFile::openIn(folder.get(), fileName(key));
    if (!file_) {
        throw TwinLanternError::io(file_.belongsToAnotherUser()
                                       ? "Couldn't open " + path_ + ": " + file_.problem() + "."
                                       : "Couldn't open " + path_);
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (file_.tryLock()) {
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
    file_.close();
    held_ = false;
}

} // namespace twinlantern
