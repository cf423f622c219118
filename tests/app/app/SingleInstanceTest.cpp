#include "TwinLanternApp/app/SingleInstance.h"
#include "TwinLanternApp/app/QuitSignals.h"

#include "core/base/Sha256.h"
#include "tests/support/ErrorOf.h"
#include "tests/support/OtherUser.h"
#include "tests/support/TestSupport.h"
#include "tests/support/UnixSocket.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <future>
#include <thread>

using namespace twinlantern;
using namespace twinlantern::app;
using namespace std::chrono_literals;
using Command = SingleInstance::Command;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

TEST(SingleInstance, TheNameIsSixteenHexOfTheHomesDigest) {
    const std::string home = "/home/a b";
    EXPECT_EQ(SingleInstance::stem("/run/user/7", home),
              "/run/user/7/twinlantern-" + sha256Hex(home).substr(0, 16));
    EXPECT_NE(SingleInstance::stem("/r", "/home/a"), SingleInstance::stem("/r", "/home/b"));
}

TEST(SingleInstance, ALaterStartSaysOpenPerLinkInOrderElseReopen) {
    EXPECT_THAT(SingleInstance::messages({"TwinLantern"}), ElementsAre("reopen"));
    EXPECT_THAT(SingleInstance::messages({"TwinLantern", "--launched-at-login", "not a link"}),
                ElementsAre("reopen"));
    EXPECT_THAT(SingleInstance::messages(
                    {"claude://ignored-as-program", "claude://a/cb?code=1", "-x", "https://b/c"}),
                ElementsAre("open claude://a/cb?code=1", "open https://b/c"));
    // One that the instance would refuse as too long is not sent.
    const std::string huge = "claude://x/" + std::string(SingleInstance::maxLineBytes, 'a');
    EXPECT_THAT(SingleInstance::messages({"TwinLantern", huge}), ElementsAre("reopen"));
}

TEST(SingleInstance, OnlyTheTwoCommandsAreHonoured) {
    const std::string longest(SingleInstance::maxLineBytes - 5, 'a');
    const std::pair<std::string, std::optional<Command>> cases[] = {
        {"reopen", Command{Command::Kind::reopen, {}}},
        {"open claude://x", Command{Command::Kind::open, "claude://x"}},
        {"open " + longest, Command{Command::Kind::open, longest}},
        {"open " + longest + "a", std::nullopt},
        {"open ", std::nullopt},
        {"open", std::nullopt},
        {"reopen ", std::nullopt},
        {"Reopen", std::nullopt},
        {"reopen\r", std::nullopt},
        {"quit", std::nullopt},
        {"", std::nullopt},
        {"open claude://\xff\xfe", std::nullopt},
        {std::string("open a\0b", 8), Command{Command::Kind::open, std::string("a\0b", 3)}},
    };
    for (const auto& [line, command] : cases) {
        EXPECT_EQ(SingleInstance::parse(line), command) << line.substr(0, 40);
    }
}

TEST(SingleInstance, TheLockIsHeldOnceAndFreedWithItsHolder) {
    tltest::TempDir dir;
    const std::string path = dir / "x.lock";
    auto first = SingleInstance::acquire(path);
    ASSERT_TRUE(first.acquired());
    EXPECT_EQ(tltest::fileMode(path), 0600);
    const auto second = SingleInstance::acquire(path);
    EXPECT_FALSE(second.acquired());
    EXPECT_TRUE(second.held);
    first.file.close();
    EXPECT_TRUE(SingleInstance::acquire(path).acquired());

    tltest::makeDirs(dir / "folder.lock");
    const auto refused = SingleInstance::acquire(dir / "folder.lock");
    EXPECT_FALSE(refused.acquired());
    EXPECT_FALSE(refused.held);
    EXPECT_NE(refused.error, 0);
    ASSERT_EQ(::symlink((dir / "elsewhere").c_str(), (dir / "link.lock").c_str()), 0);
    EXPECT_FALSE(SingleInstance::acquire(dir / "link.lock").acquired());
    EXPECT_FALSE(tltest::exists(dir / "elsewhere"));
}

