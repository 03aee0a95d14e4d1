// Crawls that keep to the servers' rules, against the local test server: robots.txt decides what
// is fetched, gaps and pauses are measured on the server's own request log, never by timing the
// test.

#include <gtest/gtest.h>

#include <chrono>

#include <QDateTime>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "FetchLimitsGuard.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

using Set = std::set<std::string>;

bool AdaptiveTicksWanted() {
    const char* value = std::getenv("TARNWICK_TEST_ADAPTIVE");
    return value && std::string(value) == "1";
}

// A page that links each of Paths and names one address of its own.
std::string Page(const std::string& Name, const std::vector<std::string>& Paths) {
    std::string body = "<a href=\\\"mailto:" + Name + "@example.org\\\">m</a>";
    for (const std::string& path : Paths) body += " <a href=\\\"" + path + "\\\">x</a>";
    return body;
}

std::string Route(const std::string& Path, const std::string& Fields) {
    return "\"" + Path + "\": {" + Fields + "}";
}

std::string Config(const std::vector<std::string>& Routes) {
    std::string json = "{\"routes\": {";
    for (std::size_t i = 0; i < Routes.size(); ++i) json += (i ? ", " : "") + Routes[i];
    return json + "}}";
}

std::string Body(const std::string& Text) {
    return "\"body\": \"" + Text + "\"";
}

struct Skip {
    std::string url, referrer, reason, cause;
};

struct Crawl {
    Set found, pages;
    std::vector<Skip> skipped;
    std::vector<std::string> waits;  // "server reason"
    std::vector<std::string> logs;
    bool ended = false;
    int errors = 0, forbidden = 0;  // the run's failures and robots.txt refusals at its end

    // Crawls from Start; Setup may change settings and Hook may act on the running crawler.
    void Run(const std::string& Start, const std::function<void(THttpScan&)>& Setup,
             int TimeoutMs = 30000) {
        THttpScan scan;
        scan.SetAdaptiveTicks(AdaptiveTicksWanted());
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults("");
        scan.SetAgent("tarnwick-test/1.0");
        scan.OnWorking = [this](THttpScan& s, bool working) {
            ended = !working;
            forbidden = s.SkippedByRobots();
        };
        scan.OnUpdatedStats = [this](THttpScan&, int, int, int, int, int, int e) { errors = e; };
        scan.OnLinkFound = [this](THttpScan&, const std::string& url, const std::string&,
                                  const std::string&, const std::string&, const std::string&,
                                  const std::string&, const std::string&, std::string&, char, int,
                                  bool&) { found.insert(url); };
        scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string& url,
                                     const std::string&, const std::string&) { pages.insert(url); };
        scan.OnSkipped = [this](THttpScan&, const std::string& url, const std::string& referrer,
                                const std::string& reason, TFetchFailure cause, int status) {
            skipped.push_back({url, referrer, reason, FetchFailureText(cause, status)});
        };
        scan.OnServerWait = [this](THttpScan&, const std::string& server, int,
                                   const std::string& reason) {
            waits.push_back(server + " " + reason);
        };
        scan.SetLogsEnabled(true);
        scan.OnLog = [this](THttpScan&, const std::string& text) { logs.push_back(text); };
        if (Setup) Setup(scan);
        ASSERT_TRUE(scan.Start(Start));
        ASSERT_TRUE(WaitFor([&] { return ended; }, TimeoutMs));
    }
};

// Seconds between the server's consecutive requests for paths other than /robots.txt.
std::vector<double> Gaps(const TestServer& Server) {
    std::vector<double> times;
    for (const TestRequest& r : Server.Requests())
        if (r.path != "/robots.txt") times.push_back(r.time);
    std::vector<double> gaps;
    for (std::size_t i = 1; i < times.size(); ++i) gaps.push_back(times[i] - times[i - 1]);
    return gaps;
}

const std::string kRobots =
    "User-agent: *\\nDisallow: /private\\n\\nUser-agent: Tarnwick-Test\\nDisallow: /secret\\n";

