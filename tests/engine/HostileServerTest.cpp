// Crawls against servers that misbehave on purpose: bodies and headers that never end, trickles,
// redirect loops, resets, huge and strange pages. Every run must end by itself, with statistics
// that add up and with every result found before the fault still in the results file.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CurlSupport.h"
#include "EventLoopWait.h"
#include "FetchLimitsGuard.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

struct Stats {
    int inQueue, downloading, toAnalyze, done, retries, errors;
};

// JSON string of Latin-1 bytes, as the test server reads route bodies.
std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 32 || c >= 127) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

class HostileServerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_resultsPath = m_dir.filePath("results.txt").toStdString();
    }

    // Crawls from Start with a short time-out and one retry; returns false when the run did
    // not end by itself within LimitMs (it is then stopped, so the test can go on).
    bool Crawl(const std::string& start, const std::function<void(THttpScan&)>& setup = {},
               int limitMs = 20000) {
        THttpScan scan;
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults(m_resultsPath);
        scan.SetRetries(1);
        scan.SetTimeOut(1);
        scan.OnWorking = [&](THttpScan&, bool working) { workingEvents.push_back(working); };
        scan.OnUpdatedStats = [&](THttpScan&, int q, int d, int a, int done, int r, int e) {
            stats.push_back({q, d, a, done, r, e});
        };
        scan.OnPageReceived = [&](THttpScan&, const std::string&, const std::string& url,
                                  const std::string&, const std::string&) { pages.push_back(url); };
        scan.OnError = [&](THttpScan&, const std::string& url, unsigned code,
                           const std::string& message) {
            (message.empty() ? failures : errorPages).push_back(url + " " + std::to_string(code));
        };
        scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string& type,
                               const std::string&, const std::string&, const std::string&,
                               const std::string&, const std::string&, std::string&, char, int,
                               bool&) { links.push_back(type + " " + url); };
        if (setup) setup(scan);
        if (!scan.Start(start)) return false;
        const bool ended = WaitFor([&] { return Ended(); }, limitMs);
        if (!ended) {
            scan.Stop();
            WaitFor([&] { return Ended(); }, 30000);
        }
        return ended;
    }
    bool Ended() const { return !workingEvents.empty() && !workingEvents.back(); }
    // Forgets the events of a finished run before the next one.
    void ClearEvents() {
        workingEvents.clear();
        stats.clear();
        pages.clear();
        failures.clear();
        errorPages.clear();
        links.clear();
    }

    // The final statistics agree with the events: nothing left in flight, one page received
    // per page done, one failure event per error.
    void ExpectConsistentStats() {
        ASSERT_TRUE(Ended());
        ASSERT_FALSE(stats.empty());
        const Stats& last = stats.back();
        EXPECT_EQ(last.inQueue, 0);
        EXPECT_EQ(last.downloading, 0);
        EXPECT_EQ(last.toAnalyze, 0);
        EXPECT_EQ(last.done, static_cast<int>(pages.size()));
        EXPECT_EQ(last.errors, static_cast<int>(failures.size()));
    }

    std::vector<std::string> ResultLines() const {
        std::ifstream in(m_resultsPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::vector<std::string> lines;
        const std::string all = text.str();
        for (std::size_t pos = 0; pos < all.size();) {
            const std::size_t end = all.find("\r\n", pos);
            if (end == std::string::npos) break;
            lines.push_back(all.substr(pos, end - pos));
            pos = end + 2;
        }
        return lines;
    }
    bool HasResult(const std::string& type, const std::string& value) const {
        const std::vector<std::string> lines = ResultLines();
        return std::find(lines.begin(), lines.end(), "\"" + type + "\";\"" + value + "\"") !=
               lines.end();
    }

    // A start page with one result before the hostile link.
    static std::string IndexRoute(const std::string& hostilePath) {
        return R"("/index.htm": {"body": "<a href=\"mailto:before@example.com\">m</a> <a href=\")" +
               hostilePath + R"(\">x</a>"})";
    }
    // The run ended with the start page done and the hostile page failed on both attempts.
    void ExpectHostilePageFailed(TestServer& server, const std::string& hostilePath) {
        ExpectConsistentStats();
        EXPECT_EQ(pages, std::vector<std::string>{server.Url("/index.htm")});
        EXPECT_EQ(failures, std::vector<std::string>{server.Url(hostilePath) + " 200"});
        EXPECT_EQ(stats.back().retries, 1);
        EXPECT_EQ(server.CountRequests(hostilePath), 2);
        EXPECT_TRUE(HasResult("mail", "before@example.com"));
        EXPECT_TRUE(HasResult("htm", server.Url(hostilePath)));
    }

    QTemporaryDir m_dir;
    std::string m_resultsPath;
    std::vector<bool> workingEvents;
    std::vector<Stats> stats;
    std::vector<std::string> pages, failures, errorPages, links;
};

