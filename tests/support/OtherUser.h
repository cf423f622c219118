#pragma once

#include <sys/types.h>

#include <functional>
#include <string>

namespace twinlantern::testing {

// A second local account, for tests that play another user on the same machine. Made with
// useradd (no home, no login shell) when the tests run as root and removed again;
// elsewhere available() is false and skipReason() says why, for GTEST_SKIP().
class OtherUser {
public:
    OtherUser();
    ~OtherUser();
    OtherUser(const OtherUser&) = delete;
    OtherUser& operator=(const OtherUser&) = delete;

    bool available() const { return uid_ != 0; }
    const std::string& skipReason() const { return skipReason_; }
    const std::string& name() const { return name_; }
    uid_t uid() const { return uid_; }
    gid_t gid() const { return gid_; }

    // Runs fn in a child process that is this user (groups, gid and uid dropped to the
    // account's); gives back fn's result, or 128 + signal. The child never returns into
    // the test.
    int run(const std::function<int()>& fn) const;

    // Hands what the test planted at path to the account (lchown, links not followed).
    void give(const std::string& path) const;

private:
    std::string name_;
    std::string skipReason_;
    uid_t uid_ = 0;
    gid_t gid_ = 0;
};

} // namespace twinlantern::testing
