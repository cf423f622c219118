#include "TwinLanternApp/model/Scheduler.h"

namespace twinlantern::app {

namespace {

// One pending timer at a time, re-armed by itself; the handle's cancel drops it. Shared
// so a cancel from inside the callback and a late fire after the cancel are both safe.
struct Repeat {
    platform::MainLoop* loop = nullptr;
    platform::MainLoop::Duration interval{};
    platform::MainLoop::Callback callback;
    platform::MainLoop::Handle pending;
    bool cancelled = false;
};

void arm(const std::shared_ptr<Repeat>& repeat) {
    std::weak_ptr<Repeat> weak = repeat;
    repeat->pending = repeat->loop->postAfter(repeat->interval, [weak] {
        auto self = weak.lock();
        if (!self || self->cancelled) {
            return;
        }
        // Re-arm first, so the next tick keeps its place whatever the callback does.
        arm(self);
        auto callback = self->callback;
        callback();
    });
}

} // namespace

platform::MainLoop::Handle Scheduler::repeatEvery(Duration interval, Callback callback) {
    auto repeat = std::make_shared<Repeat>();
    repeat->loop = this;
    repeat->interval = interval > Duration::zero() ? interval : Duration{1};
    repeat->callback = std::move(callback);
    arm(repeat);
    return Handle([repeat] {
        repeat->cancelled = true;
        repeat->pending.reset();
        repeat->callback = {};
    });
}

} // namespace twinlantern::app
