// A page's depth is the length of its shortest path from the start page, whatever the order in
// which downloads finish. The server holds a page on the short path until the crawler has gone
// down the long one, so each order is forced, not hoped for.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cstdlib>
#include <deque>
#include <map>
#include <random>
#include <set>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TJournalReader.h"
#include "TLinkDecisionLog.h"
#include "TestServer.h"

namespace {

using Set = std::set<std::string>;

struct TPage {
    TPage(std::string Text, std::string Hold = {}, double Pause = 0)
        : Body(std::move(Text)), HoldUntil(std::move(Hold)), Delay(Pause) {}
    std::string Body;
    std::string HoldUntil;  // answered only once this path was asked for
    double Delay = 0;
};
using TSite = std::map<std::string, TPage>;

// One crawl of a site served from routes; what it found, fetched and decided.
struct TCrawl {
    Set Found;
    std::multiset<std::string> Pages;  // OnPageReceived, once per page
    std::vector<std::string> FoundFrom;
    TLinkDecisionLog Decisions;
};

std::unique_ptr<TestServer> Serve(const TSite& Site) {
    QJsonObject routes;
    for (const auto& [path, page] : Site) {
        QJsonObject route{{"body", QString::fromStdString(page.Body)}};
        if (!page.HoldUntil.empty()) route["hold_until"] = QString::fromStdString(page.HoldUntil);
        if (page.Delay > 0) route["delay_before_headers"] = page.Delay;
        routes[QString::fromStdString(path)] = route;
    }
    auto server = std::make_unique<TestServer>(
        QJsonDocument(QJsonObject{{"routes", routes}}).toJson().toStdString());
    return server->Start() ? std::move(server) : nullptr;
}

// Resume: continue that journal's last run instead of starting.
void Crawl(const std::string& Start, int Depth, int Downloads, TCrawl& Out,
           const std::function<void(THttpScan&)>& Setup = {},
           const TJournalContents* Resume = nullptr) {
    THttpScan scan;
    // The suite runs a second time with adaptive ticks (ctest's engine.adaptive.* entries).
    const char* adaptive = std::getenv("TARNWICK_TEST_ADAPTIVE");
    scan.SetAdaptiveTicks(adaptive && std::string(adaptive) == "1");
    scan.SetProxyType(PROXY_DIRECT);
    scan.SetFileOfResults("");
    scan.SetDepthSearchLevel(Depth);
    scan.SetConcurrentDownloads(Downloads);
    bool ended = false;
    scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
    scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                           const std::string& from, const std::string&, const std::string&,
                           const std::string&, const std::string&, std::string&, char, int, bool&) {
        EXPECT_TRUE(Out.Found.insert(url).second) << url << " reported twice";
        Out.FoundFrom.push_back(url + " <- " + from);
    };
    scan.OnPageReceived = [&](THttpScan&, const std::string&, const std::string& url,
                              const std::string&, const std::string&) { Out.Pages.insert(url); };
    scan.OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string& from,
                              int depth) { Out.Decisions.Note(d, from, depth); };
    // A listener makes the crawler read page heads, and so follow a meta refresh.
    scan.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::string&) {};
    if (Setup) Setup(scan);
    ASSERT_TRUE(Resume ? scan.Resume(Resume->Runs.back()) : scan.Start(Start));
    ASSERT_TRUE(WaitFor([&] { return ended; }, 60000));
}

// Each site: the start page links a page held back until the crawler has asked for /r.htm,
// which only a page at the end of a longer path leads to (by a meta refresh, followed at any
// depth). The shorter path to x.htm arrives after the longer one has been taken as far as it
// goes; only the shorter one reaches found@example.org within the depth limit.
const char* const kRefreshToR =
    R"(<head><meta http-equiv="refresh" content="60; URL=r.htm"></head>)";

struct TOrderCase {
    const char* Name;
    TSite Site;
};

