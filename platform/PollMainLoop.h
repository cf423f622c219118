#pragma once

#include "platform/LoopEngine.h"
#include "platform/MainLoop.h"

namespace twinlantern::platform {

// The main queue over poll() and the steady clock, run by the thread that made it.
class PollMainLoop final : public MainLoop {
public:
    void post(Callback callback) override { engine_.post(std::move(callback)); }
    [[nodiscard]] Handle postAfter(Duration delay, Callback callback) override;
    [[nodiscard]] Handle watchReadable(int fd, Callback callback) override {
        return engine_.addWatch(fd, std::move(callback));
    }
    bool onLoopThread() const override { return engine_.onLoopThread(); }

    // Runs callbacks until quit() is called from one of them.
    void run();
    void quit() { quit_ = true; }
    // Runs callbacks for this long.
    void runFor(Duration duration);
    // Runs callbacks until `done` holds (checked after each round) or the time is up;
    // whether it holds.
    bool runUntil(const std::function<bool()>& done, Duration timeout);

private:
    // One round: due timers, then ready descriptors and posts, waiting at most until
    // `limit` or the next timer.
    void runOnce(LoopEngine::TimePoint limit);

    LoopEngine engine_;
    bool quit_ = false;
};

} // namespace twinlantern::platform
