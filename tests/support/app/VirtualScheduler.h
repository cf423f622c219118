#pragma once

#include "TwinLanternApp/model/Scheduler.h"
#include "platform/test/VirtualTimeLoop.h"
#include "tests/support/TestSupport.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace twinlantern::app::test {

// The scheduler on virtual clocks that move only when the test says so. Jobs run on
// real threads; advance waits for them before each next timer, so a job's result is
// on main before anything later in virtual time. Real waits have a guard: a job or
// condition that hangs fails the test instead of the run.
class VirtualScheduler final : public Scheduler {
public:
    using TimePoint = platform::test::VirtualTimeLoop::TimePoint;
    enum class Jobs { wait, leave };

    explicit VirtualScheduler(std::chrono::system_clock::time_point wallStart =
                                  std::chrono::sys_days{std::chrono::year{2026} / 3 / 1});
    ~VirtualScheduler() override;

    void post(Callback callback) override { loop_.post(std::move(callback)); }
    [[nodiscard]] Handle postAfter(Duration delay, Callback callback) override {
        return loop_.postAfter(delay, std::move(callback));
    }
    [[nodiscard]] Handle watchReadable(int fd, Callback callback) override {
        return loop_.watchReadable(fd, std::move(callback));
    }
    bool onLoopThread() const override { return loop_.onLoopThread(); }
    const Clock& clock() const override { return clock_; }

    // Time since the scheduler was made.
    Duration elapsed() const { return loop_.elapsed(); }
    // Runs what is ready now, then every timer due within `duration` at its own time,
    // and leaves the clock `duration` later. With Jobs::leave, jobs still running (a
    // held one) are not waited for.
    void advance(Duration duration, Jobs jobs = Jobs::wait);
    // Runs what is ready now without moving the clock.
    void settle(Jobs jobs = Jobs::wait);
    // Runs posts and descriptors in real time, without moving the clock, until `done`
    // holds; false when the guard ran out first.
    bool runUntil(const std::function<bool()>& done,
                  std::chrono::milliseconds guard = tltest::patience);
    int jobsRunning() const;

    // How long a real wait for jobs may take before the test fails.
    std::chrono::milliseconds guard{tltest::patience};

protected:
    void runOnWorker(std::function<void()> work) override;

private:
    class VirtualClock final : public Clock {
    public:
        explicit VirtualClock(const VirtualScheduler& owner) : owner_(owner) {}
        std::chrono::steady_clock::time_point monotonicNow() const override {
            return owner_.loop_.now();
        }
        std::chrono::system_clock::time_point wallNow() const override {
            return owner_.wallStart_ +
                   std::chrono::duration_cast<std::chrono::system_clock::duration>(
                       owner_.elapsed());
        }

    private:
        const VirtualScheduler& owner_;
    };

    // Waits until no job runs; false when the guard ran out.
    bool waitForJobs();

    // The clock, the timers and the descriptors; this class adds the jobs.
    platform::test::VirtualTimeLoop loop_;
    std::chrono::system_clock::time_point wallStart_;
    VirtualClock clock_{*this};

    mutable std::mutex mutex_;
    std::condition_variable idle_;
    int running_ = 0;
    std::vector<std::thread> workers_;
};

} // namespace twinlantern::app::test
