// The notice queue: tasks from other threads run on the GUI thread, in order, inside nested
// event loops too, without starving the loop's other events.

#include <gtest/gtest.h>

#include <QTimer>

#include <functional>
#include <map>
#include <thread>
#include <vector>

#include "EventLoopWait.h"
#include "TNoticeQueue.h"

TEST(TNoticeQueueTest, TasksOfManyThreadsRunOnceEachInTheirOrderOnTheGuiThread) {
    constexpr int kThreads = 4;
    constexpr int kTasks = 2000;
    auto queue = TNoticeQueue::Main();
    const auto gui = std::this_thread::get_id();
    // Written by the tasks alone, which all run on this thread.
    std::map<int, std::vector<int>> seen;
    int offThread = 0;
    std::vector<std::thread> posters;
    for (int t = 0; t < kThreads; ++t)
        posters.emplace_back([&, t] {
            for (int i = 0; i < kTasks; ++i)
                queue->Post([&, t, i] {
                    if (std::this_thread::get_id() != gui) ++offThread;
                    seen[t].push_back(i);
                });
        });
    for (auto& p : posters) p.join();
    ASSERT_TRUE(WaitFor([&] {
        std::size_t total = 0;
        for (const auto& entry : seen) total += entry.second.size();
        return total == kThreads * kTasks;
    }));
    SpinFor(20);
    EXPECT_EQ(offThread, 0);
    for (int t = 0; t < kThreads; ++t) {
        ASSERT_EQ(seen[t].size(), static_cast<std::size_t>(kTasks));
        for (int i = 0; i < kTasks; ++i) ASSERT_EQ(seen[t][i], i) << "thread " << t;
    }
}

TEST(TNoticeQueueTest, ANestedEventLoopGoesOnWithTheTasksBehindItsOwn) {
    auto queue = TNoticeQueue::Main();
    std::vector<int> order;
    bool nestedSawLater = false;
    queue->Post([&] {
        order.push_back(1);
        // A task that waits in an event loop (a blocking notice, a modal message) must not hold
        // up the tasks behind it, nor see them run twice.
        nestedSawLater = WaitFor([&] { return order.size() == 3; }, 5000);
        order.push_back(4);
    });
    queue->Post([&] { order.push_back(2); });
    std::thread([&] { queue->Post([&] { order.push_back(3); }); }).join();
    ASSERT_TRUE(WaitFor([&] { return order.size() == 4; }));
    SpinFor(20);
    EXPECT_TRUE(nestedSawLater);
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4}));
}

TEST(TNoticeQueueTest, ATaskThatPostsAgainAndAgainLeavesTheLoopsOtherEventsTheirTurn) {
    auto queue = TNoticeQueue::Main();
    bool timerFired = false;
    int rounds = 0;
    bool stop = false;
    std::function<void()> again = [&] {
        ++rounds;
        if (!stop) queue->Post(again);
    };
    QTimer::singleShot(0, [&] { timerFired = true; });
    queue->Post(again);
    EXPECT_TRUE(WaitFor([&] { return timerFired; }, 5000));
    stop = true;
    bool drained = false;  // runs after the last round, which posts no other
    queue->Post([&] { drained = true; });
    ASSERT_TRUE(WaitFor([&] { return drained; }));
    EXPECT_GT(rounds, 0);
}
