#include "platform/LoopEngine.h"

#include "core/base/UniqueFd.h"

#include <poll.h>
#include <sys/eventfd.h>

#include <cerrno>
#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace twinlantern::platform {

struct LoopEngine::State {
    struct Watch {
        int fd;
        std::shared_ptr<MainLoop::Callback> callback;
    };
    using TimerKey = std::pair<TimePoint, std::uint64_t>;

    std::uint64_t nextId = 1;
    std::map<TimerKey, MainLoop::Callback> timers; // in firing order, ties by creation
    std::map<std::uint64_t, Watch> watches;
    UniqueFd wake;
    std::mutex postedLock;
    std::deque<MainLoop::Callback> posted;
};

LoopEngine::LoopEngine() : state_(std::make_shared<State>()), thread_(std::this_thread::get_id()) {
    state_->wake.reset(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
}

LoopEngine::~LoopEngine() = default;

void LoopEngine::post(MainLoop::Callback callback) {
    {
        std::lock_guard lock(state_->postedLock);
        state_->posted.push_back(std::move(callback));
    }
    if (state_->wake) {
        std::uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(state_->wake.get(), &one, sizeof one);
    }
}

MainLoop::Handle LoopEngine::addTimer(TimePoint due, MainLoop::Callback callback) {
    State::TimerKey key{due, state_->nextId++};
    state_->timers.emplace(key, std::move(callback));
    return MainLoop::Handle([weak = std::weak_ptr<State>(state_), key] {
        if (auto state = weak.lock()) {
            state->timers.erase(key);
        }
    });
}

MainLoop::Handle LoopEngine::addWatch(int fd, MainLoop::Callback callback) {
    const std::uint64_t id = state_->nextId++;
    state_->watches.emplace(
        id, State::Watch{fd, std::make_shared<MainLoop::Callback>(std::move(callback))});
    return MainLoop::Handle([weak = std::weak_ptr<State>(state_), id] {
        if (auto state = weak.lock()) {
            state->watches.erase(id);
        }
    });
}

std::optional<LoopEngine::TimePoint> LoopEngine::nextTimer() const {
    if (state_->timers.empty()) {
        return std::nullopt;
    }
    return state_->timers.begin()->first.first;
}

bool LoopEngine::runDueTimer(TimePoint now) {
    auto first = state_->timers.begin();
    if (first == state_->timers.end() || first->first.first > now) {
        return false;
    }
    // Out of the table before it runs: it may cancel its own handle or add timers.
    MainLoop::Callback callback = std::move(first->second);
    state_->timers.erase(first);
    callback();
    return true;
}

bool LoopEngine::pollOnce(int timeoutMs) {
    std::vector<pollfd> fds;
    std::vector<std::uint64_t> ids;
    fds.push_back({state_->wake.get(), POLLIN, 0});
    for (const auto& [id, watch] : state_->watches) {
        fds.push_back({watch.fd, POLLIN, 0});
        ids.push_back(id);
    }
    int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0 && errno != EINTR) {
        return false;
    }
    bool ran = false;
    for (std::size_t k = 1; ready > 0 && k < fds.size(); ++k) {
        if (fds[k].revents == 0) {
            continue;
        }
        // A callback may remove this watch or others; each is looked up afresh, and a
        // running one is kept alive by its own reference.
        auto it = state_->watches.find(ids[k - 1]);
        if (it == state_->watches.end()) {
            continue;
        }
        auto callback = it->second.callback;
        (*callback)();
        ran = true;
    }
    if (fds[0].revents != 0) {
        std::uint64_t count = 0;
        [[maybe_unused]] auto got = ::read(state_->wake.get(), &count, sizeof count);
    }
    std::deque<MainLoop::Callback> posted;
    {
        std::lock_guard lock(state_->postedLock);
        posted.swap(state_->posted);
    }
    for (auto& callback : posted) {
        callback();
        ran = true;
    }
    return ran;
}

} // namespace twinlantern::platform