TEST(SingleInstance, TheLockAndSocketLiveInAPrivateFolderNeverOnAnEmptyOne) {
    tltest::TempDir dir;
    const std::string home = dir / "home";
    const std::string hash = sha256Hex(home).substr(0, 16);
    tltest::makeDirs(dir / "run");
    ::chmod((dir / "run").c_str(), 0700);
    const std::pair<Environment, std::string> cases[] = {
        {{{"XDG_RUNTIME_DIR", dir / "run"}, {"XDG_CACHE_HOME", dir / "cache"}}, dir / "run"},
        {{{"XDG_RUNTIME_DIR", dir / "run/"}}, dir / "run"},
        {{{"XDG_RUNTIME_DIR", ""}, {"XDG_CACHE_HOME", dir / "cache"}}, dir / "cache/twinlantern"},
        {{{"XDG_RUNTIME_DIR", "run"}, {"XDG_CACHE_HOME", "rel"}}, home + "/.cache/twinlantern"},
        {{}, home + "/.cache/twinlantern"},
    };
    for (const auto& [environment, folder] : cases) {
        EXPECT_EQ(SingleInstance::privateStem(environment, home), folder + "/twinlantern-" + hash)
            << folder;
        EXPECT_EQ(tltest::fileMode(folder), 0700u) << folder;
    }
    const std::string deep = dir / std::string(100, 'd');
    EXPECT_EQ(tltest::errorOf([&] {
                  SingleInstance::privateStem({{"XDG_RUNTIME_DIR", deep}}, home);
              }).description(),
              "TwinLantern can't start: the path of its socket in " + deep +
                  " is longer than a socket allows. Set XDG_RUNTIME_DIR to a private folder "
                  "with a shorter path.");
}

// The runtime folder taken, links and files planted by a second local account: the app
// uses none of them and says why it can't start.
TEST(SingleInstance, NothingAnotherUserPlantedIsUsed) {
    tltest::OtherUser other;
    if (!other.available()) {
        GTEST_SKIP() << other.skipReason();
    }
    tltest::TempDir dir;
    const std::string home = dir / "home";
    const std::string cannot =
        "TwinLantern can't start without a private folder for its lock and socket. ";
    const std::string theirs = dir / "theirs";
    tltest::makeDirs(theirs + "/twinlantern");
    other.give(theirs);
    other.give(theirs + "/twinlantern");
    const std::string linked = dir / "linked";
    ASSERT_EQ(::symlink(theirs.c_str(), linked.c_str()), 0);
    other.give(linked);
    tltest::makeDirs(dir / "cache");
    ASSERT_EQ(::symlink(theirs.c_str(), (dir / "cache/twinlantern").c_str()), 0);
    const std::pair<Environment, std::string> cases[] = {
        {{{"XDG_RUNTIME_DIR", theirs}}, "Couldn't use " + theirs + ": it belongs to another user."},
        {{{"XDG_RUNTIME_DIR", linked}}, "Couldn't use " + linked + ": it is a symbolic link."},
        {{{"XDG_CACHE_HOME", dir / "cache"}},
         "Couldn't use " + (dir / "cache/twinlantern") + ": it is a symbolic link."},
        {{{"XDG_CACHE_HOME", theirs}},
         "Couldn't use " + theirs + "/twinlantern: it belongs to another user."},
    };
    for (const auto& [environment, why] : cases) {
        const Environment& env = environment; // a lambda can't capture a binding in clang 14
        EXPECT_EQ(tltest::errorOf([&] { SingleInstance::privateStem(env, home); }).description(),
                  cannot + why);
    }

    // A lock file of theirs in our folder is not ours to hold.
    const std::string stem = SingleInstance::privateStem({{"XDG_RUNTIME_DIR", dir / "run"}}, home);
    tltest::writeFile(stem + ".lock", "", 0666);
    other.give(stem + ".lock");
    const auto refused = SingleInstance::acquire(stem + ".lock");
    EXPECT_FALSE(refused.acquired());
    EXPECT_FALSE(refused.held);
    EXPECT_EQ(refused.problem, "it belongs to another user");
}

