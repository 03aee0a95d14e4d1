#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "EngineMessage.h"
#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TestServer.h"
#include "ThreadCount.h"

namespace {

// The same tests run a second time with adaptive ticks (ctest's engine.adaptive.* entries).
bool AdaptiveTicksWanted() {
    const char* value = std::getenv("TARNWICK_TEST_ADAPTIVE");
    return value && std::string(value) == "1";
}

struct Stats {
    int inQueue, downloading, toAnalyze, done, retries, errors;
};

// Records every event of one crawler, in order.
struct Recorder {
    std::vector<std::string> events;
    std::vector<Stats> stats;
    std::vector<std::string> pages;
    std::vector<std::tuple<std::string, unsigned, std::string>> errors;
    std::vector<bool> working;
    std::vector<std::string> logs;

    void Attach(THttpScan& scan) {
        scan.OnUpdatedStats = [this](THttpScan&, int q, int d, int a, int done, int r, int e) {
            stats.push_back({q, d, a, done, r, e});
            events.push_back("stats");
        };
        scan.OnWorking = [this](THttpScan&, bool w) {
            working.push_back(w);
            events.push_back(w ? "working" : "idle");
        };
        scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string& url,
                                     const std::string&,
                                     const std::string&) { pages.push_back(url); };
        scan.OnError = [this](THttpScan&, const std::string& url, unsigned code,
                              const std::string& message) {
            errors.emplace_back(url, code, message);
        };
        scan.OnLog = [this](THttpScan&, const std::string& text) { logs.push_back(text); };
    }
    bool Ended() const { return !working.empty() && !working.back(); }
};

// Captures the engine's messages instead of printing them.
class MessageCapture {
public:
    MessageCapture() {
        SetEngineMessageHook([this](const std::string& m) { messages.push_back(m); });
    }
    ~MessageCapture() { SetEngineMessageHook(nullptr); }
    std::vector<std::string> messages;
};

class THttpScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_resultsPath = m_dir.filePath("results.txt").toStdString();
    }
    std::unique_ptr<THttpScan> NewScan(Recorder& recorder) {
        auto scan = std::make_unique<THttpScan>();
        scan->SetAdaptiveTicks(AdaptiveTicksWanted());
        scan->SetProxyType(PROXY_DIRECT);
        scan->SetFileOfResults(m_resultsPath);
        recorder.Attach(*scan);
        return scan;
    }
    std::string ResultsText() const {
        std::ifstream in(m_resultsPath, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    QTemporaryDir m_dir;
    std::string m_resultsPath;
};

TEST_F(THttpScanTest, DefaultsAndWriteRules) {
    THttpScan scan;
    EXPECT_EQ(scan.Agent(), "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)");
    EXPECT_TRUE(scan.AllowRedirect());
    EXPECT_EQ(scan.ConcurrentDownloads(), 6);
    EXPECT_EQ(scan.DepthSearchLevel(), 3);
    EXPECT_EQ(scan.FileOfResults(), "thttpscan_results.txt");
    EXPECT_EQ(scan.HttpPort(), 80);
    EXPECT_FALSE(scan.KeywordsFilterEnabled());
    EXPECT_FALSE(scan.KeywordsLimiterEnabled());
    EXPECT_FALSE(scan.LeavesFirst());
    EXPECT_EQ(scan.LinkReport(), reportAllLinks);
    EXPECT_EQ(scan.LinkScan(), scanAllLinks);
    EXPECT_FALSE(scan.LogsEnabled());
    EXPECT_EQ(scan.MaxQueueSize(), 5000);
    EXPECT_EQ(scan.ProxyPort(), 80);
    EXPECT_EQ(scan.ProxyType(), PROXY_DEFAULT);
    EXPECT_EQ(scan.Retries(), 3);
    EXPECT_FALSE(scan.SeekRobotsTxt());
    EXPECT_EQ(scan.TimeOut(), 300);
    EXPECT_FALSE(scan.TypeFilterEnabled());
    EXPECT_EQ(scan.TypeList(), "gif\r\n");
    EXPECT_EQ(scan.ExcludeKeywords(), "count\r\nhitbox\r\nreferer\r\nstat\r\ntrack\r\n");
    EXPECT_EQ(scan.IncludeKeywords(), "");

    scan.SetMaxQueueSize(9);
    EXPECT_EQ(scan.MaxQueueSize(), 5000);
    scan.SetMaxQueueSize(10);
    EXPECT_EQ(scan.MaxQueueSize(), 10);
    for (int bad : {0, -1}) {
        scan.SetRetries(bad);
        scan.SetTimeOut(bad);
        scan.SetDepthSearchLevel(bad);
        scan.SetConcurrentDownloads(bad);
    }
    EXPECT_EQ(scan.Retries(), 3);
    EXPECT_EQ(scan.TimeOut(), 300);
    EXPECT_EQ(scan.DepthSearchLevel(), 3);
    EXPECT_EQ(scan.ConcurrentDownloads(), 6);
    scan.SetConcurrentDownloads(4);
    EXPECT_EQ(scan.ConcurrentDownloads(), 4);
    EXPECT_EQ(ImplOf(scan).Dwnld.ConcurrentDownloads, 4);

    scan.SetFileOfResults("found.txt");
    EXPECT_EQ(scan.FileOfResults(), QDir::currentPath().toStdString() + "/Download/found.txt");
    scan.SetFileOfResults("/tmp/x/found.txt");
    EXPECT_EQ(scan.FileOfResults(), "/tmp/x/found.txt");
    scan.SetFileOfResults("");
    EXPECT_EQ(scan.FileOfResults(), "");
}

TEST_F(THttpScanTest, ListSettersLowerCaseAndSort) {
    THttpScan scan;
    scan.SetTypeList("MAIL\r\nJpg\nzip\n");
    EXPECT_EQ(scan.TypeList(), "jpg\r\nmail\r\nzip\r\n");
    scan.SetExcludeKeywords("Shop\n\nAds");
    EXPECT_EQ(scan.ExcludeKeywords(), "ads\r\nshop\r\n");
    scan.SetIncludeKeywords("");
    EXPECT_EQ(scan.IncludeKeywords(), "");
}

TEST_F(THttpScanTest, StartRefusalsGoThroughTheMessageHook) {
    MessageCapture capture;
    Recorder rec;
    auto scan = NewScan(rec);
    EXPECT_FALSE(scan->Start(""));
    EXPECT_FALSE(scan->Start("no-scheme.example/page"));
    EXPECT_FALSE(scan->Start("htp://127.0.0.1:1/"));  // a mistyped scheme is no web address
    ASSERT_EQ(capture.messages.size(), 3u);
    EXPECT_EQ(capture.messages[0], "no URL specified");
    EXPECT_EQ(capture.messages[1], "Invalid Url : no-scheme.example/page");
    EXPECT_EQ(capture.messages[2], "Invalid Url : htp://127.0.0.1:1/");
    EXPECT_TRUE(rec.events.empty());
    capture.messages.clear();

    scan->SetFileOfResults(m_dir.filePath("missing-folder/results.txt").toStdString());
    // The results file opened by the first attempt stays open; use a fresh crawler.
    Recorder rec2;
    auto other = NewScan(rec2);
    other->SetFileOfResults(m_dir.filePath("missing-folder/results.txt").toStdString());
    EXPECT_FALSE(other->Start("http://127.0.0.1:1/"));
    ASSERT_EQ(capture.messages.size(), 1u);
    EXPECT_EQ(capture.messages[0], "unable to create file: " +
                                       m_dir.filePath("missing-folder/results.txt").toStdString());
}

TEST_F(THttpScanTest, ConnectionFailuresAreRetriedThenReportedOnce) {
    TestServer server(R"({"routes": {"/": {"close_without_response": true}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    // The zero statistics and the working report come inside Start, in this order.
    ASSERT_EQ(rec.events.size(), 2u);
    EXPECT_EQ(rec.events[0], "stats");
    EXPECT_EQ(rec.events[1], "working");
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }, 30000));

    EXPECT_EQ(server.CountRequests("/"), 4);
    const Stats& last = rec.stats.back();
    EXPECT_EQ(last.retries, 3);
    EXPECT_EQ(last.errors, 1);
    EXPECT_EQ(last.done, 0);
    EXPECT_EQ(last.inQueue, 0);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(std::get<0>(rec.errors[0]), server.Url("/"));
    EXPECT_EQ(std::get<1>(rec.errors[0]), 0u);
    EXPECT_EQ(std::get<2>(rec.errors[0]), "");
    EXPECT_FALSE(scan->Running());
}

