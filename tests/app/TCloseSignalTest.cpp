#include <gtest/gtest.h>

#include <csignal>

#include "EventLoopWait.h"
#include "TCloseSignal.h"

TEST(TCloseSignalTest, TermAndHupReachTheMainThreadOncePerSignal) {
    int calls = 0;
    {
        const TCloseSignal bridge([&calls] { ++calls; });
        ASSERT_EQ(std::raise(SIGTERM), 0);
        EXPECT_TRUE(WaitFor([&] { return calls == 1; }, 5000));
        ASSERT_EQ(std::raise(SIGHUP), 0);
        EXPECT_TRUE(WaitFor([&] { return calls == 2; }, 5000));
    }
    // Once the bridge is gone, the default actions are back.
    struct sigaction action {};
    sigaction(SIGTERM, nullptr, &action);
    EXPECT_EQ(action.sa_handler, SIG_DFL);
}