TEST_F(HostileServerTest, ABodyThatNeverEndsIsStoppedByTheSizeCap) {
    FetchLimitsGuard guard;
    FetchLimits().MaxBodyBytes = 200000;
    TestServer server("{\"routes\": {" + IndexRoute("/endless.htm") +
                      R"(, "/endless.htm": {"body": "<p>", "endless": true}}})");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/index.htm"), [](THttpScan& s) { s.SetTimeOut(60); }));
    ExpectHostilePageFailed(server, "/endless.htm");
}

TEST_F(HostileServerTest, ABodyTricklingOneBytePerSecondIsStoppedByTheDeadline) {
    TestServer server("{\"routes\": {" + IndexRoute("/trickle.htm") +
                      R"(, "/trickle.htm": {"body": "<p>slow</p>", "body_repeat": 100,
                          "trickle": {"bytes": 1, "interval": 1}}}})");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/index.htm")));
    ExpectHostilePageFailed(server, "/trickle.htm");
}

TEST_F(HostileServerTest, HeadersThatNeverFinishAreStoppedByTheDeadline) {
    TestServer server("{\"routes\": {" + IndexRoute("/headers.htm") +
                      R"(, "/headers.htm": {"body": "<p>never</p>", "endless_headers": 0.1}}})");
    ASSERT_TRUE(server.Start());
    EXPECT_TRUE(Crawl(server.Url("/index.htm"))) << "the run hung on endless headers";
    ExpectConsistentStats();
    EXPECT_EQ(pages, std::vector<std::string>{server.Url("/index.htm")});
    ASSERT_EQ(failures.size(), 1u);
    EXPECT_EQ(stats.back().retries, 1);
    EXPECT_TRUE(HasResult("mail", "before@example.com"));
}

TEST_F(HostileServerTest, RedirectLoopsAndNonHttpTargetsFail) {
    TestServer server("{\"routes\": {" + IndexRoute("/loop1.htm") + R"(,
        "/loop1.htm": {"redirect": "/loop2.htm"},
        "/loop2.htm": {"redirect": "/loop1.htm"},
        "/second.htm": {"body": "<a href=\"/ftp.htm\">f</a> <a href=\"/file.htm\">f</a> <a href=\"mailto:after@example.com\">m</a>"},
        "/ftp.htm": {"redirect": "ftp://127.0.0.1/x.htm"},
        "/file.htm": {"redirect": "file:///etc/passwd"}}})");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/index.htm"), [&](THttpScan& s) {
        s.OnPageReceived = [&](THttpScan&, const std::string&, const std::string& url,
                               const std::string&, const std::string& body) {
            pages.push_back(url);
            EXPECT_EQ(body.find("root:"), std::string::npos);  // no local file was read
        };
    }));
    ExpectConsistentStats();
    // Each attempt follows at most the redirect limit; a failed redirect chain has no status.
    EXPECT_LE(server.CountRequests("/loop1.htm") + server.CountRequests("/loop2.htm"),
              2 * (static_cast<int>(FetchLimits().MaxRedirects) + 1));
    EXPECT_EQ(failures, std::vector<std::string>{server.Url("/loop1.htm") + " 0"});
    EXPECT_TRUE(HasResult("mail", "before@example.com"));

    ClearEvents();
    ASSERT_TRUE(Crawl(server.Url("/second.htm")));
    ExpectConsistentStats();
    EXPECT_EQ(server.CountRequests("/ftp.htm"), 2);
    EXPECT_EQ(server.CountRequests("/file.htm"), 2);
    const std::set<std::string> failed(failures.begin(), failures.end());
    EXPECT_EQ(failed, (std::set<std::string>{server.Url("/ftp.htm") + " 0",
                                             server.Url("/file.htm") + " 0"}));
    EXPECT_TRUE(HasResult("mail", "after@example.com"));
}