TEST_F(THttpScanTest, ErrorStatusWithHtmlIsReportedWithoutRetry) {
    TestServer server(
        R"({"routes": {"/missing.htm": {"status": 404, "body": "<p>not here</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    ASSERT_TRUE(scan->Start(server.Url("/missing.htm")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(std::get<1>(rec.errors[0]), 404u);
    EXPECT_EQ(std::get<2>(rec.errors[0]), "ERROR");
    EXPECT_EQ(rec.stats.back().errors, 0);
    EXPECT_EQ(rec.stats.back().retries, 0);
    EXPECT_EQ(server.CountRequests("/missing.htm"), 1);
    EXPECT_TRUE(rec.pages.empty());
}

TEST_F(THttpScanTest, ServerErrorsAreRetriedLikeFailures) {
    TestServer server(R"({"routes": {"/busy.htm": {"status": 503, "body": "<p>busy</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetRetries(1);
    ASSERT_TRUE(scan->Start(server.Url("/busy.htm")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(server.CountRequests("/busy.htm"), 2);
    EXPECT_EQ(rec.stats.back().retries, 1);
    EXPECT_EQ(rec.stats.back().errors, 1);
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(std::get<1>(rec.errors[0]), 503u);
    EXPECT_EQ(std::get<2>(rec.errors[0]), "");
}

TEST_F(THttpScanTest, ANonHtmlStartPageEndsQuietly) {
    TestServer server(
        R"({"routes": {"/pic.gif": {"content_type": "image/gif", "body": "GIF89a"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    ASSERT_TRUE(scan->Start(server.Url("/pic.gif")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(rec.stats.back().done, 0);
    EXPECT_EQ(rec.stats.back().errors, 0);
    EXPECT_TRUE(rec.errors.empty());
    EXPECT_TRUE(rec.pages.empty());
}

TEST_F(THttpScanTest, StopBeforeTheFirstTickFetchesNothing) {
    TestServer server(R"({"routes": {"/": {"body": "<p>start</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    EXPECT_TRUE(scan->Stop());
    EXPECT_FALSE(scan->Stop());  // already stopping
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(server.CountRequests("/"), 0);
    ASSERT_GE(rec.stats.size(), 2u);
    EXPECT_EQ(rec.stats[1].inQueue, 0);  // the first tick's report
    EXPECT_EQ(rec.stats.back().done, 0);
    EXPECT_TRUE(rec.pages.empty());
    EXPECT_FALSE(scan->Stop());  // not running any more
}

TEST_F(THttpScanTest, DestructorWaitsForTheEndOfTheRun) {
    TestServer server(R"({"routes": {"/": {"body": "<p>x</p>", "delay_before_headers": 30}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    {
        auto scan = NewScan(rec);
        ASSERT_TRUE(scan->Start(server.Url("/")));
        ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/") == 1; }));
        scan->Stop();
    }
    ASSERT_FALSE(rec.working.empty());
    EXPECT_FALSE(rec.working.back());
}

TEST_F(THttpScanTest, AFinishedRunCanBeStartedAgainOnTheSameUrl) {
    TestServer server(R"({"routes": {"/": {"body": "<p>x</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetLogsEnabled(true);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    EXPECT_FALSE(scan->Start(server.Url("/")));  // refused while running, without a message
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(ImplOf(*scan).VisitedUrls.Count(), 0);
    EXPECT_EQ(rec.stats.back().done, 1);
    ASSERT_TRUE(scan->Start());  // no argument: the same StartingUrl
    ASSERT_TRUE(WaitFor([&] { return rec.working.size() == 4; }));
    EXPECT_EQ(server.CountRequests("/"), 2);
    ASSERT_EQ(rec.pages.size(), 2u);

    const std::string url = server.Url("/");
    const std::vector<std::string> expectedLogs = {
        "HTML: starting download for " + url, "html head complete (200):" + url,
        "HTML: thread done: " + url, "page received, processing:" + url};
    ASSERT_GE(rec.logs.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(rec.logs.begin(), rec.logs.begin() + 4), expectedLogs);
}

TEST_F(THttpScanTest, LoweringConcurrencyRetiresIdleSlotsAtOnceAndBusyOnesLater) {
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=\"/s1.htm\">1</a><a href=\"/s2.htm\">2</a><a href=\"/f.htm\">f</a>"},
        "/f.htm": {"body": "<p>f</p>"},
        "/s1.htm": {"body": "<p>1</p>", "delay_before_headers": 1.5},
        "/s2.htm": {"body": "<p>2</p>", "delay_before_headers": 1.5}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetConcurrentDownloads(4);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    THttpDwnld& dwnld = ImplOf(*scan).Dwnld;
    ASSERT_TRUE(WaitFor([&] {
        return server.CountRequests("/s1.htm") == 1 && server.CountRequests("/s2.htm") == 1;
    }));
    SpinFor(100);
    scan->SetConcurrentDownloads(1);
    SpinFor(150);  // a few ticks
    // Three slots were ever needed: the start page's, then two more for its three links.
    ASSERT_EQ(dwnld.SlotCount(), 3);
    int retired = 0, busy = 0;
    for (int i = 1; i < 3; ++i) {
        if (dwnld.Slot(i).SlotState == slotRetired) ++retired;
        if (dwnld.Slot(i).SlotState == slotDownloading) ++busy;
    }
    // Slot 0 fetched the start page and downloads one of the slow pages, or is idle.
    EXPECT_GE(retired, 1);
    EXPECT_GE(busy, 1);
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(dwnld.SlotCount(), 1);
    EXPECT_EQ(rec.stats.back().done, 4);
}

TEST_F(THttpScanTest, SlotsAreMadeAsTheQueueNeedsThem) {
    TestServer server(
        R"({"routes": {"/": {"body": "<a href=\"/a.htm\">a</a><a href=\"/b.htm\">b</a>"},
        "/a.htm": {"body": "<p>a</p>"}, "/b.htm": {"body": "<p>b</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetConcurrentDownloads(1000);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(rec.stats.back().done, 3);
    // One slot for the start page, then at most one for each of its two links.
    EXPECT_LE(ImplOf(*scan).Dwnld.SlotCount(), 3);
    EXPECT_GE(ImplOf(*scan).Dwnld.SlotCount(), 1);
}

TEST_F(THttpScanTest, StopDuringARunDropsTheQueueOnTheNextTick) {
    std::string links;
    for (int i = 0; i < 40; ++i) links += "<a href='/p" + std::to_string(i) + ".htm'>p</a>";
    TestServer server(R"({"routes": {"/": {"body": ")" + links + R"("},
        "/p0.htm": {"body": "<p>x</p>", "delay_before_headers": 30}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetConcurrentDownloads(1);
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/p0.htm") == 1; }));
    SpinFor(100);
    EXPECT_EQ(rec.stats.back().inQueue, 39);
    ASSERT_TRUE(scan->Stop());
    ASSERT_TRUE(WaitFor([&] { return rec.stats.back().inQueue == 0; }, 1000));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(server.CountRequests("/p1.htm"), 0);
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(THttpScanTest, ResultsFileLinesFollowTheHandler) {
    TestServer server(R"({"routes": {"/": {"body":
        "<a href=\"mailto:keep@example.com\">a</a><a href=\"mailto:custom@example.com\">b</a><a href=\"mailto:none@example.com\">c</a><img src=\"pic.gif\">"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetTypeFilterEnabled(true);
    scan->SetTypeList("mail");
    std::vector<std::string> found;
    scan->OnLinkFound = [&](THttpScan&, const std::string& url, const std::string& type,
                            const std::string& from, const std::string& host, const std::string&,
                            const std::string&, const std::string&, std::string& write, char, int,
                            bool&) {
        found.push_back(type + " " + url);
        EXPECT_EQ(write, "x");
        EXPECT_EQ(from, server.Url("/"));
        EXPECT_EQ(host, "");
        if (url == "custom@example.com") write = "my own line";
        if (url == "none@example.com") write = "";
    };
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    const std::vector<std::string> expected = {"mail keep@example.com", "mail custom@example.com",
                                               "mail none@example.com"};
    EXPECT_EQ(found, expected);
    // The type filter holds back the event for the picture, not its line.
    EXPECT_EQ(ResultsText(), "\"mail\";\"keep@example.com\"\r\nmy own line\r\n\"gif\";\"" +
                                 server.Url("/pic.gif") + "\"\r\n");
    EXPECT_EQ(scan->ResultsFileError(), "");
}

TEST_F(THttpScanTest, WithheldLinksLeaveNoTraceAndAreAskedWhereverMet) {
    TestServer server(R"({"routes": {"/": {"body":
        "<a href=\"mailto:gone@example.com\">g</a><a href=\"mailto:keep@example.com\">k</a><a href=\"a.htm\">a</a><a href=\"secret.htm\">s</a>"},
        "/a.htm": {"body": "<a href=\"mailto:gone@example.com\">g</a>"},
        "/secret.htm": {"body": "<p>s</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    std::vector<std::string> asked, found, told;
    scan->WithholdLink = [&](const std::string& url, const std::string& type) {
        asked.push_back(type + " " + url);
        return url == "gone@example.com" || url == server.Url("/secret.htm");
    };
    scan->OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                            const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, std::string&, char, int,
                            bool&) { found.push_back(url); };
    scan->OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string&, int) {
        told.push_back(d.Resolved);
    };
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(asked,
              (std::vector<std::string>{
                  "mail gone@example.com", "mail keep@example.com", "htm " + server.Url("/a.htm"),
                  "htm " + server.Url("/secret.htm"), "mail gone@example.com"}));
    EXPECT_EQ(found, (std::vector<std::string>{"keep@example.com", server.Url("/a.htm")}));
    EXPECT_EQ(told, (std::vector<std::string>{"keep@example.com", server.Url("/a.htm")}));
    EXPECT_EQ(ResultsText(),
              "\"mail\";\"keep@example.com\"\r\n\"htm\";\"" + server.Url("/a.htm") + "\"\r\n");
    EXPECT_EQ(server.CountRequests("/secret.htm"), 0);
}

TEST_F(THttpScanTest, AResultsFileThatCannotBeWrittenStopsTheRun) {
    std::string routes = "\"/\": {\"body\": \"";
    for (int i = 0; i < 20; ++i) routes += "<a href=p" + std::to_string(i) + ".htm>p</a>";
    routes += "<a href=mailto:a@example.com>a</a>\"}";
    for (int i = 0; i < 20; ++i)
        routes += ", \"/p" + std::to_string(i) + ".htm\": {\"body\": \"<a href=mailto:b" +
                  std::to_string(i) + "@example.com>b</a>\"}";
    TestServer server("{\"routes\": {" + routes + "}}");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetFileOfResults("/dev/full");
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    const std::string message = "cannot write results file /dev/full: No space left on device";
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0], std::make_tuple(std::string("/dev/full"), 0u, message));
    EXPECT_EQ(rec.logs, std::vector<std::string>{message});
    EXPECT_EQ(scan->ResultsFileError(), "No space left on device");
    // The run stopped after the page whose lines could not be kept.
    EXPECT_EQ(rec.pages, std::vector<std::string>{server.Url("/")});
}

TEST_F(THttpScanTest, DepthOneFetchesOnlyTheStartPageButReportsItsLinks) {
    TestServer server(
        R"({"routes": {"/": {"body": "<a href=\"a.htm\">a</a><a href=\"b.htm\">b</a>"},
        "/a.htm": {"body": "<p>a</p>"}, "/b.htm": {"body": "<p>b</p>"}}})");
    ASSERT_TRUE(server.Start());
    Recorder rec;
    auto scan = NewScan(rec);
    scan->SetDepthSearchLevel(1);
    std::vector<std::string> found;
    scan->OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                            const std::string&, const std::string&, const std::string&,
                            const std::string&, const std::string&, std::string&, char, int,
                            bool&) { found.push_back(url); };
    ASSERT_TRUE(scan->Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return rec.Ended(); }));
    EXPECT_EQ(found, (std::vector<std::string>{server.Url("/a.htm"), server.Url("/b.htm")}));
    EXPECT_EQ(server.Requests().size(), 1u);
}

TEST_F(THttpScanTest, NoThreadOfTheCrawlerOutlivesIt) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=/a.htm>a</a>"},
        "/a.htm": {"body": "a", "delay_before_headers": 30}}})");
    ASSERT_TRUE(server.Start());
    const int before = EngineThreadCount();
    {
        Recorder rec;
        auto scan = NewScan(rec);
        ASSERT_TRUE(scan->Start(server.Url("/")));
        // The driver, and a worker waiting for an answer when the crawler goes.
        ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/a.htm") == 1; }));
        EXPECT_EQ(EngineThreadCount(), before + 2);
    }
    EXPECT_EQ(EngineThreadCount(), before);
}

