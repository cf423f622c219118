#include "tests/support/app/VirtualScheduler.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace twinlantern::app::test {

VirtualScheduler::VirtualScheduler(std::chrono::system_clock::time_point wallStart)
    : wallStart_(wallStart) {}

VirtualScheduler::~VirtualScheduler() {
    for (auto& worker : workers_) {
        worker.join();
    }
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

void VirtualScheduler::settle(Jobs jobs) {
    for (;;) {
        const bool ran = loop_.settle();
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
    loop_.advance(duration, [&] { settle(jobs); });
}

bool VirtualScheduler::runUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    loop_.settle();
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        // A post from a job wakes the wait.
        loop_.waitOnce(std::chrono::milliseconds(10));
        loop_.settle();
    }
    return true;
}

} // namespace twinlantern::app::test