TEST(ServerPolicyCrawlTest, RobotsTxtKeepsEachAgentOutOfItsDisallowedPaths) {
    struct Case {
        std::string agent, refused, fetched;
    };
    const Case cases[] = {{"tarnwick-test/1.0", "/secret/b.htm", "/private/a.htm"},
                          {"Other/2.0 (compatible)", "/private/a.htm", "/secret/b.htm"}};
    for (const Case& c : cases) {
        TestServer server(
            Config({Route("/robots.txt", Body(kRobots) + ", \"content_type\": \"text/plain\""),
                    Route("/", Body(Page("start", {"/private/a.htm", "/secret/b.htm"}))),
                    Route("/private/a.htm", Body(Page("a", {}))),
                    Route("/secret/b.htm", Body(Page("b", {})))}));
        ASSERT_TRUE(server.Start());
        Crawl crawl;
        crawl.Run(server.Url("/"), [&](THttpScan& s) {
            s.SetObeyRobotsTxt(true);
            s.SetAgent(c.agent);
        });
        SCOPED_TRACE(c.agent);
        EXPECT_EQ(server.CountRequests("/robots.txt"), 1);
        EXPECT_EQ(server.CountRequests(c.refused), 0);
        EXPECT_EQ(server.CountRequests(c.fetched), 1);
        // The refused page is still reported as a link of the start page: reporting fetches
        // nothing.
        EXPECT_TRUE(crawl.found.count(server.Url(c.refused)));
        ASSERT_EQ(crawl.skipped.size(), 1u);
        EXPECT_EQ(crawl.skipped[0].url, server.Url(c.refused));
        EXPECT_EQ(crawl.skipped[0].referrer, server.Url("/"));
        EXPECT_EQ(crawl.skipped[0].reason, "robots");
    }
}

TEST(ServerPolicyCrawlTest, AnEndlessCrawlDelayIsCappedAndSaidSo) {
    TestServer server(Config({Route("/robots.txt", Body("User-agent: *\\nCrawl-delay: 1e9") +
                                                       ", \"content_type\": \"text/plain\""),
                              Route("/", Body(Page("start", {"/next.htm"})))}));
    ASSERT_TRUE(server.Start());
    Crawl crawl;
    crawl.Run(server.Url("/"), [](THttpScan& s) {
        s.SetObeyRobotsTxt(true);
        s.SetDepthSearchLevel(1);
    });
    EXPECT_EQ(crawl.pages, Set{server.Url("/")});
    const std::string said =
        "HTML: Crawl-delay of http://127.0.0.1:" + std::to_string(server.Port()) +
        " capped at 120 s";
    EXPECT_EQ(std::count(crawl.logs.begin(), crawl.logs.end(), said), 1);
}

