// The follow keywords: which page links a crawl limited to certain pages follows, and a crawl that
// fetches only those pages yet reports everything they hold.

#include "FollowKeywords.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

TEST(FollowKeywordsTest, PathOrQueryHoldsAKeywordWithoutRegardToCase) {
    TQuickSortStringList keywords;
    LoadFollowKeywords(keywords, "Impressum\r\n\r\nkontakt\nÜber-Uns\n");
    const std::pair<const char*, bool> cases[] = {
        {"http://h.example/kontakt.htm", true},
        {"http://h.example/de/KONTAKT/", true},
        {"http://h.example/Impressum.html", true},
        {"http://h.example/%C3%BCber-uns/", true},  // UTF-8, as a browser sends it
        {"http://h.example/%C3%9Cber-uns/", true},  // the capital, folded
        {"http://h.example/%c3%9cBER-UNS.htm", true},
        {"http://h.example/index.php?seite=Kontakt", true},
        {"http://h.example/?s=%DCber-uns", true},        // a query sent in Latin-1
        {"http://kontakt.example/produkte.htm", false},  // the host does not count
        {"http://h.example/produkte.htm", false},
        {"http://h.example/kon?takt=1", false},  // not made of path and query together
        {"http://h.example/ueber-uns/", false},
        {"http://h.example/", false},
    };
    for (const auto& [url, holds] : cases) {
        TCrackUrl link;
        ASSERT_TRUE(link.Crack(url)) << url;
        EXPECT_EQ(PathOrQueryHoldsKeyword(link, keywords), holds) << url;
    }
    TQuickSortStringList none;
    LoadFollowKeywords(none, "\r\n\n");
    EXPECT_EQ(none.Count(), 0);  // an empty keyword would be in every link
}

// What a crawl of the site below did: requests per path, and per link its follow reason and
// whether it was reported.
struct TKeywordCrawl {
    std::map<std::string, int> requests;
    std::map<std::string, TLinkReason> reasons;
    std::map<std::string, bool> reported;
};

// The start page links an about page (depth 2), which links the contact page (depth 3); the
// products page and jobs page hold no keyword. Every page has an address of its own.
TKeywordCrawl CrawlKeywordSite(bool Limited) {
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=/about.htm>a</a> <a href=/produkte.htm>p</a> <a href=/%C3%9Cber-uns.htm>u</a> <a href=/index.php?seite=Impressum>i</a> <a href=http://kontakt.invalid/x.htm>k</a> <a href=/preise.pdf>pdf</a> <a href=mailto:start@example.org>m</a>"},
        "/about.htm": {"body": "<a href=/kontakt.htm>k</a> <a href=/jobs.htm>j</a> <a href=mailto:about@example.org>m</a>"},
        "/kontakt.htm": {"body": "<a href=mailto:kontakt@example.org>m</a> <a href=/kontakt/anfahrt.htm>a</a>"},
        "/%C3%9Cber-uns.htm": {"body": "<a href=mailto:ueber@example.org>m</a>"},
        "/index.php?seite=Impressum": {"body": "<a href=mailto:impressum@example.org>m</a>"},
        "/produkte.htm": {"body": "<a href=mailto:produkte@example.org>m</a>"},
        "/jobs.htm": {"body": "<a href=mailto:jobs@example.org>m</a>"}}})");
    TKeywordCrawl crawl;
    if (!server.Start()) {
        ADD_FAILURE() << "test server did not start";
        return crawl;
    }
    THttpScan scan;
    scan.SetProxyType(PROXY_DIRECT);
    scan.SetFileOfResults("");
    scan.SetTypeFilterEnabled(false);
    scan.SetDepthSearchLevel(3);
    scan.SetFollowKeywords("about\nkontakt\nimpressum\nüber-uns");
    scan.SetFollowKeywordsEnabled(Limited);
    bool ended = false;
    scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
    scan.OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string&, int) {
        const std::string key =
            d.Web ? d.LinkParts.HostName + d.LinkParts.UrlPathWithFile + d.LinkParts.ExtraInfos
                  : d.Resolved;
        if (!crawl.reasons.count(key)) crawl.reasons[key] = d.FollowReason;
        crawl.reported[key] |= d.Reported;
    };
    EXPECT_TRUE(scan.Start(server.Url("/")));
    EXPECT_TRUE(WaitFor([&] { return ended; }, 30000));
    for (const TestRequest& r : server.Requests())
        ++crawl.requests[r.path + (r.query.empty() ? "" : "?" + r.query)];
    return crawl;
}

TEST(FollowKeywordsTest, ACrawlFetchesOnlyPagesWithAKeywordAndReportsAllTheyHold) {
    for (const bool limited : {true, false}) {
        SCOPED_TRACE(limited ? "follow keywords on" : "follow keywords off");
        TKeywordCrawl crawl = CrawlKeywordSite(limited);
        const std::pair<const char*, bool> fetched[] = {
            {"/", true},
            {"/about.htm", true},    // depth 2
            {"/kontakt.htm", true},  // depth 3, through the about page
            {"/%C3%9Cber-uns.htm", true},
            {"/index.php?seite=Impressum", true},
            {"/produkte.htm", !limited},
            {"/jobs.htm", !limited},
            {"/kontakt/anfahrt.htm", false},  // beyond the depth limit either way
        };
        for (const auto& [path, wanted] : fetched)
            EXPECT_EQ(crawl.requests[path], wanted ? 1 : 0) << path;
        const TLinkReason keywords = limited ? TLinkReason::FollowKeywords : TLinkReason::None;
        EXPECT_EQ(crawl.reasons["127.0.0.1/produkte.htm"], keywords);
        EXPECT_EQ(crawl.reasons["kontakt.invalid/x.htm"], keywords);
        EXPECT_EQ(crawl.reasons["127.0.0.1/kontakt/anfahrt.htm"], TLinkReason::Depth);
        // Every fetched page is reported whole: its addresses, files and unfollowed pages.
        for (const char* found :
             {"start@example.org", "about@example.org", "kontakt@example.org", "ueber@example.org",
              "impressum@example.org", "127.0.0.1/preise.pdf", "127.0.0.1/produkte.htm"})
            EXPECT_TRUE(crawl.reported[found]) << found;
        EXPECT_EQ(crawl.reported["produkte@example.org"], !limited);
    }
}

}  // namespace
