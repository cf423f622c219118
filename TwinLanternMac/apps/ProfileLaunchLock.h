#pragma once

#include "core/base/LockFile.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace twinlantern {

// The cross-process lock that keeps two launches off one user-data folder: an flock on
// <folder>/.launch-<hash of the key>.lock. The app and every launcher bundle compute
// the same name on their own, so the hash never changes.
class ProfileLaunchLock {
public:
    static constexpr std::chrono::milliseconds defaultWait{15000};

    // Creates the lock folder (0700, with parents) or checks that an existing one is
    // this user's private folder, opens the lock file (0600, this user's own), then waits
    // up to `wait` for the lock. Running out of time is no error: the object comes back
    // without the lock and the launch goes on. Throws TwinLanternError when the folder or
    // the file cannot be made or is not safe to use.
    ProfileLaunchLock(const std::string& directory, const std::string& key,
                      std::chrono::milliseconds wait = defaultWait);
    ~ProfileLaunchLock() { release(); }
    ProfileLaunchLock(const ProfileLaunchLock&) = delete;
    ProfileLaunchLock& operator=(const ProfileLaunchLock&) = delete;

    bool held() const { return held_; }
    const std::string& path() const { return path_; }
    // Unlocks and closes; a second call does nothing.
    void release();

    // The 64-bit FNV-1a step over the key's bytes from a start value of our own.
    static std::uint64_t hash(const std::string& key);
    // ".launch-" + lowercase hex of the hash without leading zeros + ".lock".
    static std::string fileName(const std::string& key);

    // The key of a user-data folder, shared by the app and the launcher: "default" for
    // the default instance, else `DesktopLauncher::compareForm` of the folder.
    static std::string key(const std::optional<std::string>& userDataDirectory);

private:
    LockFile file_;
    bool held_ = false;
    std::string path_;
};

} // namespace twinlantern
