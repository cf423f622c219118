#include "tests/support/app/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace twinlantern::app::test {

// A watch whose descriptor stays readable would otherwise hold one instant for ever.
constexpr int maxRoundsPerInstant = 10'000;

VirtualScheduler::VirtualScheduler(std::chrono::system_clock::time_point wallStart)
    : wallStart_(wallStart) {}

VirtualScheduler::~VirtualScheduler() {
    for (auto& worker : workers_) {
        worker.join();
    }
}

platform::MainLoop::Handle VirtualScheduler::postAfter(Duration delay, Callback callback) {
    return engine_.addTimer(now_ + std::max(delay, Duration::zero()), std::move(callback));
}

void VirtualScheduler::runOnWorker(std::function<void()> work) {
    std::lock_guard lock(mutex_);
    ++running_;
    // The job posts its continuation before it counts as done, so a wait for the jobs
    // is followed by a round that sees the continuation.
    workers_.emplace_back([this, work = std::move(work)] {
        work();
        std::lock_guard done(mutex_);
        --running_;
        idle_.notify_all();
    });
}

int VirtualScheduler::jobsRunning() const {
    std::lock_guard lock(mutex_);
    return running_;
}

bool VirtualScheduler::waitForJobs() {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, guard, [this] { return running_ == 0; });
}

bool VirtualScheduler::runReady() {
    bool any = false;
    for (int round = 0; round < maxRoundsPerInstant; ++round) {
        bool ran = engine_.runDueTimer(now_);
        ran = engine_.pollOnce(0) || ran;
        if (!ran) {
            break;
        }
        any = true;
    }
    return any;
}

void VirtualScheduler::settle(Jobs jobs) {
    for (;;) {
        bool ran = runReady();
        if (jobs == Jobs::leave || jobsRunning() == 0) {
            if (!ran) {
                return;
            }
            continue;
        }
        if (!waitForJobs()) {
            ADD_FAILURE() << "a background job still runs after the guard of " << guard.count()
                          << " ms";
            return;
        }
    }
}

void VirtualScheduler::advance(Duration duration, Jobs jobs) {
    const TimePoint target = now_ + std::max(duration, Duration::zero());
    settle(jobs);
    while (auto next = engine_.nextTimer()) {
        if (*next > target) {
            break;
        }
        now_ = std::max(now_, *next);
        settle(jobs);
    }
    now_ = target;
    settle(jobs);
}

bool VirtualScheduler::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    runReady();
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // A post from a job wakes the poll.
        engine_.pollOnce(10);
        runReady();
    }
    return true;
}

} // namespace twinlantern::app::test