// The instance's end on this thread's event loop; later starts from other threads.
class InstanceServerTest : public ::testing::Test {
protected:
    tltest::TempDir dir;
    std::string socketPath = dir / "t.sock";
    std::vector<Command> received;
    InstanceServer server{socketPath, [this](const Command& c) {
                              received.push_back(c);
                          }};

    // Runs forward() on another thread while this one serves.
    bool forwardFrom(std::vector<std::string> lines, std::chrono::milliseconds timeout = 10s) {
        auto done = std::async(std::launch::async, [&, lines] {
            return SingleInstance::forward(socketPath, lines, timeout);
        });
        while (done.wait_for(0ms) != std::future_status::ready) {
            QTest::qWait(5);
        }
        return done.get();
    }

    // Sends raw bytes from another thread while this one serves; what comes back until
    // the server closes, `wanted` bytes came or `quiet` passed with nothing more.
    std::string raw(const std::string& bytes, std::chrono::milliseconds quiet = 300ms,
                    std::size_t wanted = std::string::npos) {
        auto done = std::async(std::launch::async, [&] {
            return tltest::exchangeOverUnixSocket(socketPath, bytes, quiet, wanted);
        });
        while (done.wait_for(0ms) != std::future_status::ready) {
            QTest::qWait(5);
        }
        return done.get();
    }
};

TEST_F(InstanceServerTest, ALaterStartsLinesArriveInOrderAndAreAnswered) {
    ASSERT_EQ(server.listen(), std::nullopt);
    EXPECT_EQ(tltest::fileMode(socketPath) & 0077, 0);
    EXPECT_TRUE(forwardFrom({"open claude://a/1", "open claude://a/2"}));
    EXPECT_TRUE(forwardFrom({"reopen"}));
    EXPECT_THAT(received, ElementsAre(Command{Command::Kind::open, "claude://a/1"},
                                      Command{Command::Kind::open, "claude://a/2"},
                                      Command{Command::Kind::reopen, {}}));
}

TEST_F(InstanceServerTest, GarbageChangesNothingAndGetsNoAnswer) {
    ASSERT_EQ(server.listen(), std::nullopt);
    EXPECT_EQ(raw("quit\nopen\n\xff\xfe\nreopen now\n"), "");
    EXPECT_EQ(raw(std::string(SingleInstance::maxLineBytes + 100, 'x')), "");
    EXPECT_EQ(raw("open " + std::string(SingleInstance::maxLineBytes, 'y') + "\nreopen\n"), "");
    EXPECT_EQ(raw("reopen"), ""); // never finished
    EXPECT_THAT(received, IsEmpty());
    // And it still serves.
    EXPECT_EQ(raw("junk\nreopen\n", tltest::patience, 3), "ok\n");
    EXPECT_THAT(received, ElementsAre(Command{Command::Kind::reopen, {}}));
}

TEST_F(InstanceServerTest, AStaleSocketIsReplacedAndAClosedOneRemoved) {
    tltest::writeFile(socketPath, "stale");
    ASSERT_EQ(server.listen(), std::nullopt);
    EXPECT_TRUE(forwardFrom({"reopen"}));
    server.close();
    EXPECT_FALSE(tltest::exists(socketPath));
}

TEST_F(InstanceServerTest, NoAnswerWithinTheTimeIsAFailure) {
    // Nobody listens.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(SingleInstance::forward(socketPath, {"reopen"}, 300ms));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 250ms);
    // Listening but never served: this thread doesn't run the loop.
    ASSERT_EQ(server.listen(), std::nullopt);
    EXPECT_FALSE(SingleInstance::forward(socketPath, {"reopen"}, 300ms));
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
}

TEST_F(InstanceServerTest, AnInstanceThatStartsListeningLateIsStillReached) {
    auto later = std::async(std::launch::async,
                            [&] { return SingleInstance::forward(socketPath, {"reopen"}, 10s); });
    QTest::qWait(300);
    ASSERT_EQ(server.listen(), std::nullopt);
    while (later.wait_for(0ms) != std::future_status::ready) {
        QTest::qWait(5);
    }
    EXPECT_TRUE(later.get());
}

} // namespace
