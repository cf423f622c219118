#include "TwinLanternApp/app/QtScheduler.h"

#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include <chrono>

namespace twinlantern::app {

namespace {

// Stops the object when the handle goes, if it still exists, and deletes it later: the
// handle may go inside the object's own signal.
platform::MainLoop::Handle ownedBy(QTimer* timer) {
    QPointer<QTimer> guarded(timer);
    return platform::MainLoop::Handle([guarded] {
        if (guarded) {
            guarded->stop();
            guarded->deleteLater();
        }
    });
}

platform::MainLoop::Handle ownedBy(QSocketNotifier* notifier) {
    QPointer<QSocketNotifier> guarded(notifier);
    return platform::MainLoop::Handle([guarded] {
        if (guarded) {
            guarded->setEnabled(false);
            guarded->deleteLater();
        }
    });
}

} // namespace

QtScheduler::QtScheduler() {
    pool_.setThreadPriority(QThread::LowPriority);
    pool_.setMaxThreadCount(std::max(2, QThread::idealThreadCount() / 2));
}

QtScheduler::~QtScheduler() {
    // Jobs post back to the anchor; they end before it goes.
    pool_.waitForDone();
}

void QtScheduler::post(Callback callback) {
    QMetaObject::invokeMethod(&anchor_, std::move(callback), Qt::QueuedConnection);
}

platform::MainLoop::Handle QtScheduler::postAfter(Duration delay, Callback callback) {
    auto* timer = new QTimer(&anchor_);
    timer->setSingleShot(true);
    timer->setTimerType(Qt::PreciseTimer);
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(std::max(delay, Duration::zero()));
    QObject::connect(timer, &QTimer::timeout, timer, [timer, callback = std::move(callback)] {
        // Runs once; the handle may still delete the timer later (or already has).
        auto run = callback;
        timer->deleteLater();
        run();
    });
    timer->start(ms);
    return ownedBy(timer);
}

platform::MainLoop::Handle QtScheduler::watchReadable(int fd, Callback callback) {
    auto* notifier = new QSocketNotifier(fd, QSocketNotifier::Read, &anchor_);
    QObject::connect(notifier, &QSocketNotifier::activated, notifier,
                     [callback = std::move(callback)] { callback(); });
    return ownedBy(notifier);
}

bool QtScheduler::onLoopThread() const {
    return QThread::currentThread() == anchor_.thread();
}

void QtScheduler::runOnWorker(std::function<void()> work) {
    ++unfinished_;
    // The destructor waits for the pool, so the count outlives every job.
    pool_.start([this, work = std::move(work)] {
        work();
        --unfinished_;
    });
}

} // namespace twinlantern::app
