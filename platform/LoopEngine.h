#pragma once

#include "platform/MainLoop.h"

#include <chrono>
#include <memory>
#include <optional>
#include <thread>

namespace twinlantern::platform {

// What the poll() loop and the virtual-time loop share: the timers, the watched
// descriptors and the queue of posted callbacks. The owner supplies the clock: it
// asks for the next timer and says when one is due.
class LoopEngine {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    LoopEngine();
    ~LoopEngine();
    LoopEngine(const LoopEngine&) = delete;
    LoopEngine& operator=(const LoopEngine&) = delete;

    // Any thread; wakes a poll in progress.
    void post(MainLoop::Callback callback);
    MainLoop::Handle addTimer(TimePoint due, MainLoop::Callback callback);
    MainLoop::Handle addWatch(int fd, MainLoop::Callback callback);

    std::optional<TimePoint> nextTimer() const;
    // Runs the earliest timer when it is due at `now`; true when one ran.
    bool runDueTimer(TimePoint now);
    // Waits up to `timeoutMs` (0: not at all, -1: without end) for a watched descriptor
    // or a post, then runs the callbacks of what is ready; true when any ran.
    bool pollOnce(int timeoutMs);
    bool onLoopThread() const { return std::this_thread::get_id() == thread_; }

private:
    struct State;
    std::shared_ptr<State> state_;
    std::thread::id thread_;
};

} // namespace twinlantern::platform
