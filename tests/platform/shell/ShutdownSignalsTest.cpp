#include "ShutdownSignals.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

TEST(ShutdownSignals, TermAndIntArriveOnTheEventLoopAndDefaultsComeBackAfterwards)
{
    std::vector<int> numbers;
    {
        ShutdownSignals shutdown;
        ASSERT_TRUE(shutdown.isActive());
        EXPECT_FALSE(ShutdownSignals().isActive()) << "the handlers have one owner at a time";
        QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested,
                         [&](ShutdownSignals::Reason reason, int number) {
                             EXPECT_EQ(reason, ShutdownSignals::Reason::Signal);
                             numbers.push_back(number);
                         });
        ::raise(SIGTERM);
        EXPECT_TRUE(numbers.empty()) << "nothing may run inside the signal handler";
        ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 1; }, 2000));
        ::raise(SIGINT);
        ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 2; }, 2000));
    }
    EXPECT_EQ(numbers, (std::vector<int>{SIGTERM, SIGINT}));
    struct sigaction action = {};
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
    EXPECT_TRUE(ShutdownSignals().isActive());
}