TEST_F(HostileServerTest, APageOfOneHundredThousandLinksIsReportedCompletely) {
    std::string body;
    for (int i = 0; i < 100000; ++i) body += "<a href=\"p" + std::to_string(i) + ".htm\">x</a>\n";
    body += "<a href=\"mailto:last@example.com\">m</a>";
    TestServer server("{\"routes\": {\"/many.htm\": {\"body\": " + JsonString(body) + "}}}");
    ASSERT_TRUE(server.Start());
    // Depth 1: the links are reported, not followed. The limit only bounds a hang: under a
    // sanitizer on a busy machine the analysis alone takes a minute.
    ASSERT_TRUE(Crawl(
        server.Url("/many.htm"), [](THttpScan& s) { s.SetDepthSearchLevel(1); }, 240000));
    ExpectConsistentStats();
    EXPECT_EQ(links.size(), 100001u);
    EXPECT_EQ(links.front(), "htm " + server.Url("/p0.htm"));
    EXPECT_EQ(links[99999], "htm " + server.Url("/p99999.htm"));
    EXPECT_EQ(links.back(), "mail last@example.com");
    EXPECT_EQ(ResultLines().size(), 100001u);
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(HostileServerTest, ATwentyMegabytePageWithoutTagsYieldsNothingAndEnds) {
    TestServer server(
        R"({"routes": {"/plain.htm": {"body": "0123456789", "body_repeat": 2000000}}})");
    ASSERT_TRUE(server.Start());
    std::size_t bodySize = 0;
    ASSERT_TRUE(Crawl(
        server.Url("/plain.htm"),
        [&](THttpScan& s) {
            s.SetTimeOut(60);
            s.OnPageReceived = [&](THttpScan&, const std::string&, const std::string& url,
                                   const std::string&, const std::string& body) {
                pages.push_back(url);
                bodySize = body.size();
            };
        },
        60000));
    ExpectConsistentStats();
    EXPECT_EQ(bodySize, 20000000u);
    EXPECT_TRUE(links.empty());
    EXPECT_TRUE(ResultLines().empty());
}

TEST_F(HostileServerTest, HighBytesAndNulBytesInUrlsAndAddresses) {
    const std::string body = std::string("<a href=\"/\x80\xff.htm\">a</a>") +
                             std::string("<a href=\"/a\0b.htm\">b</a>", 24) +
                             std::string("<a href=\"mailto:\xe4\0x@example.com\">m</a>", 38) +
                             "<a href=\"mailto:\xfc@\xe9xample.com\">m</a>";
    TestServer server("{\"routes\": {\"/odd.htm\": {\"body\": " + JsonString(body) +
                      "}, \"/ab.htm\": {\"body\": \"<p>ab</p>\"}}}");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/odd.htm")));
    ExpectConsistentStats();
    // The bytes are not UTF-8 and nothing declares them: the page is read as windows-1252 (0x80
    // is the euro sign), its addresses come out as UTF-8 and its path is sent as UTF-8, as a
    // browser does.
    const std::string escaped = server.Url("/%E2%82%AC%C3%BF.htm");
    const std::vector<std::string> expected = {"htm " + escaped, "htm " + server.Url("/ab.htm"),
                                               "mail \xc3\xa4x@example.com",
                                               "mail \xc3\xbc@\xc3\xa9xample.com"};
    EXPECT_EQ(links, expected);
    EXPECT_TRUE(HasResult("mail", "\xc3\xa4x@example.com"));
    EXPECT_TRUE(HasResult("mail", "\xc3\xbc@\xc3\xa9xample.com"));
    EXPECT_TRUE(HasResult("htm", escaped));
    // The escaped page is asked for as escaped; the server has no such page.
    EXPECT_EQ(server.CountRequests("/%E2%82%AC%C3%BF.htm"), 1);
    EXPECT_EQ(errorPages, std::vector<std::string>{escaped + " 404"});
    EXPECT_EQ(pages.size(), 2u);
}

TEST_F(HostileServerTest, ATenThousandCharacterUrlIsFetched) {
    const std::string longPath = "/" + std::string(10000 - 5, 'a') + ".htm";
    TestServer server("{\"routes\": {\"/start.htm\": {\"body\": \"<a href=\\\"" + longPath +
                      "\\\">l</a> <a href=\\\"" + longPath.substr(1) + "x\\\">r</a>\"}, \"" +
                      longPath + "\": {\"body\": \"<a href=mailto:long@example.com>m</a>\"}}}");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/start.htm")));
    ExpectConsistentStats();
    // The absolute-path value is resolved only while the result fits 1023 bytes: both are long.
    EXPECT_EQ(server.CountRequests(longPath), 0);
    EXPECT_EQ(links, std::vector<std::string>{});
    EXPECT_EQ(pages, std::vector<std::string>{server.Url("/start.htm")});

    // Written as an absolute URL it is taken as it is, fetched, and its page analysed.
    ClearEvents();
    const std::string absolute = server.Url(longPath);
    ASSERT_TRUE(Crawl(absolute));
    ExpectConsistentStats();
    EXPECT_EQ(server.CountRequests(longPath), 1);
    EXPECT_EQ(pages, std::vector<std::string>{absolute});
    EXPECT_EQ(links, std::vector<std::string>{"mail long@example.com"});
}

TEST_F(HostileServerTest, AnEndlessUrlSpaceIsBoundedByDepthAndQueueSize) {
    // Every folder of the site is the site again: a/, b/ and c/ lead back to the root.
    QTemporaryDir site;
    ASSERT_TRUE(site.isValid());
    {
        QFile index(site.filePath("index.htm"));
        ASSERT_TRUE(index.open(QIODevice::WriteOnly));
        index.write("<a href=\"a/\">a</a> <a href=\"b/\">b</a> <a href=\"c/\">c</a>");
    }
    for (const char* name : {"a", "b", "c"})
        ASSERT_TRUE(QFile::link(site.path(), site.filePath(name)));
    TestServer server("{}", false, site.path().toStdString());
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(
        server.Url("/"),
        [](THttpScan& s) {
            s.SetDepthSearchLevel(4);
            s.SetMaxQueueSize(10);
        },
        60000));
    ExpectConsistentStats();
    // Depth 4 allows at most 1 + 3 + 9 + 27 pages; no page lies deeper than three folders.
    EXPECT_GT(pages.size(), 4u);
    EXPECT_LE(pages.size(), 40u);
    for (const std::string& page : pages) {
        const std::string path = page.substr(server.BaseUrl().size());
        EXPECT_LE(std::count(path.begin(), path.end(), '/'), 4) << path;
    }
    for (const Stats& s : stats) EXPECT_LE(s.inQueue, 10);
}

TEST_F(HostileServerTest, AConnectionResetMidBodyFailsAndKeepsEarlierResults) {
    std::string body = "<a href=\"mailto:lost@example.com\">m</a>" + std::string(20000, ' ');
    TestServer server("{\"routes\": {" + IndexRoute("/reset.htm") +
                      ", \"/reset.htm\": {\"body\": " + JsonString(body) +
                      ", \"reset_after\": 5000}}}");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(Crawl(server.Url("/index.htm")));
    ExpectHostilePageFailed(server, "/reset.htm");
    // A cut page is not analysed: nothing of it is reported as found.
    EXPECT_FALSE(HasResult("mail", "lost@example.com"));
}

}  // namespace
