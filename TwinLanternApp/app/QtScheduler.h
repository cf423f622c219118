#pragma once

#include "TwinLanternApp/model/Scheduler.h"
#include "TwinLanternApp/model/SystemClock.h"

#include <QObject>
#include <QThreadPool>

#include <atomic>

namespace twinlantern::app {

// The scheduler of the running app: timers and descriptor watches on the GUI thread's
// event loop, posts as queued calls to it, jobs on a low-priority pool of its own.
// Made and used on the GUI thread; post() from anywhere.
class QtScheduler final : public Scheduler {
public:
    QtScheduler();
    ~QtScheduler() override;

    void post(Callback callback) override;
    [[nodiscard]] Handle postAfter(Duration delay, Callback callback) override;
    [[nodiscard]] Handle watchReadable(int fd, Callback callback) override;
    bool onLoopThread() const override;
    const Clock& clock() const override { return clock_; }

    // Waits for the running jobs; for an orderly exit.
    void waitForJobs() { pool_.waitForDone(); }
    // Jobs started and not yet ended, queued ones included.
    int unfinishedJobs() const { return unfinished_.load(); }

protected:
    void runOnWorker(std::function<void()> work) override;

private:
    std::atomic<int> unfinished_ = 0;
    QObject anchor_; // lives on the GUI thread; owns the timers and notifiers
    QThreadPool pool_;
    SystemClock clock_;
};

} // namespace twinlantern::app
