#include "ShutdownSignals.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <vector>

namespace {

void (*currentHandler(int number))(int)
{
    struct sigaction action = {};
    sigaction(number, nullptr, &action);
    return action.sa_handler;
}

}  // namespace

TEST(ShutdownSignals, TermAndIntArriveAsOneQtSignalOnTheEventLoop)
{
    ShutdownSignals shutdown;
    ASSERT_TRUE(shutdown.isActive());
    std::vector<int> numbers;
    QObject::connect(&shutdown, &ShutdownSignals::shutdownRequested,
                     [&](ShutdownSignals::Reason reason, int number) {
                         EXPECT_EQ(reason, ShutdownSignals::Reason::Signal);
                         numbers.push_back(number);
                     });
    ::raise(SIGTERM);
    // Nothing happens inside the handler itself: the event loop delivers it.
    EXPECT_TRUE(numbers.empty());
    ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 1; }, 2000));
    ::raise(SIGINT);
    ASSERT_TRUE(TestSupport::waitFor([&] { return numbers.size() == 2; }, 2000));
    EXPECT_EQ(numbers, (std::vector<int>{SIGTERM, SIGINT}));
}

TEST(ShutdownSignals, DestroyingRestoresTheDefaultActionsAndAllowsANewInstance)
{
    {
        ShutdownSignals first;
        ASSERT_TRUE(first.isActive());
        ShutdownSignals second;  // the handlers have one owner at a time
        EXPECT_FALSE(second.isActive());
        EXPECT_NE(currentHandler(SIGTERM), SIG_DFL);
    }
    EXPECT_EQ(currentHandler(SIGTERM), SIG_DFL);
    EXPECT_EQ(currentHandler(SIGINT), SIG_DFL);
    ShutdownSignals again;
    EXPECT_TRUE(again.isActive());
}