const TOrderCase kOrderCases[] = {
    {"AnalysedAtTheLimitThenShorter",
     {{"/", {R"(<a href="slow.htm">s</a> <a href="a.htm">a</a>)"}},
      {"/slow.htm", {R"(<a href="x.htm">x</a>)", "/r.htm"}},
      {"/a.htm", {R"(<a href="b.htm">b</a>)"}},
      {"/b.htm", {R"(<a href="x.htm">x</a>)"}},
      {"/x.htm", {std::string(kRefreshToR) + R"(<a href="d.htm">d</a>)"}},
      {"/d.htm", {R"(<a href="mailto:found@example.org">m</a>)"}},
      {"/r.htm", {"<p>r</p>"}}}},
    {"WaitingThenShorter",
     {{"/", {R"(<a href="slow.htm">s</a> <a href="a.htm">a</a>)"}},
      {"/slow.htm", {R"(<a href="x.htm">x</a>)", "/r.htm"}},
      {"/a.htm", {R"(<a href="b.htm">b</a>)"}},
      {"/b.htm", {std::string(kRefreshToR) + R"(<a href="x.htm">x</a>)"}},
      {"/x.htm", {R"(<a href="d.htm">d</a>)"}},
      {"/d.htm", {R"(<a href="mailto:found@example.org">m</a>)"}},
      {"/r.htm", {"<p>r</p>"}}}},
    {"MetBeyondTheLimitThenShorter",
     {{"/", {R"(<a href="slow.htm">s</a> <a href="a.htm">a</a>)"}},
      {"/slow.htm", {R"(<a href="x.htm">x</a>)", "/r.htm"}},
      {"/a.htm", {R"(<a href="b.htm">b</a>)"}},
      {"/b.htm", {R"(<a href="c.htm">c</a>)"}},
      {"/c.htm", {std::string(kRefreshToR) + R"(<a href="x.htm">x</a>)"}},
      {"/x.htm", {R"(<a href="d.htm">d</a>)"}},
      {"/d.htm", {R"(<a href="mailto:found@example.org">m</a>)"}},
      {"/r.htm", {"<p>r</p>"}}}},
};

class ShortestDepthOrder : public ::testing::TestWithParam<TOrderCase> {};

TEST_P(ShortestDepthOrder, TheShorterPathWinsWhateverArrivesFirst) {
    const auto server = Serve(GetParam().Site);
    ASSERT_TRUE(server);
    const std::string base = server->BaseUrl();
    TCrawl crawl;
    Crawl(base + "/", 4, 6, crawl);
    EXPECT_TRUE(crawl.Found.count("found@example.org"));
    // The page on both paths is fetched and listed once; what it links is fetched once.
    EXPECT_EQ(server->CountRequests("/x.htm"), 1);
    EXPECT_EQ(server->CountRequests("/d.htm"), 1);
    EXPECT_EQ(crawl.Pages.count(base + "/x.htm"), 1u);
    // The decision told last is the final one: d.htm is followed, from x.htm at depth 3.
    const auto d = crawl.Decisions.Find(base + "/d.htm");
    ASSERT_TRUE(d);
    EXPECT_TRUE(d->Followed);
    EXPECT_EQ(LinkReasonWord(d->FollowReason), std::string());
    EXPECT_EQ(d->FromUrl, base + "/x.htm");
    EXPECT_EQ(d->Depth, 3);
}

INSTANTIATE_TEST_SUITE_P(Orders, ShortestDepthOrder, ::testing::ValuesIn(kOrderCases),
                         [](const auto& Info) { return std::string(Info.param.Name); });

// A run stopped once the page on both paths is analysed at the limit, and continued from its
// journal: the links kept for the shorter path are gone with the first process, so the page is
// fetched once more when that path arrives, and is not listed or counted a second time.
TEST(ShortestDepth, AResumedRunFetchesAPageOnceMoreForAShorterPath) {
    const auto server = Serve(kOrderCases[0].Site);
    ASSERT_TRUE(server);
    const std::string base = server->BaseUrl();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const std::string journal = dir.filePath("run.journal").toStdString();
    TCrawl first;
    Crawl(base + "/", 4, 6, first, [&](THttpScan& s) {
        ASSERT_TRUE(s.OpenJournal(journal));
        // Paced, so that the count of pages done is reported at the end of the step that
        // analysed x.htm (the fourth page), before the answer of slow.htm can be taken in.
        s.SetAdaptiveTicks(false);
        s.OnUpdatedStats = [&](THttpScan& scan, int, int, int, int done, int, int) {
            if (done >= 4) scan.Stop();
        };
    });
    ASSERT_EQ(first.Pages.count(base + "/x.htm"), 1u);
    ASSERT_FALSE(first.Found.count("found@example.org"));
    const TJournalContents contents = TJournalReader::Read(journal);
    ASSERT_TRUE(contents.Resumable()) << contents.Error;
    TCrawl resumed;
    int done = 0;
    Crawl(
        base + "/", 4, 6, resumed,
        [&](THttpScan& s) {
            ASSERT_TRUE(s.ContinueJournal(journal, contents));
            s.OnUpdatedStats = [&](THttpScan&, int, int, int, int d, int, int) { done = d; };
        },
        &contents);
    EXPECT_TRUE(resumed.Found.count("found@example.org"));
    EXPECT_EQ(server->CountRequests("/x.htm"), 2);
    EXPECT_EQ(resumed.Pages.count(base + "/x.htm"), 0u);
    EXPECT_EQ(done, contents.Runs.back().Fetched + 3);  // slow.htm, r.htm and d.htm
}

