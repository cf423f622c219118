#include "TwinLanternApp/app/QuitSignals.h"

#include "tests/support/TestSupport.h"

#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <pthread.h>

#include <csignal>
#include <vector>

using namespace twinlantern::app;
using ::testing::ElementsAre;

namespace {

TEST(QuitSignals, EachOfTheThreeArrivesOnTheLoop) {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&set, signal);
    }
    sigset_t before;
    // This thread only: Qt's own threads keep the default, so only thread-directed
    // signals are safe here.
    ASSERT_EQ(pthread_sigmask(SIG_BLOCK, &set, &before), 0);
    std::vector<int> taken;
    {
        QuitSignals quitSignals([&](int signal) { taken.push_back(signal); });
        ASSERT_TRUE(quitSignals.active());
        for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
            ASSERT_EQ(pthread_kill(pthread_self(), signal), 0);
            ASSERT_TRUE(QTest::qWaitFor([&] { return !taken.empty() && taken.back() == signal; },
                                        tltest::patienceMs));
        }
    }
    EXPECT_THAT(taken, ElementsAre(SIGTERM, SIGINT, SIGHUP));
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

} // namespace
