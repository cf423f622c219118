#pragma once

#include "core/base/UniqueFd.h"
#include "platform/MainLoop.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>

namespace twinlantern {

// Watches one folder's entries (added, removed, renamed; not rewritten in place, not
// in subfolders) and calls the handler on the loop once per burst, when a quiet
// period has passed since the last event. After the folder itself is deleted or moved
// away that one call comes and then nothing more.
class DirectoryWatcher {
    struct Token; // only create() makes one

public:
    static constexpr std::chrono::milliseconds quietPeriod{150};

    // Creates the folder with its parents first (a failure there is ignored). Nothing
    // when it can't be watched; nothing stays open then.
    static std::unique_ptr<DirectoryWatcher>
    create(platform::MainLoop& loop, const std::string& path, std::function<void()> onChange);

    DirectoryWatcher(const Token&, platform::MainLoop& loop, UniqueFd fd, int watch,
                     std::function<void()> onChange);

    // Stops watching; a pending call never runs.
    ~DirectoryWatcher() = default;
    DirectoryWatcher(const DirectoryWatcher&) = delete;
    DirectoryWatcher& operator=(const DirectoryWatcher&) = delete;

private:
    void readEvents();

    platform::MainLoop& loop_;
    UniqueFd fd_;
    int watch_;
    bool folderGone_ = false;
    std::function<void()> onChange_;
    platform::MainLoop::Handle pending_;
    platform::MainLoop::Handle readable_; // last: goes first
};

} // namespace twinlantern
