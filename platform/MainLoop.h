#pragma once

#include <chrono>
#include <functional>
#include <utility>

namespace twinlantern::platform {

// The main queue. Every callback runs on the loop's thread, one at a time, so what
// they touch needs no locking.
class MainLoop {
public:
    using Callback = std::function<void()>;
    using Duration = std::chrono::steady_clock::duration;

    // A timer or a watch; destroying or resetting the handle cancels it. Handles may
    // outlive their loop (they then do nothing).
    class Handle {
    public:
        Handle() = default;
        explicit Handle(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
        Handle(Handle&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
        Handle& operator=(Handle&& other) noexcept {
            if (this != &other) {
                reset();
                cancel_ = std::exchange(other.cancel_, {});
            }
            return *this;
        }
        Handle(const Handle&) = delete;
        Handle& operator=(const Handle&) = delete;
        ~Handle() { reset(); }

        void reset() {
            if (cancel_) {
                std::exchange(cancel_, {})();
            }
        }
        explicit operator bool() const { return static_cast<bool>(cancel_); }

    private:
        std::function<void()> cancel_;
    };

    virtual ~MainLoop() = default;

    // Runs the callback soon. The only member that may be called from any thread.
    virtual void post(Callback callback) = 0;
    // Runs the callback once, `delay` from now.
    [[nodiscard]] virtual Handle postAfter(Duration delay, Callback callback) = 0;
    // Runs the callback whenever the descriptor is readable (or at its end or error),
    // until the handle goes. The descriptor stays the caller's.
    [[nodiscard]] virtual Handle watchReadable(int fd, Callback callback) = 0;
    virtual bool onLoopThread() const = 0;
};

} // namespace twinlantern::platform