// In a child process, as a user of its own whose thread limit leaves Spare threads beyond those
// running: crawls a closed port and tells how the run ended. The limit binds only users without
// CAP_SYS_RESOURCE, hence the change of user.
[[noreturn]] void CrawlWithSpareThreads(int Spare) {
    if (setgid(54321) != 0 || setuid(54321) != 0) std::_Exit(2);
    char folder[] = "/tmp/tarnwick-nproc-XXXXXX";  // the new user's own, to leave nothing behind
    if (!mkdtemp(folder)) std::_Exit(3);
    const std::string results = std::string(folder) + "/results.txt";
    const int threads = ThreadCount();
    const rlim_t limit = static_cast<rlim_t>(threads + Spare);
    const rlimit bound{limit, limit};
    if (threads == 0 || setrlimit(RLIMIT_NPROC, &bound) != 0) std::_Exit(4);
    bool ended = false;
    {
        Recorder rec;
        THttpScan scan;
        scan.SetAdaptiveTicks(AdaptiveTicksWanted());
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults(results);
        rec.Attach(scan);
        if (!scan.Start("http://127.0.0.1:9/")) std::_Exit(5);
        ended = WaitFor([&] { return rec.Ended(); }, 30000);
        for (const auto& [url, code, message] : rec.errors)
            std::cerr << "error " << code << " " << url << " " << message << "\n";
        if (!rec.stats.empty())
            std::cerr << "retries " << rec.stats.back().retries << " errors "
                      << rec.stats.back().errors << "\n";
    }
    std::cerr << (ended ? "ended" : "still running") << "\n";
    std::remove(results.c_str());
    rmdir(folder);
    // No exit handlers: a leak checker would want a thread of its own for its check.
    std::_Exit(ended ? 0 : 6);
}

TEST_F(THttpScanTest, ThreadsThatCannotStartEndTheRunWithAReason) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to run as a user of its own";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    // No driver: the run ends at once and says why.
    EXPECT_EXIT(
        {
            m_dir.remove();
            CrawlWithSpareThreads(0);
        },
        testing::ExitedWithCode(0),
        "error 0 http://127.0.0.1:9/ cannot start the download thread: Resource temporarily "
        "unavailable\n.*ended");
    // A driver but no fetch worker: each attempt fails like an unreachable server, and after
    // its retries the URL is reported once.
    EXPECT_EXIT(
        {
            m_dir.remove();
            CrawlWithSpareThreads(1);
        },
        testing::ExitedWithCode(0), "error 0 http://127.0.0.1:9/ \nretries 3 errors 1\nended");
}

}  // namespace
