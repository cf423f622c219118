#pragma once

#include "platform/MainLoop.h"

#include <chrono>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace twinlantern::app {

// Monotonic time for waits, polls and toasts; wall time for usage windows.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::steady_clock::time_point monotonicNow() const = 0;
    virtual std::chrono::system_clock::time_point wallNow() const = 0;
};

// What a background job gave: its value, or the text of what it threw.
template <typename T> struct JobResult {
    std::optional<T> value;
    std::string error;
    bool ok() const { return value.has_value(); }
};

template <> struct JobResult<void> {
    bool succeeded = false;
    std::string error;
    bool ok() const { return succeeded; }
};

// The main queue plus repeating timers and background jobs. Everything the model does
// runs on the main thread; only a job's body runs elsewhere, and its result comes back
// to the main thread.
class Scheduler : public platform::MainLoop {
public:
    virtual const Clock& clock() const = 0;

    // Runs the callback every `interval`, first one interval from now, until the handle
    // goes.
    [[nodiscard]] Handle repeatEvery(Duration interval, Callback callback);

    // Runs `job` on a worker thread, then `then` on the main thread with its result. An
    // exception from the job reaches `then` as its what(); none escapes the worker.
    template <typename Job, typename Then> void background(Job job, Then then) {
        using T = std::invoke_result_t<Job&>;
        runOnWorker([this, job = std::move(job), then = std::move(then)]() mutable {
            auto result = std::make_shared<JobResult<T>>(capture<T>(job));
            post([then = std::move(then), result]() mutable { then(std::move(*result)); });
        });
    }

protected:
    // Runs `work` on some thread other than the main one. `work` does not throw.
    virtual void runOnWorker(std::function<void()> work) = 0;

private:
    template <typename T, typename Job> static JobResult<T> capture(Job& job) noexcept {
        JobResult<T> result;
        try {
            if constexpr (std::is_void_v<T>) {
                job();
                result.succeeded = true;
            } else {
                result.value.emplace(job());
            }
        } catch (const std::exception& error) {
            result.error = error.what();
        } catch (...) {
            result.error = "Unknown error";
        }
        return result;
    }
};

} // namespace twinlantern::app
