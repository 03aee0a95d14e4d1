// Adaptive tick pacing: the driver's pauses and wake-up, the scheduler's activity flag and held
// statistics, and the order and spacing of the events of a whole run.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "TDwnldThread.h"
#include "THttpDwnld.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Drives a TDwnldThread whose ticks answer with the given pace and are counted.
struct CountingDriver {
    explicit CountingDriver(TTickPace Pace) : pace(Pace) {
        thread = std::make_shared<TDwnldThread>(
            [this] {
                ++ticks;
                return pace;
            },
            [this] { endHandlerRan = true; });
        std::string why;
        EXPECT_TRUE(thread->Start(why)) << why;
    }
    ~CountingDriver() {
        thread->Detach();
        // The thread and its last task let go of the object; then only this test holds it.
        WaitFor([this] { return thread.use_count() == 1; });
    }
    TTickPace pace;
    std::shared_ptr<TDwnldThread> thread;
    int ticks = 0;
    bool endHandlerRan = false;
};

TEST(TDwnldThreadTest, WakeEndsAWakeablePauseAndLeavesAFixedOneAlone) {
    // A wakeable pause of a minute would hold the second tick far beyond the wait below.
    CountingDriver wakeable({60000, true});
    ASSERT_TRUE(WaitFor([&] { return wakeable.ticks == 1; }));
    SpinFor(100);
    EXPECT_EQ(wakeable.ticks, 1);
    wakeable.thread->Wake();
    EXPECT_TRUE(WaitFor([&] { return wakeable.ticks == 2; }, 5000));

    CountingDriver fixed({400, false});
    ASSERT_TRUE(WaitFor([&] { return fixed.ticks == 1; }));
    fixed.thread->Wake();
    SpinFor(100);
    EXPECT_EQ(fixed.ticks, 1);
    EXPECT_TRUE(WaitFor([&] { return fixed.ticks == 2; }, 5000));
}

TEST(TDwnldThreadTest, ZeroPausesTickAtOnceAndDetachEndsTheThreadSilently) {
    CountingDriver driver({0, true});
    ASSERT_TRUE(WaitFor([&] { return driver.ticks >= 50; }, 5000));
    driver.thread->Detach();
    const int seen = driver.ticks;
    ASSERT_TRUE(WaitFor([&] { return driver.thread.use_count() == 1; }));
    SpinFor(20);
    EXPECT_EQ(driver.ticks, seen);  // no tick reaches a detached owner
    EXPECT_FALSE(driver.endHandlerRan);
}

// A scheduler run without network: an entry whose URL cannot be split is dropped by its slot.
struct OfflineScheduler {
    OfflineScheduler() {
        d.ConcurrentDownloads = 1;
        d.OnStats = [this](THttpDwnld&, int, int q, int, int, int, int, int) {
            reports.push_back(q);
        };
    }
    THttpDwnld d;
    std::vector<int> reports;  // InQueue of each report
};

TEST(AdaptiveSchedulerTest, ActivityAsksForNoPauseAndSoDoesTheQuietCountdown) {
    OfflineScheduler s;
    s.d.AddUrl("not a url", {});
    s.d.Tick();  // creates the slot, which takes and drops the entry
    EXPECT_TRUE(s.d.TickWasActive());
    EXPECT_TRUE(s.d.CheckProgress());
    EXPECT_EQ(s.d.AdaptiveDelayMs(), 0);
    EXPECT_EQ(s.d.QueueCount(), 0);

    // From here on nothing happens: eleven quiet ticks, none of them waiting, then the end.
    int quietTicks = 0;
    for (;;) {
        s.d.Tick();
        EXPECT_FALSE(s.d.TickWasActive());
        const bool goesOn = s.d.CheckProgress();
        ++quietTicks;
        if (!goesOn) break;
        EXPECT_EQ(s.d.AdaptiveDelayMs(), 0);
        ASSERT_LT(quietTicks, 20);
    }
    EXPECT_EQ(quietTicks, 11);
    EXPECT_EQ(s.reports, (std::vector<int>{0, 0}));  // ResetRun's, then the first tick's
}

