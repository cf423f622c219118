#include "TwinLanternMac/services/DirectoryWatcher.h"

#include <sys/inotify.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace twinlantern {

struct DirectoryWatcher::Token {};

namespace {
// Entry events only: a file rewritten in place is not a change of the folder.
constexpr std::uint32_t watchedEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO |
                                        IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
} // namespace

std::unique_ptr<DirectoryWatcher> DirectoryWatcher::create(platform::MainLoop& loop,
                                                           const std::string& path,
                                                           std::function<void()> onChange) {
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
    if (!fd) {
        return nullptr;
    }
    const int watch = ::inotify_add_watch(fd.get(), path.c_str(), watchedEvents);
    if (watch < 0) {
        return nullptr;
    }
    return std::make_unique<DirectoryWatcher>(Token{}, loop, std::move(fd), watch,
                                              std::move(onChange));
}

DirectoryWatcher::DirectoryWatcher(const Token&, platform::MainLoop& loop, UniqueFd fd, int watch,
                                   std::function<void()> onChange)
    : loop_(loop), fd_(std::move(fd)), watch_(watch), onChange_(std::move(onChange)) {
    readable_ = loop_.watchReadable(fd_.get(), [this] { readEvents(); });
}

void DirectoryWatcher::readEvents() {
    alignas(inotify_event) std::array<char, 16384> buffer;
    bool changed = false;
    for (;;) {
        const ssize_t got = ::read(fd_.get(), buffer.data(), buffer.size());
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            break;
        }
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer.data() + at, sizeof event);
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (folderGone_) {
                continue;
            }
            // A lost queue means changes we can't see: count it as one.
            if (event.mask & (IN_Q_OVERFLOW | watchedEvents)) {
                changed = true;
            }
            if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF)) {
                // A moved folder keeps its watch; what happens there is no longer ours.
                folderGone_ = true;
                ::inotify_rm_watch(fd_.get(), watch_);
            }
        }
    }
    if (!changed) {
        return;
    }
    pending_ = loop_.postAfter(quietPeriod, [this] {
        // The handler may destroy this watcher: call a copy.
        auto handler = onChange_;
        handler();
    });
}

} // namespace twinlantern
