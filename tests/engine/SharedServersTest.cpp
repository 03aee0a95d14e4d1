// Crawlers that share their servers (ShareServersWith): two crawls of one test server side by
// side, or one crawler's runs one after the other, treat the server as one crawler would.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

using Clock = std::chrono::steady_clock;

// Two sites of one server: /a/ and /b/, each linking three slow pages; robots.txt forbids one
// page of /b/.
std::string SiteConfig() {
    std::string routes =
        "\"/robots.txt\": {\"body\": \"User-agent: *\\nDisallow: /b/3.htm\", "
        "\"content_type\": \"text/plain\"}";
    for (const std::string site : {"a", "b"}) {
        std::string links;
        for (int i = 1; i <= 3; ++i) {
            const std::string path = "/" + site + "/" + std::to_string(i) + ".htm";
            links += "<a href=\\\"" + path + "\\\">x</a>";
            routes += ", \"" + path + "\": {\"body\": \"<a href=\\\"mailto:" + site +
                      std::to_string(i) +
                      "@example.org\\\">m</a>\", \"delay_before_headers\": 0.2}";
        }
        routes += ", \"/" + site + "/\": {\"body\": \"" + links + "\"}";
    }
    return "{\"routes\": {" + routes + "}}";
}

struct Crawler {
    THttpScan scan;
    bool ended = false;
    int pages = 0;
    std::vector<std::string> skipped;

    Crawler(const std::function<void(THttpScan&)>& Setup, std::vector<Clock::time_point>& Starts) {
        scan.SetAdaptiveTicks(true);
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults("");
        scan.SetConcurrentDownloads(3);
        scan.SetObeyRobotsTxt(true);
        scan.OnWorking = [this](THttpScan&, bool working) { ended = !working; };
        scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string&,
                                     const std::string&, const std::string&) { ++pages; };
        scan.OnSkipped = [this](THttpScan&, const std::string& url, const std::string&,
                                const std::string&, TFetchFailure, int) { skipped.push_back(url); };
        // When a crawler starts a page's download, as it decides it: the server's log would add
        // the delays of its threads, which a busy machine stretches.
        scan.SetLogsEnabled(true);
        scan.OnLog = [&Starts](THttpScan&, const std::string& text) {
            if (text.starts_with("HTML: starting download for ") && !text.ends_with("robots.txt"))
                Starts.push_back(Clock::now());
        };
        Setup(scan);
    }
};

// Crawls /a/ and /b/ with two sharing crawlers at once; Starts gets every page request's start.
void CrawlSideBySide(TestServer& Server, const std::function<void(THttpScan&)>& Setup,
                     std::vector<Clock::time_point>& Starts, int& Pages) {
    Crawler a(Setup, Starts), b(Setup, Starts);
    ASSERT_TRUE(a.scan.ShareServersWith(b.scan));
    ASSERT_TRUE(a.scan.Start(Server.Url("/a/")));
    ASSERT_TRUE(b.scan.Start(Server.Url("/b/")));
    EXPECT_FALSE(a.scan.ShareServersWith(b.scan));  // not while it runs
    ASSERT_TRUE(WaitFor([&] { return a.ended && b.ended; }, 60000));
    Pages = a.pages + b.pages;
    EXPECT_EQ(b.skipped, std::vector<std::string>{Server.Url("/b/3.htm")});
}

TEST(SharedServersTest, TwoCrawlersReadRobotsTxtOnceAndKeepTheGapTogether) {
    TestServer server(SiteConfig());
    ASSERT_TRUE(server.Start());
    std::vector<Clock::time_point> starts;
    int pages = 0;
    CrawlSideBySide(
        server, [](THttpScan& s) { s.SetHostDelayMs(250); }, starts, pages);
    EXPECT_EQ(pages, 7);
    EXPECT_EQ(server.CountRequests("/robots.txt"), 1);
    ASSERT_EQ(starts.size(), 7u);
    std::sort(starts.begin(), starts.end());
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(std::chrono::duration<double>(starts[i] - starts[i - 1]).count(), 0.24);
}

TEST(SharedServersTest, TwoCrawlersKeepThePerServerLimitTogether) {
    TestServer server(SiteConfig());
    ASSERT_TRUE(server.Start());
    std::vector<Clock::time_point> starts;
    int pages = 0;
    CrawlSideBySide(
        server, [](THttpScan& s) { s.SetMaxPerHost(2); }, starts, pages);
    EXPECT_EQ(pages, 7);
    EXPECT_EQ(server.CountRequests("/robots.txt"), 1);
    // Each slow page takes 0.2 s: a third may start only once one of two running has ended.
    std::vector<double> slow;
    for (const TestRequest& r : server.Requests())
        if (r.path.ends_with(".htm")) slow.push_back(r.time);
    ASSERT_EQ(slow.size(), 5u);
    for (std::size_t i = 2; i < slow.size(); ++i) EXPECT_GE(slow[i] - slow[i - 2], 0.19);
}

TEST(SharedServersTest, ACrawlerSharingWithItselfKeepsRobotsTxtFromRunToRun) {
    TestServer server(SiteConfig());
    ASSERT_TRUE(server.Start());
    std::vector<Clock::time_point> starts;
    Crawler one([](THttpScan&) {}, starts);
    ASSERT_TRUE(one.scan.ShareServersWith(one.scan));
    for (const std::string site : {"/a/", "/b/"}) {
        one.ended = false;
        ASSERT_TRUE(one.scan.Start(server.Url(site)));
        ASSERT_TRUE(WaitFor([&] { return one.ended; }, 30000));
        // The next run starts from the event loop, never from OnWorking(false).
        SpinFor(20);
    }
    EXPECT_EQ(one.pages, 7);
    EXPECT_EQ(server.CountRequests("/robots.txt"), 1);
}

}  // namespace