TEST(AdaptiveSchedulerTest, AHeldReportKeepsTheRunGoingUntilItIsDue) {
    OfflineScheduler s;
    s.d.ThrottleStats = true;
    s.d.ConcurrentDownloads = 0;  // no slot: the entry stays queued
    const Clock::time_point before = Clock::now();
    s.d.AddUrl("http://127.0.0.1:1/", {});  // ResetRun reports zeros
    ASSERT_EQ(s.reports.size(), 1u);
    s.d.Tick();
    EXPECT_TRUE(s.d.CheckProgress());
    if (Clock::now() - before < std::chrono::milliseconds(45)) {
        // Too soon after the zero report: the queue of 1 waits, and the driver is told to pause
        // just until it is due.
        EXPECT_EQ(s.reports.size(), 1u);
        EXPECT_GE(s.d.AdaptiveDelayMs(), 1);
        EXPECT_LE(s.d.AdaptiveDelayMs(), 50);
        EXPECT_EQ(s.d.IdleCountdown, 10);
    }
    ASSERT_TRUE(WaitFor(
        [&] {
            s.d.Tick();
            s.d.CheckProgress();
            return s.reports.size() == 2;
        },
        2000));
    EXPECT_EQ(s.reports.back(), 1);
    EXPECT_GE(Clock::now() - before, std::chrono::milliseconds(45));
    // The change is reported: the driver no longer needs to hurry or to wait for it.
    s.d.Tick();
    s.d.CheckProgress();
    EXPECT_EQ(s.reports.size(), 2u);
    EXPECT_EQ(s.d.AdaptiveDelayMs(), 50);
}

struct TimedEvent {
    std::string kind;  // "stats", "working" or "idle"
    Clock::time_point at;
    int done = 0, inQueue = 0, downloading = 0, toAnalyze = 0;
};

class AdaptiveRunTest : public ::testing::Test {
protected:
    // A start page linking to Pages pages, each answered after 50 ms: many counter changes, and
    // a run of twelve pages long enough for several reports even on a fast machine.
    void Run(int Pages, bool Adaptive) {
        std::string links, routes;
        for (int i = 0; i < Pages; ++i) {
            const std::string path = "/p" + std::to_string(i) + ".htm";
            links += "<a href='" + path + "'>p</a>";
            routes +=
                ",\"" + path + "\": {\"body\": \"<p>page</p>\", \"delay_before_headers\": 0.05}";
        }
        TestServer server(R"({"routes": {"/": {"body": ")" + links + "\"}" + routes + "}}");
        ASSERT_TRUE(server.Start());
        THttpScan scan;
        scan.SetAdaptiveTicks(Adaptive);
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults("");
        scan.SetConcurrentDownloads(3);
        scan.OnUpdatedStats = [this](THttpScan&, int q, int d, int a, int done, int, int) {
            events.push_back({"stats", Clock::now(), done, q, d, a});
        };
        scan.OnWorking = [this](THttpScan&, bool w) {
            events.push_back({w ? "working" : "idle", Clock::now()});
        };
        ASSERT_TRUE(scan.Start(server.Url("/")));
        ASSERT_TRUE(WaitFor([&] { return !events.empty() && events.back().kind == "idle"; }));
    }
    // The events with their times from the first, for a failure's message.
    std::string Describe() const {
        std::string text;
        for (const TimedEvent& e : events) {
            const auto ms =
                std::chrono::duration_cast<std::chrono::milliseconds>(e.at - events.front().at);
            text += std::to_string(ms.count()) + " ms " + e.kind +
                    " done=" + std::to_string(e.done) + " q=" + std::to_string(e.inQueue) + "\n";
        }
        return text;
    }
    std::vector<TimedEvent> events;
};

TEST_F(AdaptiveRunTest, TheLastReportComesBeforeTheEndAndReportsAreSpacedBy50Ms) {
    THttpScan defaults;
    EXPECT_FALSE(defaults.AdaptiveTicks());  // the window keeps the 50 ms rhythm
    defaults.SetAdaptiveTicks(true);
    EXPECT_TRUE(defaults.AdaptiveTicks());

    Run(12, true);
    SCOPED_TRACE(Describe());
    ASSERT_GE(events.size(), 4u);
    EXPECT_EQ(events.front().kind, "stats");  // the run's zero report
    EXPECT_EQ(events[1].kind, "working");
    EXPECT_EQ(events.back().kind, "idle");
    const TimedEvent& last = events[events.size() - 2];
    ASSERT_EQ(last.kind, "stats");
    EXPECT_EQ(last.done, 13);
    EXPECT_EQ(last.inQueue, 0);
    EXPECT_EQ(last.downloading, 0);
    EXPECT_EQ(last.toAnalyze, 0);

    std::vector<Clock::time_point> reports;
    for (const TimedEvent& e : events)
        if (e.kind == "stats") reports.push_back(e.at);
    ASSERT_GE(reports.size(), 3u);
    for (std::size_t i = 1; i < reports.size(); ++i)
        EXPECT_GE(reports[i] - reports[i - 1], std::chrono::milliseconds(45)) << "report " << i;
}

TEST_F(AdaptiveRunTest, PacedRunsStillEndWithTheFinalCounters) {
    Run(4, false);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.back().kind, "idle");
    const TimedEvent& last = events[events.size() - 2];
    ASSERT_EQ(last.kind, "stats");
    EXPECT_EQ(last.done, 5);
}

}  // namespace
