// Consideration for servers, with the clock passed in: robots.txt verdicts, gaps, the per-server
// limit and the pauses of 429 and 503 answers.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TServerPolicy.h"

namespace {

using namespace std::chrono_literals;

const std::string kA = "http://a.test:80";
const std::string kB = "http://b.test:80";

class TServerPolicyTest : public ::testing::Test {
protected:
    TServerVerdict Judge(const std::string& Url, TPolicyClock::duration At = 0ms) {
        return policy.Judge(ServerOf(Url), Url, t0 + At);
    }
    void Start(const std::string& Url, TPolicyClock::duration At = 0ms) {
        ASSERT_EQ(Judge(Url, At), TServerVerdict::Start) << Url;
        policy.DownloadStarted(ServerOf(Url), t0 + At);
    }

    TServerPolicy policy;
    const TPolicyClock::time_point t0 = TPolicyClock::now();
};

TEST_F(TServerPolicyTest, NothingHoldsAUrlBackUntilAskedOrPaused) {
    EXPECT_FALSE(policy.Active());
    EXPECT_EQ(Judge("http://a.test/x"), TServerVerdict::Start);
    EXPECT_EQ(policy.Answered(kA, 503, -1, t0), 0);  // a 503 without Retry-After pauses nothing
    EXPECT_FALSE(policy.Active());
    EXPECT_EQ(policy.Answered(kA, 503, 2000, t0), 2000);
    EXPECT_TRUE(policy.Active());
    policy.NewRun();
    EXPECT_FALSE(policy.Active());
}

TEST_F(TServerPolicyTest, RobotsTxtIsFetchedFirstAndDecidesEveryUrlOfItsServer) {
    policy.Settings.ObeyRobotsTxt = true;
    policy.Settings.Agent = "tarnwick-crawl/1.0";
    EXPECT_EQ(Judge("http://a.test/x"), TServerVerdict::FetchRobots);
    policy.RobotsFetchStarted(kA);
    EXPECT_EQ(Judge("http://a.test/y"), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastReason(), TServerReason::RobotsPending);
    EXPECT_EQ(Judge("http://b.test/y"), TServerVerdict::FetchRobots);  // another server
    policy.RobotsArrived(
        kA, 200, true,
        "User-agent: *\nDisallow: /\n\nUser-agent: Tarnwick-Crawl\nDisallow: /private\n");
    EXPECT_EQ(Judge("http://a.test/private/a.htm"), TServerVerdict::Refuse);
    EXPECT_EQ(policy.LastReason(), TServerReason::RobotsDisallowed);
    EXPECT_EQ(policy.LastFailure(), TFetchFailure::None);
    EXPECT_EQ(Judge("http://A.TEST:80/public.htm"), TServerVerdict::Start);

    // What the answer means when there is no file to read.
    struct Answer {
        int Status;
        bool Complete;
        TServerVerdict Verdict;
        TFetchFailure Why = TFetchFailure::None;  // what the request met
    };
    const Answer answers[] = {
        {404, false, TServerVerdict::Start},
        {401, false, TServerVerdict::Start},
        {301, false, TServerVerdict::Start},  // six redirects
        {500, false, TServerVerdict::Refuse},
        {503, false, TServerVerdict::Refuse},
        {0, false, TServerVerdict::Refuse, TFetchFailure::ConnectionRefused},  // unreachable
        {0, false, TServerVerdict::Refuse, TFetchFailure::TimedOut},
        {200, false, TServerVerdict::Refuse, TFetchFailure::CutShort}};  // broken off
    for (const Answer& a : answers) {
        policy.RobotsArrived(kB, a.Status, a.Complete, "", a.Why);
        EXPECT_EQ(Judge("http://b.test/page.htm"), a.Verdict) << a.Status;
        if (a.Verdict == TServerVerdict::Refuse) {
            EXPECT_EQ(policy.LastReason(), TServerReason::RobotsUnreachable) << a.Status;
            // The refusal names what the robots.txt request met: the server's error status, or
            // why no answer came.
            EXPECT_EQ(policy.LastFailure(),
                      a.Why == TFetchFailure::None ? TFetchFailure::HttpStatus : a.Why)
                << a.Status;
            EXPECT_EQ(policy.LastFailureStatus(), a.Status);
        }
    }
}

TEST_F(TServerPolicyTest, TheGapIsTheLargerOfTheUsersDelayAndCrawlDelay) {
    policy.Settings.DelayMs = 200;
    Start("http://a.test/1");
    EXPECT_EQ(Judge("http://a.test/2", 100ms), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastReason(), TServerReason::Delay);
    EXPECT_EQ(policy.LastWaitMs(), 100);
    EXPECT_EQ(policy.MsUntilReady(t0 + 100ms), 100);
    EXPECT_EQ(Judge("http://b.test/1", 100ms), TServerVerdict::Start);  // other servers go on
    Start("http://a.test/2", 200ms);

    policy.Settings.ObeyRobotsTxt = true;
    policy.RobotsArrived(kA, 200, true, "User-agent: *\nCrawl-delay: 1\n");
    Start("http://a.test/3", 400ms);
    EXPECT_EQ(Judge("http://a.test/4", 1399ms), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastReason(), TServerReason::CrawlDelay);
    EXPECT_EQ(Judge("http://a.test/4", 1400ms), TServerVerdict::Start);

    // A Crawl-delay beyond reason waits the cap, and then the server goes on.
    policy.RobotsArrived(kA, 200, true, "User-agent: *\nCrawl-delay: 1e9\n");
    Start("http://a.test/5", 2s);
    EXPECT_EQ(Judge("http://a.test/6", 3s), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastWaitMs(), TRobotsTxt::kMaxCrawlDelayMs - 1000);
    EXPECT_EQ(Judge("http://a.test/6", 2s + 120s), TServerVerdict::Start);
}

TEST_F(TServerPolicyTest, TheGapCountsFromTheServersLastContact) {
    policy.Settings.DelayMs = 200;
    Start("http://a.test/1");
    // Its answer began 7 ms after its start: a next request must not reach the server sooner
    // than 200 ms after that.
    policy.DownloadEnded(kA, t0 + 7ms);
    EXPECT_EQ(Judge("http://a.test/2", 200ms), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastWaitMs(), 7);
    policy.DownloadEnded(kB, t0 + 150ms);  // no download of that server runs: nothing changes
    EXPECT_EQ(Judge("http://b.test/1", 0ms), TServerVerdict::Start);
    Start("http://a.test/2", 207ms);
    policy.DownloadEnded(kA);  // no request went out: the gap from the start stands
    EXPECT_EQ(Judge("http://a.test/3", 406ms), TServerVerdict::Wait);
    EXPECT_EQ(Judge("http://a.test/3", 407ms), TServerVerdict::Start);

    // A robots.txt request is a request too: the first page waits the user's gap after it, while
    // a Crawl-delay spaces pages only.
    policy.Settings.ObeyRobotsTxt = true;
    EXPECT_EQ(Judge("http://c.test/1", 0ms), TServerVerdict::FetchRobots);
    policy.RobotsFetchStarted("http://c.test:80");
    policy.RobotsArrived("http://c.test:80", 200, true, "User-agent: *\nCrawl-delay: 0.5\n",
                         TFetchFailure::None, t0 + 10ms);
    EXPECT_EQ(Judge("http://c.test/1", 209ms), TServerVerdict::Wait);
    EXPECT_EQ(Judge("http://c.test/1", 210ms), TServerVerdict::Start);
}

TEST_F(TServerPolicyTest, TheLimitCountsParallelDownloadsPerServer) {
    policy.Settings.MaxPerServer = 1;
    Start("http://a.test/1");
    EXPECT_EQ(Judge("http://a.test/2"), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastReason(), TServerReason::Limit);
    Start("http://b.test/1");
    policy.DownloadEnded(kA);
    EXPECT_EQ(Judge("http://a.test/2"), TServerVerdict::Start);
}

TEST_F(TServerPolicyTest, RetryAfterAndThe429BackOffPauseTheServer) {
    EXPECT_EQ(policy.Answered(kA, 429, 3000, t0), 3000);
    EXPECT_EQ(Judge("http://a.test/x", 2999ms), TServerVerdict::Wait);
    EXPECT_EQ(policy.LastReason(), TServerReason::RetryAfter);
    EXPECT_EQ(Judge("http://b.test/x", 10ms), TServerVerdict::Start);
    EXPECT_EQ(Judge("http://a.test/x", 3000ms), TServerVerdict::Start);
    EXPECT_EQ(policy.Answered(kA, 503, 999999, t0), TServerPolicy::kMaxRetryAfterMs);

    // Without the header, each 429 in a row doubles the pause, up to a minute.
    int expected[] = {1000, 2000, 4000, 8000, 16000, 32000, 60000, 60000};
    for (int ms : expected) EXPECT_EQ(policy.Answered(kB, 429, -1, t0), ms);
    EXPECT_TRUE(policy.HasBackoff());
    policy.Answered(kB, 200, -1, t0);
    EXPECT_FALSE(policy.HasBackoff());
    EXPECT_EQ(policy.Answered(kB, 429, -1, t0), 1000);
}

TEST(ServerOfTest, NamesSchemeHostAndPort) {
    const std::pair<const char*, const char*> cases[] = {
        {"http://Example.ORG/a", "http://example.org:80"},
        {"HTTPS://example.org", "https://example.org:443"},
        {"http://example.org:8080?x", "http://example.org:8080"},
        {"http://user:pw@example.org:81/#x", "http://example.org:81"},
        {"http://[::1]:8080/", "http://[::1]:8080"},
        {"http://[::1]/", "http://[::1]:80"},
        {"no-scheme/x", ""},
    };
    for (const auto& [url, server] : cases) EXPECT_EQ(ServerOf(url), server) << url;
}

TEST(RetryAfterTest, SecondsOrAnHttpDate) {
    const long long now = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
    EXPECT_EQ(RetryAfterMs("3", now), 3000);
    EXPECT_EQ(RetryAfterMs(" 120 ", now), 120000);
    EXPECT_EQ(RetryAfterMs("Sun, 06 Nov 1994 08:49:41 GMT", now), 4000);
    EXPECT_EQ(RetryAfterMs("Sunday, 06-Nov-94 08:49:39 GMT", now), 2000);
    EXPECT_EQ(RetryAfterMs("Sun, 06 Nov 1994 08:00:00 GMT", now), 0);  // already past
    EXPECT_EQ(RetryAfterMs("soon", now), -1);
    EXPECT_EQ(RetryAfterMs("-5", now), -1);
    EXPECT_EQ(RetryAfterMs("", now), -1);
    EXPECT_EQ(RetryAfterMs("99999999999999999999", now), 24 * 3600 * 1000);
}

TEST_F(TServerPolicyTest, SharedServersAreOneForEveryPolicyAndOutliveARun) {
    TServerPolicy other;
    // What each heard, "who: server robots|freed"; the policy that caused a change hears nothing.
    std::vector<std::string> told;
    for (auto [p, who] : {std::pair{&policy, "first: "}, std::pair{&other, "other: "}})
        p->OnServerFreed = [&told, who](const std::string& Server, bool RobotsKnown) {
            told.push_back(who + Server + (RobotsKnown ? " robots" : " freed"));
        };
    other.ShareWith(policy);
    for (TServerPolicy* p : {&policy, &other}) {
        p->Settings.ObeyRobotsTxt = true;
        p->Settings.MaxPerServer = 1;
    }
    policy.RobotsFetchStarted(kA);
    EXPECT_EQ(other.Judge(kA, "http://a.test/x", t0), TServerVerdict::Wait);
    // A request cut off by a stop leaves the server to be asked again, not unreachable.
    policy.RobotsAbandoned(kA);
    EXPECT_EQ(other.Judge(kA, "http://a.test/x", t0), TServerVerdict::FetchRobots);
    other.RobotsFetchStarted(kA);
    other.RobotsArrived(kA, 404, true, "");
    Start("http://a.test/x");
    EXPECT_EQ(other.Judge(kA, "http://a.test/y", t0), TServerVerdict::Wait);
    EXPECT_EQ(other.LastReason(), TServerReason::Limit);
    policy.DownloadEnded(kA);
    EXPECT_EQ(told, (std::vector<std::string>{"other: " + kA + " freed", "first: " + kA + " robots",
                                              "other: " + kA + " freed"}));
    // A new run of either keeps the servers; an unshared policy forgets them.
    other.NewRun();
    policy.NewRun();
    EXPECT_EQ(other.Judge(kA, "http://a.test/y", t0), TServerVerdict::Start);
    TServerPolicy alone;
    alone.Settings.ObeyRobotsTxt = true;
    alone.RobotsArrived(kA, 404, true, "");
    alone.NewRun();
    EXPECT_EQ(alone.Judge(kA, "http://a.test/y", t0), TServerVerdict::FetchRobots);
}

}  // namespace