TEST(ServerPolicyCrawlTest, AnswersWithoutRulesAllowAllOrNothing) {
    std::string big(600 * 1024, '#');
    big = "User-agent: *\\nDisallow: /early\\n" + big + "\\nDisallow: /late\\n";
    struct Case {
        std::string name, robotsRoute;
        Set fetched;  // of /, /early.htm and /late.htm
        std::string skipReason;
        std::size_t skips;
    };
    const Case cases[] = {
        {"404", Route("/robots.txt", "\"status\": 404"), {"/", "/early.htm", "/late.htm"}, "", 0},
        {"redirected",
         Route("/robots.txt", "\"redirect\": \"/rules.txt\""),
         {"/", "/late.htm"},
         "robots",
         1},
        {"beyond 500 KiB",
         Route("/robots.txt", Body(big) + ", \"content_type\": \"text/plain\""),
         {"/", "/late.htm"},
         "robots",
         1},
        // Not even the start page: its links are never met.
        {"server error", Route("/robots.txt", "\"status\": 500"), {}, "robots-unreachable", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(Config({c.robotsRoute,
                                  Route("/rules.txt", Body("User-agent: *\\nDisallow: /early") +
                                                          ", \"content_type\": \"text/plain\""),
                                  Route("/", Body(Page("start", {"/early.htm", "/late.htm"}))),
                                  Route("/early.htm", Body(Page("early", {}))),
                                  Route("/late.htm", Body(Page("late", {})))}));
        ASSERT_TRUE(server.Start());
        Crawl crawl;
        crawl.Run(server.Url("/"), [](THttpScan& s) { s.SetObeyRobotsTxt(true); });
        Set fetched;
        for (const std::string path : {"/", "/early.htm", "/late.htm"})
            if (server.CountRequests(path) > 0) fetched.insert(path);
        EXPECT_EQ(fetched, c.fetched);
        for (const Skip& s : crawl.skipped) {
            EXPECT_EQ(s.reason, c.skipReason) << s.url;
            // Rules forbid without a cause; an unread robots.txt names what its request met.
            EXPECT_EQ(s.cause, c.skipReason == "robots" ? "" : "HTTP status 500") << s.url;
        }
        EXPECT_EQ(crawl.skipped.size(), c.skips);
        // An unread robots.txt fails its URLs; only a refusal by the rules counts as one.
        EXPECT_EQ(crawl.forbidden, c.skipReason == "robots" ? 1 : 0);
        EXPECT_EQ(crawl.errors, c.skipReason == "robots-unreachable" ? 1 : 0);
    }

    // A server that cannot be reached at all: its start page is skipped, not tried four times,
    // and the cause is the refused connection.
    Crawl closed;
    closed.Run("http://127.0.0.1:1/", [](THttpScan& s) { s.SetObeyRobotsTxt(true); });
    ASSERT_EQ(closed.skipped.size(), 1u);
    EXPECT_EQ(closed.skipped[0].reason, "robots-unreachable");
    EXPECT_EQ(closed.skipped[0].cause, "connection refused");
    EXPECT_EQ(closed.errors, 1);
    EXPECT_EQ(closed.forbidden, 0);
}

TEST(ServerPolicyCrawlTest, RobotsTxtIsFollowedThroughFiveRedirectsToAnyServer) {
    FetchLimitsGuard guard;
    const std::string rules =
        Body("User-agent: *\\nDisallow: /early") + ", \"content_type\": \"text/plain\"";
    TestServer secure(Config({Route("/robots.txt", rules)}), true);
    TestServer www(Config({Route("/robots.txt", rules)}));
    ASSERT_TRUE(secure.Start());
    ASSERT_TRUE(www.Start());
    FetchLimits().CaFile = secure.CaFile();
    // Hops /r1 ... /r<n> of a chain that ends at /rules.txt.
    const auto chain = [&](int Hops) {
        std::vector<std::string> routes;
        for (int i = 1; i < Hops; ++i)
            routes.push_back(Route(i == 1 ? "/robots.txt" : "/r" + std::to_string(i - 1),
                                   "\"redirect\": \"/r" + std::to_string(i) + "\""));
        routes.push_back(Route("/r" + std::to_string(Hops - 1), "\"redirect\": \"/rules.txt\""));
        return routes;
    };
    struct Case {
        std::string name;
        std::vector<std::string> robotsRoutes;
        bool rulesApply;
    };
    const Case cases[] = {
        {"another host",
         {Route("/robots.txt", "\"redirect\": \"" + www.Url("/robots.txt") + "\"")},
         true},
        {"http to https",
         {Route("/robots.txt", "\"redirect\": \"" + secure.Url("/robots.txt") + "\"")},
         true},
        {"five redirects", chain(5), true},
        // More is no file at all: everything may be fetched.
        {"six redirects", chain(6), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> routes = c.robotsRoutes;
        routes.push_back(Route("/rules.txt", rules));
        routes.push_back(Route("/", Body(Page("start", {"/early.htm", "/late.htm"}))));
        routes.push_back(Route("/early.htm", Body(Page("early", {}))));
        routes.push_back(Route("/late.htm", Body(Page("late", {}))));
        TestServer server(Config(routes));
        ASSERT_TRUE(server.Start());
        Crawl crawl;
        crawl.Run(server.Url("/"), [](THttpScan& s) { s.SetObeyRobotsTxt(true); });
        EXPECT_EQ(server.CountRequests("/late.htm"), 1);
        EXPECT_EQ(server.CountRequests("/early.htm"), c.rulesApply ? 0 : 1);
        EXPECT_EQ(crawl.forbidden, c.rulesApply ? 1 : 0);
        EXPECT_EQ(crawl.errors, 0);
        // The rules found are the asking server's: the one that served them is not crawled.
        EXPECT_EQ(www.CountRequests("/early.htm") + secure.CountRequests("/early.htm"), 0);
    }
}

TEST(ServerPolicyCrawlTest, EveryHopOfARedirectIsAskedOfItsOwnServersRobotsTxt) {
    const std::string plain = ", \"content_type\": \"text/plain\"";
    TestServer other(
        Config({Route("/robots.txt", Body("User-agent: *\\nDisallow: /forbidden") + plain),
                Route("/forbidden.htm", Body(Page("forbidden", {}))),
                Route("/open.htm", Body(Page("open", {"next.htm"}))),
                Route("/next.htm", Body(Page("next", {})))}));
    ASSERT_TRUE(other.Start());
    const auto redirect = [](const std::string& To) { return "\"redirect\": \"" + To + "\""; };
    TestServer server(Config(
        {Route("/robots.txt", Body("User-agent: *\\nDisallow: /private") + plain),
         Route("/", Body(Page("start", {"/moved.htm", "/away.htm", "/fine.htm", "/near.htm"}))),
         Route("/moved.htm", redirect("/private/p.htm")),
         Route("/away.htm", redirect(other.Url("/forbidden.htm"))),
         Route("/fine.htm", "\"status\": 301, " + redirect(other.Url("/open.htm"))),
         Route("/near.htm", redirect("/hop.htm")), Route("/hop.htm", redirect("/last.htm")),
         Route("/last.htm", Body(Page("last", {}))),
         Route("/private/p.htm", Body(Page("private", {})))}));
    ASSERT_TRUE(server.Start());
    // When the crawler starts each request to the first server, as it decides it.
    std::vector<std::chrono::steady_clock::time_point> starts;
    Crawl crawl;
    crawl.Run(server.Url("/"), [&](THttpScan& s) {
        s.SetObeyRobotsTxt(true);
        s.SetHostDelayMs(300);
        s.OnLog = [&](THttpScan&, const std::string& text) {
            const bool start = text.starts_with("HTML: starting download for ") ||
                               text.starts_with("HTML: following the redirect to ");
            if (start && text.find(server.Url("/")) != std::string::npos &&
                text.find(other.Url("/")) == std::string::npos && !text.ends_with("/robots.txt"))
                starts.push_back(std::chrono::steady_clock::now());
        };
    });
    // Forbidden hops are never requested, and their links are refused as robots.txt refuses.
    EXPECT_EQ(server.CountRequests("/private/p.htm"), 0);
    EXPECT_EQ(other.CountRequests("/forbidden.htm"), 0);
    std::set<std::string> skipped;
    for (const Skip& skip : crawl.skipped) {
        skipped.insert(skip.url + " " + skip.reason);
        EXPECT_EQ(skip.referrer, server.Url("/"));
    }
    EXPECT_EQ(skipped, (std::set<std::string>{server.Url("/moved.htm") + " robots",
                                              server.Url("/away.htm") + " robots"}));
    EXPECT_EQ(crawl.forbidden, 2);
    EXPECT_EQ(crawl.errors, 0);
    // The other server's rules were read before its first page, whose links resolve there.
    const std::vector<TestRequest> asked = other.Requests();
    ASSERT_GE(asked.size(), 3u);
    EXPECT_EQ(asked[0].path, "/robots.txt");
    EXPECT_EQ(other.CountRequests("/open.htm"), 1);
    EXPECT_EQ(other.CountRequests("/next.htm"), 1);
    // Pages are credited to the URL asked for; the hops' referrer is the linking page's origin.
    EXPECT_EQ(crawl.pages, (Set{server.Url("/"), server.Url("/fine.htm"), server.Url("/near.htm"),
                                other.Url("/next.htm")}));
    EXPECT_TRUE(crawl.found.count("open@example.org"));
    EXPECT_TRUE(crawl.found.count("last@example.org"));
    for (const TestRequest& r : asked) {
        if (r.path == "/open.htm") {
            EXPECT_EQ(r.headers.at("referer"), server.Url("/"));
        }
    }
    // Each hop waited for its server's pause like any request.
    ASSERT_EQ(starts.size(), 7u);  // "/", its four links and the two hops of /near.htm
    for (std::size_t i = 1; i < starts.size(); ++i)
        EXPECT_GE(starts[i] - starts[i - 1], std::chrono::milliseconds(290)) << i;

    // A start URL that redirects to a forbidden path fetches nothing beyond the redirect.
    Crawl first;
    first.Run(server.Url("/moved.htm"), [](THttpScan& s) { s.SetObeyRobotsTxt(true); });
    EXPECT_EQ(server.CountRequests("/private/p.htm"), 0);
    EXPECT_TRUE(first.pages.empty());
    ASSERT_EQ(first.skipped.size(), 1u);
    EXPECT_EQ(first.skipped[0].url, server.Url("/moved.htm"));
    EXPECT_EQ(first.skipped[0].reason, "robots");
}

TEST(ServerPolicyCrawlTest, ARobotsTxtHarvestedAsAPageIsRequestedOnce) {
    for (const bool obey : {true, false}) {
        for (const std::string type : {"text/plain", "text/html"}) {
            SCOPED_TRACE(type + (obey ? " obeyed" : " ignored"));
            const auto robots = [&](const std::string& Name) {
                return Route("/robots.txt", Body("User-agent: *\\nDisallow: /private\\n<a "
                                                 "href=\\\"mailto:" +
                                                 Name + "@example.org\\\">m</a>") +
                                                ", \"content_type\": \"" + type + "\"");
            };
            TestServer other(Config({robots("other-rules"), Route("/o.htm", Body(Page("o", {})))}));
            ASSERT_TRUE(other.Start());
            // Another host: robots.txt pages are asked for once per host.
            const std::string elsewhere = "http://localhost:" + std::to_string(other.Port());
            TestServer server(Config(
                {robots("rules"), Route("/", Body(Page("start", {"/a.htm", elsewhere + "/o.htm"}))),
                 Route("/a.htm", Body(Page("a", {})))}));
            ASSERT_TRUE(server.Start());
            Crawl crawl;
            crawl.Run(server.Url("/"), [&](THttpScan& s) {
                s.SetObeyRobotsTxt(obey);
                s.SetSeekRobotsTxt(true);
            });
            // One request feeds both the rules and the harvest.
            EXPECT_EQ(server.CountRequests("/robots.txt"), 1);
            EXPECT_EQ(other.CountRequests("/robots.txt"), 1);
            EXPECT_EQ(other.CountRequests("/o.htm"), 1);
            EXPECT_EQ(crawl.errors, 0);
            // Harvested as a page when served as one.
            const bool html = type == "text/html";
            for (const std::string name : {"rules", "other-rules"})
                EXPECT_EQ(crawl.found.count(name + "@example.org"), html ? 1u : 0u) << name;
            EXPECT_EQ(crawl.found.count(server.Url("/robots.txt")), html ? 1u : 0u);
            EXPECT_EQ(crawl.pages.count(elsewhere + "/robots.txt"), html ? 1u : 0u);
        }
    }
}

TEST(ServerPolicyCrawlTest, RequestStartsToOneServerKeepTheGapInForce) {
    struct Case {
        std::string robots;
        int hostDelayMs;
        double gap;
    };
    const Case cases[] = {{"User-agent: *\\nCrawl-delay: 0.3", 0, 0.3},
                          {"", 300, 0.3},
                          {"User-agent: *\\nCrawl-delay: 0.1", 300, 0.3},
                          {"User-agent: *\\nCrawl-delay: 0.4", 100, 0.4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.robots + " " + std::to_string(c.hostDelayMs));
        TestServer server(
            Config({Route("/robots.txt", Body(c.robots) + ", \"content_type\": \"text/plain\""),
                    Route("/", Body(Page("s", {"/1.htm", "/2.htm", "/3.htm"}))),
                    Route("/1.htm", Body(Page("a", {}))), Route("/2.htm", Body(Page("b", {}))),
                    Route("/3.htm", Body(Page("c", {})))}));
        ASSERT_TRUE(server.Start());
        Crawl crawl;
        // When the crawler starts each page's download, as it decides it: the server's own log
        // would add its threads' delays, which a busy machine stretches and shrinks.
        std::vector<std::chrono::steady_clock::time_point> starts;
        crawl.Run(server.Url("/"), [&](THttpScan& s) {
            s.SetObeyRobotsTxt(true);
            s.SetHostDelayMs(c.hostDelayMs);
            s.SetLogsEnabled(true);
            s.OnLog = [&](THttpScan&, const std::string& text) {
                if (text.starts_with("HTML: starting download for ") &&
                    !text.ends_with("/robots.txt"))
                    starts.push_back(std::chrono::steady_clock::now());
            };
        });
        EXPECT_EQ(crawl.pages.size(), 4u);
        ASSERT_EQ(starts.size(), 4u);
        ASSERT_EQ(Gaps(server).size(), 3u);
        for (std::size_t i = 1; i < starts.size(); ++i)
            EXPECT_GE(std::chrono::duration<double>(starts[i] - starts[i - 1]).count(),
                      c.gap - 0.01);
    }
}

TEST(ServerPolicyCrawlTest, TheLimitPerServerHoldsWhileOtherSlotsAreFree) {
    std::vector<std::string> routes{
        Route("/", Body(Page("s", {"/1.htm", "/2.htm", "/3.htm", "/4.htm", "/5.htm", "/6.htm"})))};
    for (int i = 1; i <= 6; ++i)
        routes.push_back(
            Route("/" + std::to_string(i) + ".htm",
                  Body(Page("p" + std::to_string(i), {})) + ", \"delay_before_headers\": 0.3"));
    TestServer server(Config(routes));
    ASSERT_TRUE(server.Start());
    Crawl crawl;
    crawl.Run(server.Url("/"), [](THttpScan& s) { s.SetMaxPerHost(2); });
    EXPECT_EQ(crawl.pages.size(), 7u);
    // Each answer takes 0.3 s: a third request can only start once one of two has ended.
    std::vector<double> starts;
    for (const TestRequest& r : server.Requests())
        if (r.path != "/") starts.push_back(r.time);
    ASSERT_EQ(starts.size(), 6u);
    for (std::size_t i = 2; i < starts.size(); ++i) EXPECT_GE(starts[i] - starts[i - 2], 0.29);
}

TEST(ServerPolicyCrawlTest, RetryAfterAndRepeated429sPauseTheServer) {
    struct Case {
        std::string name, before;
        std::vector<double> least;  // the least gap before each further request of /p.htm
        std::string wait;
    };
    const Case cases[] = {
        {"seconds",
         "{\"status\": 429, \"headers\": [[\"Retry-After\", \"3\"]]}",
         {3.0},
         "Retry-After"},
        {"HTTP date",
         "{\"status\": 503, \"content_type\": \"text/plain\", "
         "\"headers\": [[\"Retry-After\", \"{in 4 s}\"]]}",
         {0.0},
         "Retry-After"},
        {"back-off", "{\"status\": 429}, {\"status\": 429}", {1.0, 2.0}, "429"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // An HTTP date names a moment, not a length: the page is asked for again only once it
        // has passed, however long the crawl took to get there (whole seconds, so it may come
        // up to a second early).
        std::string before = c.before;
        double until = 0;
        if (const std::size_t at = before.find("{in 4 s}"); at != std::string::npos) {
            const QDateTime in4s = QDateTime::currentDateTimeUtc().addSecs(4);
            before.replace(at, 8, in4s.toString(Qt::RFC2822Date).toStdString());
            until = static_cast<double>(in4s.toSecsSinceEpoch()) - 1;
        }
        TestServer server(
            Config({Route("/", Body(Page("s", {"/p.htm"}))),
                    Route("/p.htm", "\"before\": [" + before + "], " + Body(Page("p", {})))}));
        ASSERT_TRUE(server.Start());
        Crawl crawl;
        crawl.Run(server.Url("/"), {});
        EXPECT_TRUE(crawl.found.count("p@example.org"));  // in the end the page came
        std::vector<double> times;
        for (const TestRequest& r : server.Requests())
            if (r.path == "/p.htm") times.push_back(r.time);
        ASSERT_EQ(times.size(), c.least.size() + 1);
        for (std::size_t i = 0; i < c.least.size(); ++i)
            EXPECT_GE(times[i + 1] - times[i], c.least[i] - 0.01);
        if (until > 0) {
            EXPECT_GE(times[1], until - 0.01);
        }
        ASSERT_FALSE(crawl.waits.empty());
        EXPECT_EQ(crawl.waits[0],
                  "http://127.0.0.1:" + std::to_string(server.Port()) + " " + c.wait);
    }
}

TEST(ServerPolicyCrawlTest, OtherServersGoOnDuringAPauseAndStopEndsIt) {
    TestServer slow(
        Config({Route("/", Body(Page("a", {"/p.htm"}))),
                Route("/p.htm", "\"status\": 429, \"headers\": [[\"Retry-After\", \"60\"]]")}));
    ASSERT_TRUE(slow.Start());
    // The busy server's pages form a chain, each answered after 0.2 s: they are asked for one
    // after another while the slow server pauses.
    std::vector<std::string> routes{Route("/", Body(Page("b", {"/1.htm"})))};
    for (int i = 1; i <= 4; ++i) {
        std::vector<std::string> next;
        if (i < 4) next.push_back("/" + std::to_string(i + 1) + ".htm");
        routes.push_back(
            Route("/" + std::to_string(i) + ".htm",
                  Body(Page("b" + std::to_string(i), next)) + ", \"delay_before_headers\": 0.2"));
    }
    TestServer busy(Config(routes));
    ASSERT_TRUE(busy.Start());
    const std::string start =
        "<a href=\\\"" + slow.Url("/") + "\\\">a</a> <a href=\\\"" + busy.Url("/") + "\\\">b</a>";
    TestServer hub(Config({Route("/", Body(start))}));
    ASSERT_TRUE(hub.Start());

    Crawl crawl;
    crawl.Run(
        hub.Url("/"),
        [&](THttpScan& s) {
            s.SetDepthSearchLevel(6);
            s.OnPageReceived = [&](THttpScan& scan, const std::string&, const std::string& url,
                                   const std::string&, const std::string&) {
                crawl.pages.insert(url);
                // Every page of the busy server came while the other one paused: stop now.
                if (crawl.pages.size() == 7) scan.Stop();
            };
        },
        20000);
    EXPECT_EQ(crawl.pages.size(), 7u);
    EXPECT_EQ(slow.CountRequests("/p.htm"), 1);
    const double paused = slow.Requests().back().time;
    for (int i = 1; i <= 4; ++i) EXPECT_EQ(busy.CountRequests("/" + std::to_string(i) + ".htm"), 1);
    std::size_t afterPause = 0;
    for (const TestRequest& r : busy.Requests()) afterPause += r.time > paused ? 1 : 0;
    EXPECT_GE(afterPause, 2u);
}

TEST(ServerPolicyCrawlTest, RobotsTxtRequestsKeepToTheDepthLimit) {
    // A robots.txt served as a page links a new host: at depth 1 nothing more is asked for.
    TestServer other(Config({Route("/", Body(Page("o", {})))}));
    ASSERT_TRUE(other.Start());
    TestServer server(Config({Route("/", Body(Page("s", {other.Url("/x.htm")})))}));
    ASSERT_TRUE(server.Start());
    Crawl crawl;
    crawl.Run(server.Url("/"), [](THttpScan& s) {
        s.SetSeekRobotsTxt(true);
        s.SetDepthSearchLevel(1);
    });
    EXPECT_EQ(other.Requests().size(), 0u);
    EXPECT_EQ(server.CountRequests("/robots.txt"), 0);
}

}  // namespace
