#pragma once

#include <sys/types.h>

#include <string>

namespace twinlantern::testing {

// A private X server for one test: Xvfb on a display it picks itself, local
// connections only, stopped (and reaped) when the object goes. It also dies with the
// test process.
class XvfbServer {
public:
    XvfbServer();
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid_ > 0; }
    // Why it isn't running; for the skip message.
    const std::string& problem() const { return problem_; }
    // ":N"
    const std::string& display() const { return display_; }
    // Ends the server at once, as a crash would.
    void kill();

private:
    pid_t pid_ = -1;
    std::string display_;
    std::string problem_;
};

} // namespace twinlantern::testing

// Skips the test, with the reason, when no X server could be started here.
#define TL_REQUIRE_XVFB(server)                                                                    \
    do {                                                                                           \
        if (!(server).running()) {                                                                 \
            GTEST_SKIP() << "no X server for this test: " << (server).problem();                   \
        }                                                                                          \
    } while (false)
