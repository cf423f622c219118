#pragma once

#include <xcb/xcb.h>

#include <csignal>
#include <cstdlib>
#include <memory>

namespace twinlantern::platform::xcb {

struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;

// Replies, events and errors are malloc'ed by libxcb.
struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Owned = std::unique_ptr<T, Free>;

// A write to a server that has gone away raises SIGPIPE, which would end the whole
// process. While a guard lives this thread blocks the signal, and one raised in the
// meantime is taken off the thread before the old mask returns.
class NoSigpipe {
public:
    NoSigpipe() {
        sigset_t pipe;
        sigemptyset(&pipe);
        sigaddset(&pipe, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipe, &old_);
    }
    ~NoSigpipe() {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            sigset_t pipe;
            sigemptyset(&pipe);
            sigaddset(&pipe, SIGPIPE);
            const timespec now{0, 0};
            sigtimedwait(&pipe, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &old_, nullptr);
    }
    NoSigpipe(const NoSigpipe&) = delete;
    NoSigpipe& operator=(const NoSigpipe&) = delete;

private:
    sigset_t old_;
    bool wasPending_ = false;
};

} // namespace twinlantern::platform::xcb
