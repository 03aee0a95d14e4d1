// A page's "nofollow", in its head or its response headers: how it is read, and a crawl that
// reports the links of such a page without following them unless robots rules are ignored.

#include "MetaRobots.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

bool HeadForbidsFollowing(const std::string& Head) {
    bool forbids = false;
    ParseHead("<html><head>" + Head + "</head><body></body></html>", nullptr,
              [&](const THeadTag& tag, bool) { forbids |= MetaTagForbidsFollowing(tag); });
    return forbids;
}

TEST(MetaRobotsTest, MetaTagsInTheirForms) {
    const std::pair<const char*, bool> cases[] = {
        {R"(<meta name="robots" content="nofollow">)", true},
        {R"(<meta name="robots" content="none">)", true},
        {R"(<META NAME=ROBOTS CONTENT=NOFOLLOW>)", true},
        {R"(<meta content='noindex,NoFollow' name='Robots'>)", true},
        {R"(<meta name="robots" content="  noarchive ,  nofollow  ">)", true},
        {R"(<meta name="tarnwick" content="NONE">)", true},
        {"<meta\r\n name=\"robots\"\tcontent=\"index,\r\nnofollow\">", true},
        {R"(<title>t</title><meta name="robots" content="nofollow" />)", true},
        {R"(<meta name="robots" content="noindex">)", false},  // indexing is not our business
        {R"(<meta name="robots" content="index, follow">)", false},
        {R"(<meta name="robots" content="nofollowing nonet">)", false},  // whole words only
        {R"(<meta name="googlebot" content="nofollow">)", false},        // another crawler's
        {R"(<meta name="description" content="none">)", false},
        {R"(<meta http-equiv="robots" content="nofollow">)", false},
        {R"(<meta name="robots">)", false},
        {R"(<link name="robots" content="nofollow">)", false},
    };
    for (const auto& [head, forbids] : cases)
        EXPECT_EQ(HeadForbidsFollowing(head), forbids) << head;
}

TEST(MetaRobotsTest, XRobotsTagHeadersInTheirForms) {
    const std::pair<const char*, bool> cases[] = {
        {"X-Robots-Tag: nofollow\r\n", true},
        {"x-robots-tag:NONE\r\n", true},
        {"X-Robots-Tag: noindex, nofollow\r\n", true},
        {"X-Robots-Tag: tarnwick: nofollow\r\n", true},
        {"X-Robots-Tag: TarnWick:none\r\n", true},
        {"X-Robots-Tag: max-snippet:20, nofollow\r\n", true},  // a rule with a colon, no name
        {"X-Robots-Tag: googlebot: nofollow\r\n", false},      // another crawler's
        {"X-Robots-Tag: noindex\r\n", false},
        {"X-Robots-Tag: unavailable_after: 25 Jun 2010 15:00:00 PST\r\n", false},
        {"X-Robots-Tag-Extra: nofollow\r\nX-Other: nofollow\r\n", false},
        // Every header counts, whichever comes first.
        {"X-Robots-Tag: googlebot: noindex\r\nX-Robots-Tag: nofollow\r\n", true},
        {"X-Robots-Tag: otherbot: none\r\nX-Robots-Tag: tarnwick: noindex\r\n", false},
        {"HTTP/1.1 200 OK\nContent-Type: text/html\nX-Robots-Tag: none", true},  // bare LF, no end
    };
    for (const auto& [headers, forbids] : cases)
        EXPECT_EQ(HeadersForbidFollowing(headers), forbids) << headers;
}

// What a crawl of the site below did: requests per path and the follow reason of each link.
struct NoFollowCrawl {
    std::map<std::string, int> requests;
    std::map<std::string, TLinkReason> reasons;
    std::map<std::string, bool> reported;
};

// "/meta.htm" says nofollow in its head, "/header.htm" in its X-Robots-Tag; both link a page of
// their own and "/shared.htm", which "/other.htm" links too.
NoFollowCrawl CrawlNoFollowSite(bool ObeyRobots) {
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=/meta.htm>m</a> <a href=/header.htm>h</a> <a href=/other.htm>o</a>"},
        "/meta.htm": {"body": "<html><head><meta name=\"robots\" content=\"noindex, nofollow\"></head><body><a href=/m1.htm>1</a> <a href=/shared.htm>s</a> <a href=mailto:m@example.org>m</a></body></html>"},
        "/header.htm": {"headers": [["X-Robots-Tag", "tarnwick: none"]],
                        "body": "<a href=/h1.htm>1</a> <a href=/shared.htm>s</a>"},
        "/other.htm": {"body": "<a href=/shared.htm>s</a>"},
        "/m1.htm": {"body": "m1"}, "/h1.htm": {"body": "h1"}, "/shared.htm": {"body": "s"}}})");
    NoFollowCrawl crawl;
    if (!server.Start()) {
        ADD_FAILURE() << "test server did not start";
        return crawl;
    }
    THttpScan scan;
    scan.SetProxyType(PROXY_DIRECT);
    scan.SetFileOfResults("");
    scan.SetObeyRobotsTxt(ObeyRobots);
    // One download at a time: "/shared.htm" is met on a nofollow page before "/other.htm".
    scan.SetConcurrentDownloads(1);
    bool ended = false;
    scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
    scan.OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string&, int) {
        const std::string path = d.Web ? d.LinkParts.UrlPathWithFile : d.Resolved;
        if (!crawl.reasons.count(path)) crawl.reasons[path] = d.FollowReason;
        crawl.reported[path] |= d.Reported;
    };
    EXPECT_TRUE(scan.Start(server.Url("/")));
    EXPECT_TRUE(WaitFor([&] { return ended; }, 30000));
    for (const TestRequest& r : server.Requests()) ++crawl.requests[r.path];
    return crawl;
}

TEST(MetaRobotsTest, ANoFollowPageHasItsLinksReportedButNotFollowedUnlessRobotsAreIgnored) {
    for (const bool obey : {true, false}) {
        SCOPED_TRACE(obey ? "robots obeyed" : "robots ignored");
        NoFollowCrawl crawl = CrawlNoFollowSite(obey);
        for (const char* path : {"/m1.htm", "/h1.htm"}) {
            EXPECT_TRUE(crawl.reported[path]) << path;
            EXPECT_EQ(crawl.requests[path], obey ? 0 : 1) << path;
            EXPECT_EQ(crawl.reasons[path], obey ? TLinkReason::NoFollow : TLinkReason::None)
                << path;
        }
        EXPECT_TRUE(crawl.reported["m@example.org"]);
        // A page that another page links is followed from there, though met first where not.
        EXPECT_EQ(crawl.requests["/shared.htm"], 1);
        EXPECT_EQ(crawl.requests["/robots.txt"], obey ? 1 : 0);
    }
}

}  // namespace