// Under "current site" the first page to meet a link may hold its report back; a later page
// whose site it is reports it.
TEST(ShortestDepth, ALinkIsReportedByAnyPageThatAdmitsIt) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestServer server("{}", false, dir.path().toStdString());
    ASSERT_TRUE(server.Start());
    const std::string port = std::to_string(server.Port());
    const std::string self = "http://127.0.0.1:" + port;
    const std::map<std::string, std::string> files{
        {"index.htm",
         "<a href=\"http://localhost:" + port + "/other.htm\">o</a> <a href=\"p.htm\">p</a>"},
        {"other.htm", "<a href=\"" + self + "/file.pdf\">f</a>"},
        {"p.htm", "<a href=\"file.pdf\">f</a>"}};
    for (const auto& [name, text] : files) {
        QFile file(dir.filePath(QString::fromStdString(name)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray::fromStdString(text));
    }
    TCrawl crawl;
    // One download at a time: other.htm, queued first, meets the file first.
    Crawl(self + "/index.htm", 3, 1, crawl,
          [](THttpScan& s) { s.SetLinkReport(reportCurrentSiteLinks); });
    EXPECT_EQ(crawl.FoundFrom,
              (std::vector<std::string>{self + "/p.htm <- " + self + "/index.htm",
                                        self + "/file.pdf <- " + self + "/p.htm"}));
    const auto record = crawl.Decisions.Find(self + "/file.pdf");
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->Reported);
    EXPECT_EQ(record->FromUrl, self + "/p.htm");
}

// A random site whose pages answer after random pauses: many downloads at once find exactly
// what a breadth-first walk of the site's links finds.
TEST(ShortestDepth, ManyDownloadsFindWhatOneAtATimeFinds) {
    std::mt19937 random(20261208);
    const int pages = 120;
    TSite site;
    std::vector<std::vector<int>> links(pages);
    for (int p = 0; p < pages; ++p) {
        std::string body = "<a href=\"mailto:m" + std::to_string(p) + "@example.org\">m</a>";
        const int count = 2 + static_cast<int>(random() % 3);
        for (int i = 0; i < count; ++i) {
            const int to = static_cast<int>(random() % pages);
            links[static_cast<std::size_t>(p)].push_back(to);
            body += " <a href=\"p" + std::to_string(to) + ".htm\">l</a>";
        }
        // Slow pages let the crawl run ahead of them down longer paths.
        const double pause = random() % 4 == 0 ? 0.1 + (random() % 4) * 0.05 : 0;
        site.emplace("/p" + std::to_string(p) + ".htm", TPage(body, "", pause));
    }
    const auto server = Serve(site);
    ASSERT_TRUE(server);
    const std::string base = server->BaseUrl();
    const int depth = 4;
    // Breadth first: a page within the depth limit is fetched, and everything on it reported.
    Set expected;
    std::vector<int> level(pages, 0);
    std::deque<int> queue{0};
    level[0] = 1;
    while (!queue.empty()) {
        const int p = queue.front();
        queue.pop_front();
        expected.insert("m" + std::to_string(p) + "@example.org");
        for (int to : links[static_cast<std::size_t>(p)]) {
            expected.insert(base + "/p" + std::to_string(to) + ".htm");
            if (level[static_cast<std::size_t>(to)] == 0 &&
                level[static_cast<std::size_t>(p)] < depth) {
                level[static_cast<std::size_t>(to)] = level[static_cast<std::size_t>(p)] + 1;
                queue.push_back(to);
            }
        }
    }
    expected.erase(base + "/p0.htm");  // the start page is visited, not found
    for (int downloads : {1, 40, 40}) {
        TCrawl crawl;
        Crawl(base + "/p0.htm", depth, downloads, crawl);
        EXPECT_EQ(crawl.Found, expected) << downloads << " downloads";
    }
}

}  // namespace
