// End-to-end crawls of a small site served by the local test server: which pages are fetched,
// which links are reported and which lines reach the results file, under each setting.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

using Set = std::set<std::string>;

// The same tests run a second time with adaptive ticks (ctest's engine.adaptive.* entries).
bool AdaptiveTicksWanted() {
    const char* value = std::getenv("TARNWICK_TEST_ADAPTIVE");
    return value && std::string(value) == "1";
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t pos = text.find(from); pos != std::string::npos;
         pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
    return text;
}

// Site A on 127.0.0.1 and site B on "localhost": two servers, two registrable domains.
const std::map<std::string, std::string> kSiteA = {
    {"index.htm", R"P(<html><head><title>Start</title>
<meta http-equiv="refresh" content="30; URL=refresh.htm">
</head><body>
<a href="docs/a.htm">A</a>
<a href="/docs/b.htm#part">B</a>
<a href="{A}/img/logo.gif">Logo</a>
<img src="img/pic.jpg">
<a href="mailto:Anna.Schmidt@example.com?subject=Hallo">Anna</a>
<a href="mailto:info%40example.org">Info</a>
<a href="files/report.pdf">PDF</a>
<a href="files/pack.zip">ZIP</a>
<a href="{B}/other.htm">Other</a>
<a href="stats.htm">Stats</a>
<frame src="frame.htm">
<option value="/docs/opt.htm">Opt</option>
<a href="javascript:openWin('win.htm')">Win</a>
</body></html>)P"},
    {"docs/a.htm", R"P(<a href="../deep/c.htm">C</a> <a href="mailto:docs@example.com">m</a>
<img src="/img/pic.jpg"> <a href="b.htm">B</a>)P"},
    {"docs/b.htm", R"P(<base href="{A}/other/"><a href="d.htm">D</a>
<a href="mailto:Base@example.com">m</a>)P"},
    {"docs/opt.htm", "<p>no links</p>"},
    {"deep/c.htm", R"P(<a href="e.htm">E</a> <a href="mailto:deep@example.com">m</a>
<a href="song.mp3">song</a>)P"},
    {"deep/e.htm", "<p>too deep</p>"},
    {"other/index.htm", R"P(<a href="mailto:otherindex@example.com">m</a>)P"},
    {"other/d.htm", R"P(<a href="mailto:d@example.com">m</a>)P"},
    {"stats.htm", R"P(<a href="mailto:stats@example.com">m</a>)P"},
    {"frame.htm", R"P(<a href="mailto:frame@example.com">m</a>)P"},
    {"win.htm", R"P(<a href="mailto:win@example.com">m</a>)P"},
    {"refresh.htm", R"P(<a href="mailto:refresh@example.com">m</a>)P"},
    // Pages as others write them: references in values, a refresh to a file that is also linked.
    {"real.htm", R"P(<html><head><meta http-equiv="refresh" content="0; URL=setup.zip"></head>
<body><a href="setup.zip">Setup</a> <a href="list.php?a=1&amp;b=2">List</a>
<a href="mailto:anna&#37;&#52;&#48;example&#46;org">Anna</a> <a href="{B}/list.mail">List</a>
</body></html>)P"},
};
const std::map<std::string, std::string> kSiteB = {
    {"other.htm", R"P(<a href="mailto:other@example.com">m</a> <a href="/more.htm">more</a>)P"},
    {"more.htm", R"P(<a href="mailto:more@example.com">m</a>)P"},
};

struct Found {
    std::string url, type, from;
    char hrefOrSrc;
};

class SiteCrawlTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dirA.isValid() && m_dirB.isValid() && m_results.isValid());
        // The robots.txt of site A is served as a page, so that it is analysed.
        m_a = std::make_unique<TestServer>(
            R"({"routes": {"/robots.txt": {"body": "<p>robots</p>"}}})", false,
            m_dirA.path().toStdString());
        m_b = std::make_unique<TestServer>("{}", false, m_dirB.path().toStdString());
        ASSERT_TRUE(m_a->Start());
        ASSERT_TRUE(m_b->Start());
        A = m_a->BaseUrl();
        B = "http://localhost:" + std::to_string(m_b->Port());
        WriteSite(m_dirA, kSiteA);
        WriteSite(m_dirB, kSiteB);
        m_resultsPath = m_results.filePath("results.txt").toStdString();
    }

    void WriteSite(const QTemporaryDir& dir, const std::map<std::string, std::string>& site) {
        for (const auto& [name, text] : site) {
            const QString path = dir.filePath(QString::fromStdString(name));
            QDir().mkpath(QFileInfo(path).path());
            QFile file(path);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(QByteArray::fromStdString(Replace(Replace(text, "{A}", A), "{B}", B)));
        }
    }

    // Crawls from Start with the given settings; records every link and every fetched page.
    void Crawl(const std::string& start, const std::function<void(THttpScan&)>& setup = {}) {
        THttpScan scan;
        scan.SetAdaptiveTicks(AdaptiveTicksWanted());
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults(m_resultsPath);
        bool ended = false;
        scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
        scan.OnLinkFound = [this](THttpScan&, const std::string& url, const std::string& type,
                                  const std::string& from, const std::string&, const std::string&,
                                  const std::string&, const std::string&, std::string&, char hos,
                                  int, bool&) {
            found.push_back({url, type, from, hos});
        };
        scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string& url,
                                     const std::string&, const std::string&) { pages.insert(url); };
        if (setup) setup(scan);
        ASSERT_TRUE(scan.Start(start));
        ASSERT_TRUE(WaitFor([&] { return ended; }, 30000));
    }

    Set Urls() const {
        Set s;
        for (const Found& f : found) s.insert(f.url);
        return s;
    }
    std::vector<std::string> ResultLines() const {
        std::ifstream in(m_resultsPath, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::vector<std::string> lines;
        std::string all = text.str();
        for (std::size_t pos = 0; pos < all.size();) {
            std::size_t end = all.find("\r\n", pos);
            if (end == std::string::npos) {
                lines.push_back(all.substr(pos) + "<no CR LF>");
                break;
            }
            lines.push_back(all.substr(pos, end - pos));
            pos = end + 2;
        }
        return lines;
    }

    // Everything the default crawl (depth 3, all links) reports, by the page it is found on.
    Set IndexLinks() const {
        return {A + "/docs/a.htm",       A + "/docs/b.htm",          A + "/img/logo.gif",
                A + "/img/pic.jpg",      "Anna.Schmidt@example.com", "info@example.org",
                A + "/files/report.pdf", A + "/files/pack.zip",      B + "/other.htm",
                A + "/stats.htm",        A + "/frame.htm",           A + "/docs/opt.htm",
                A + "/win.htm"};
    }
    Set AllLinks() const {
        Set s = IndexLinks();
        s.insert({A + "/deep/c.htm", "docs@example.com", A + "/other/", A + "/other/d.htm",
                  "Base@example.com", "other@example.com", B + "/more.htm", "stats@example.com",
                  "frame@example.com", "win@example.com", A + "/deep/e.htm", "deep@example.com",
                  A + "/deep/song.mp3", "otherindex@example.com", "d@example.com",
                  "more@example.com"});
        return s;
    }
    Set AllPages() const {
        return {A + "/index.htm",  A + "/docs/a.htm", A + "/docs/b.htm",   B + "/other.htm",
                A + "/stats.htm",  A + "/frame.htm",  A + "/docs/opt.htm", A + "/win.htm",
                A + "/deep/c.htm", A + "/other/",     A + "/other/d.htm",  B + "/more.htm"};
    }
    static Set Without(Set s, const Set& gone) {
        for (const auto& g : gone) s.erase(g);
        return s;
    }

    QTemporaryDir m_dirA, m_dirB, m_results;
    std::unique_ptr<TestServer> m_a, m_b;
    std::string A, B, m_resultsPath;
    std::vector<Found> found;
    Set pages;
};

TEST_F(SiteCrawlTest, DefaultCrawlReportsEveryLinkOnceAndFollowsPagesToDepthThree) {
    Crawl(A + "/index.htm");
    EXPECT_EQ(Urls(), AllLinks());
    EXPECT_EQ(found.size(), AllLinks().size());  // each link once
    EXPECT_EQ(pages, AllPages());
    EXPECT_EQ(m_a->CountRequests("/deep/e.htm"), 0);  // found on a depth-3 page

    std::map<std::string, Found> byUrl;
    for (const Found& f : found) byUrl[f.url] = f;
    EXPECT_EQ(byUrl[A + "/docs/a.htm"].type, "htm");
    EXPECT_EQ(byUrl[A + "/docs/a.htm"].hrefOrSrc, 'H');
    EXPECT_EQ(byUrl[A + "/img/pic.jpg"].type, "jpg");
    EXPECT_EQ(byUrl[A + "/img/pic.jpg"].hrefOrSrc, 'S');
    EXPECT_EQ(byUrl[A + "/frame.htm"].hrefOrSrc, 'S');
    EXPECT_EQ(byUrl[A + "/docs/opt.htm"].hrefOrSrc, ' ');
    EXPECT_EQ(byUrl[A + "/win.htm"].hrefOrSrc, 'H');
    EXPECT_EQ(byUrl["Anna.Schmidt@example.com"].type, "mail");
    EXPECT_EQ(byUrl[A + "/files/report.pdf"].type, "pdf");
    EXPECT_EQ(byUrl[A + "/deep/song.mp3"].type, "mp3");
    // After the base tag the page URL is the base: links after it come from there.
    EXPECT_EQ(byUrl[A + "/other/"].from, A + "/other/");
    EXPECT_EQ(byUrl[A + "/other/d.htm"].from, A + "/other/");
    EXPECT_EQ(byUrl["Base@example.com"].from, A + "/other/");

    // Links of the start page come in document order; the results file has one line each.
    std::vector<std::string> firstLinks;
    for (const Found& f : found)
        if (f.from == A + "/index.htm") firstLinks.push_back(f.url);
    const std::vector<std::string> order = {
        A + "/docs/a.htm",       A + "/docs/b.htm",          A + "/img/logo.gif",
        A + "/img/pic.jpg",      "Anna.Schmidt@example.com", "info@example.org",
        A + "/files/report.pdf", A + "/files/pack.zip",      B + "/other.htm",
        A + "/stats.htm",        A + "/frame.htm",           A + "/docs/opt.htm",
        A + "/win.htm"};
    EXPECT_EQ(firstLinks, order);
    auto lines = ResultLines();
    ASSERT_EQ(lines.size(), AllLinks().size());
    EXPECT_EQ(lines[0], "\"htm\";\"" + A + "/docs/a.htm\"");
    EXPECT_EQ(lines[4], "\"mail\";\"Anna.Schmidt@example.com\"");
}

TEST_F(SiteCrawlTest, DepthOneFetchesOnlyTheStartPage) {
    Crawl(A + "/index.htm", [](THttpScan& s) { s.SetDepthSearchLevel(1); });
    EXPECT_EQ(Urls(), IndexLinks());
    EXPECT_EQ(pages, Set{A + "/index.htm"});
}

TEST_F(SiteCrawlTest, FollowingOnlyTheStartSiteStillReportsOtherSites) {
    Crawl(A + "/index.htm", [](THttpScan& s) { s.SetLinkScan(scanInitialSite); });
    EXPECT_EQ(Urls(),
              Without(AllLinks(), {"other@example.com", B + "/more.htm", "more@example.com"}));
    EXPECT_EQ(pages, Without(AllPages(), {B + "/other.htm", B + "/more.htm"}));
}

TEST_F(SiteCrawlTest, FollowingOnlyTheStartPathKeepsToItsFolder) {
    Crawl(A + "/docs/a.htm", [](THttpScan& s) { s.SetLinkScan(scanInitialPath); });
    EXPECT_EQ(Urls(),
              (Set{A + "/deep/c.htm", "docs@example.com", A + "/img/pic.jpg", A + "/docs/b.htm",
                   A + "/other/", A + "/other/d.htm", "Base@example.com"}));
    EXPECT_EQ(pages, (Set{A + "/docs/a.htm", A + "/docs/b.htm"}));
}

TEST_F(SiteCrawlTest, ReportingOnlyTheCurrentSiteStillFollowsAndKeepsMail) {
    Crawl(A + "/index.htm", [](THttpScan& s) { s.SetLinkReport(reportCurrentSiteLinks); });
    EXPECT_EQ(Urls(), Without(AllLinks(), {B + "/other.htm"}));
    EXPECT_EQ(pages, AllPages());
}

TEST_F(SiteCrawlTest, ReportingOnlyTheCurrentPathComparesWithEachPage) {
    Crawl(A + "/index.htm", [](THttpScan& s) { s.SetLinkReport(reportCurrentPathLinks); });
    EXPECT_EQ(Urls(), Without(AllLinks(), {B + "/other.htm", A + "/deep/c.htm"}));
    EXPECT_EQ(pages, AllPages());
}

TEST_F(SiteCrawlTest, ExcludeKeywordsDropLinksEntirely) {
    Crawl(A + "/index.htm", [](THttpScan& s) { s.SetKeywordsFilterEnabled(true); });
    EXPECT_EQ(Urls(), Without(AllLinks(), {A + "/stats.htm", "stats@example.com"}));
    EXPECT_EQ(pages, Without(AllPages(), {A + "/stats.htm"}));
    EXPECT_EQ(ResultLines().size(), AllLinks().size() - 2);
}

TEST_F(SiteCrawlTest, IncludeKeywordsLimitEverything) {
    Crawl(A + "/index.htm", [](THttpScan& s) {
        s.SetIncludeKeywords("DOCS");
        s.SetKeywordsLimiterEnabled(true);
    });
    EXPECT_EQ(Urls(),
              (Set{A + "/docs/a.htm", A + "/docs/b.htm", A + "/docs/opt.htm", "docs@example.com"}));
    EXPECT_EQ(pages,
              (Set{A + "/index.htm", A + "/docs/a.htm", A + "/docs/b.htm", A + "/docs/opt.htm"}));
}

TEST_F(SiteCrawlTest, TypeFilterHoldsBackEventsButNotFileLinesOrFollowing) {
    Crawl(A + "/index.htm", [](THttpScan& s) {
        s.SetTypeList("mail");
        s.SetTypeFilterEnabled(true);
    });
    Set mails;
    for (const auto& url : AllLinks())
        if (url.find('@') != std::string::npos) mails.insert(url);
    EXPECT_EQ(Urls(), mails);
    EXPECT_EQ(pages, AllPages());
    EXPECT_EQ(ResultLines().size(), AllLinks().size());
}

TEST_F(SiteCrawlTest, AFullQueueDefersLinksAndFetchesThemAllInOrder) {
    std::string links;
    for (int i = 1; i <= 50; ++i) {
        const std::string name = "p" + std::to_string(i) + ".htm";
        links += "<a href=" + name + ">p</a> ";
        WriteSite(m_dirA, {{name, "<a href=mailto:p" + std::to_string(i) + "@example.com>m</a>"}});
    }
    WriteSite(m_dirA, {{"many.htm", links}});
    int mostQueued = 0;
    int mostDeferred = 0;
    Crawl(A + "/many.htm", [&](THttpScan& s) {
        s.SetMaxQueueSize(10);
        s.SetConcurrentDownloads(1);  // the requests then show the order of the queue
        s.OnUpdatedStats = [&](THttpScan& scan, int inQueue, int, int, int, int, int) {
            mostQueued = std::max(mostQueued, inQueue);
            mostDeferred = std::max(mostDeferred, scan.DeferredCount());
        };
    });
    EXPECT_EQ(mostQueued, 10);
    EXPECT_GT(mostDeferred, 0);
    EXPECT_LE(mostDeferred, 40);
    // p1..p10 first, then the deferred ones in the order met, each once: as an unlimited queue.
    std::vector<std::string> asked;
    for (const TestRequest& r : m_a->Requests())
        if (r.path.rfind("/p", 0) == 0) asked.push_back(r.path);
    std::vector<std::string> expected;
    for (int i = 1; i <= 50; ++i) expected.push_back("/p" + std::to_string(i) + ".htm");
    EXPECT_EQ(asked, expected);
    EXPECT_EQ(pages.size(), 51u);
    EXPECT_EQ(found.size(), 100u);  // every page link and every page's address
}

TEST_F(SiteCrawlTest, ARelativeBaseIsResolvedAgainstThePageAndUsed) {
    WriteSite(m_dirA, {{"docs/relbase.htm", "<base href=../elsewhere/><a href=x.htm>x</a>"}});
    Crawl(A + "/docs/relbase.htm", [](THttpScan& s) { s.SetDepthSearchLevel(1); });
    // The base is a link of its own, and the page of the links after it.
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].url, A + "/elsewhere/");
    EXPECT_EQ(found[1].url, A + "/elsewhere/x.htm");
    EXPECT_EQ(found[1].from, A + "/elsewhere/");
}

// One page, one fetch, however its links write it; but addresses that differ in the letter case
// of path or query are other pages and files, as on any Linux server. A relative link on an
// extension-less page resolves as a browser resolves it, and following the start path keeps to
// the folder the user started in.
TEST_F(SiteCrawlTest, UrlsAreKeyedByTheirNormalFormAndResolvedAsABrowserDoes) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestServer site(R"({"routes": {"/nx/about": {"body": "<a href=team.pdf>t</a> )"
                    R"(<a href=about/staff.htm>s</a> <a href=more.htm>m</a> )"
                    R"(<a href=/p.htm?id=Xy7q>1</a> <a href=/p.htm?id=xY7Q>2</a> )"
                    R"(<a href=/Doc/Report.pdf>3</a> <a href=/doc/report.pdf>4</a> )"
                    R"(<a href=x.pdf;jsessionid=A1?download=1>5</a>"}}})",
                    false, dir.path().toStdString());
    ASSERT_TRUE(site.Start());
    const std::string C = site.BaseUrl();
    WriteSite(dir,
              {{"nx/about/staff.htm",
                "<a href=./%73taff.htm>1</a> <a href=staff.htm?>2</a>"
                "<a href=" +
                    Replace(C, "http:", "HTTP:") + "/./p.htm?id=Xy7q>3</a> <a href=../about>4</a>"},
               {"p.htm", "<p>p</p>"},
               {"nx/more.htm", "<p>more</p>"}});
    Crawl(C + "/nx/about");
    const Set links = {C + "/nx/team.pdf",    C + "/nx/about/staff.htm",
                       C + "/nx/more.htm",    C + "/p.htm?id=Xy7q",
                       C + "/p.htm?id=xY7Q",  C + "/Doc/Report.pdf",
                       C + "/doc/report.pdf", C + "/nx/x.pdf;jsessionid=A1?download=1"};
    EXPECT_EQ(Urls(), links);
    EXPECT_EQ(found.size(), links.size());  // the other ways of writing them are met before
    for (const Found& f : found)
        EXPECT_EQ(f.type, f.url.find(".pdf") != std::string::npos ? "pdf" : "htm");
    const auto requests = site.Requests();
    const auto asked = [&](const std::string& path, const std::string& query) {
        return std::count_if(requests.begin(), requests.end(), [&](const TestRequest& r) {
            return r.path == path && r.query == query;
        });
    };
    EXPECT_EQ(asked("/nx/about", ""), 1);
    EXPECT_EQ(asked("/nx/about/staff.htm", ""), 1);
    EXPECT_EQ(asked("/p.htm", "id=Xy7q"), 1);
    EXPECT_EQ(asked("/p.htm", "id=xY7Q"), 1);
    EXPECT_EQ(requests.size(), 5u);  // no file, and nothing under /nx/about/ that is not there

    found.clear();
    pages.clear();
    Crawl(C + "/nx/about", [](THttpScan& s) { s.SetLinkScan(scanInitialPath); });
    EXPECT_EQ(pages, (Set{C + "/nx/about", C + "/nx/about/staff.htm"}));
    EXPECT_EQ(Urls(), links);
}

TEST_F(SiteCrawlTest, StopFromALinkHandlerEndsThePageScanAtOnce) {
    THttpScan* crawler = nullptr;
    Crawl(A + "/index.htm", [&](THttpScan& s) {
        crawler = &s;
        auto record = s.OnLinkFound;
        s.OnLinkFound = [&, record](THttpScan& sender, const std::string& url,
                                    const std::string& type, const std::string& from,
                                    const std::string& h, const std::string& p,
                                    const std::string& pf, const std::string& e, std::string& w,
                                    char hos, int area, bool& follow) {
            record(sender, url, type, from, h, p, pf, e, w, hos, area, follow);
            if (found.size() == 3) crawler->Stop();
        };
    });
    EXPECT_EQ(found.size(), 3u);
    EXPECT_EQ(pages, Set{A + "/index.htm"});
    EXPECT_EQ(ResultLines().size(), 3u);
    EXPECT_EQ(m_a->Requests().size(), 1u);
}

TEST_F(SiteCrawlTest, HeadAnalysisReportsTheTitleAndFollowsTheRefreshRelativeToThePage) {
    std::vector<std::string> titles;
    Crawl(A + "/index.htm", [&](THttpScan& s) {
        s.SetDepthSearchLevel(1);
        s.OnMetaTag = [&](THttpScan&, const std::string& url, const std::string&,
                          const std::string& type, const std::string&, const std::string& value,
                          const std::string&, const std::string& value2, const std::string&,
                          const std::string&) {
            if (type == "TITLE") titles.push_back(url + " " + value);
            if (type == "META") titles.push_back("META " + value + " " + value2);
        };
    });
    EXPECT_EQ(titles, (std::vector<std::string>{A + "/index.htm Start",
                                                "META refresh 30; URLrefresh.htm"}));
    // Queued at the page's own depth, so even at depth 1 the target is fetched and analysed.
    EXPECT_EQ(pages, (Set{A + "/index.htm", A + "/refresh.htm"}));
    EXPECT_TRUE(Urls().count("refresh@example.com"));
    EXPECT_EQ(m_a->CountRequests("/index.htm/refresh.htm"), 0);
}

TEST_F(SiteCrawlTest, LinksAreTakenAsABrowserReadsThem) {
    Crawl(A + "/real.htm", [&](THttpScan& s) {
        s.SetDepthSearchLevel(1);
        s.SetLinkReport(reportCurrentSiteLinks);
        s.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&) {};
    });
    // The refresh queued setup.zip before the link met it; the link is reported all the same.
    // An http link that merely ends in ".mail" is another site's link, not an address.
    EXPECT_EQ(Urls(), (Set{A + "/setup.zip", A + "/list.php?a=1&b=2", "anna@example.org"}));
    EXPECT_EQ(m_a->CountRequests("/setup.zip"), 1);
}

// Tags as current pages write them: line breaks inside tags, a head with attributes and a
// refresh in browser spelling, pictures in srcset, <picture>, <object>, <video> and <audio>, and
// pages sent as TEXT/HTML or XHTML.
TEST_F(SiteCrawlTest, TagsAreReadAsABrowserReadsThem) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestServer server(R"({"routes": {
        "/modern.htm": {"content_type": "TEXT/HTML; Charset=UTF-8", "body":
          "<html><head lang=\"de\">\r\n<meta http-equiv=\"Refresh\"\r\n content=\"5; URL='moved.htm'\">\r\n</head><body>\r\n<a\r\nhref=\"crlf.htm\">c</a>\n<img\tsrc=\"img/tab.gif\">\n<picture><source srcset=\"img/wide.jpg 2x, img/narrow.jpg 1x\"><img src=\"img/pic.jpg\" srcset=\"img/big.jpg 800w,\n img/small.jpg 400w\"></picture>\n<object type=\"application/pdf\"\n data=\"files/doc.pdf\"></object>\n<video poster=\"img/poster.jpg\" src=\"media/clip.mpg\"><source src=\"media/clip.avi\"></video>\n<audio src=\"media/song.mp3\"><source src=\"media/song.wav\"></audio>\n<a href=\"page.xhtml\">x</a></body></html>"},
        "/page.xhtml": {"content_type": "application/xhtml+xml", "body":
          "<p><a href=\"mailto:xhtml@example.com\">m</a></p>"}}})",
                      false, dir.path().toStdString());
    ASSERT_TRUE(server.Start());
    const std::string C = server.BaseUrl();
    WriteSite(dir, {{"moved.htm", R"P(<a href="mailto:moved@example.com">m</a>)P"},
                    {"crlf.htm", R"P(<a href="mailto:crlf@example.com">m</a>)P"}});
    Crawl(C + "/modern.htm", [](THttpScan& s) {
        s.SetDepthSearchLevel(2);
        s.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&) {};
    });

    EXPECT_EQ(pages,
              (Set{C + "/modern.htm", C + "/moved.htm", C + "/crlf.htm", C + "/page.xhtml"}));
    std::map<std::string, Found> byUrl;
    for (const Found& f : found) byUrl[f.url] = f;
    for (const char* file :
         {"/img/tab.gif", "/img/wide.jpg", "/img/narrow.jpg", "/img/pic.jpg", "/img/big.jpg",
          "/img/small.jpg", "/files/doc.pdf", "/img/poster.jpg", "/media/clip.mpg",
          "/media/clip.avi", "/media/song.mp3", "/media/song.wav"}) {
        ASSERT_TRUE(byUrl.count(C + file)) << file;
        EXPECT_EQ(byUrl[C + file].hrefOrSrc, 'S') << file;
        EXPECT_EQ(byUrl[C + file].from, C + "/modern.htm") << file;
    }
    EXPECT_EQ(byUrl[C + "/files/doc.pdf"].type, "pdf");
    EXPECT_EQ(byUrl[C + "/img/small.jpg"].type, "jpg");
    for (const char* mail : {"moved@example.com", "crlf@example.com", "xhtml@example.com"})
        EXPECT_TRUE(byUrl.count(mail)) << mail;
    // Files are reported, never fetched.
    EXPECT_EQ(server.CountRequests("/img/big.jpg"), 0);
    EXPECT_EQ(server.CountRequests("/files/doc.pdf"), 0);
}

TEST_F(SiteCrawlTest, ARedirectedPagesLinksResolveAgainstItsFinalAddress) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    TestServer moved(R"({"routes": {"/old/": {"redirect": "/new/index.htm", "status": 301}}})",
                     false, dir.path().toStdString());
    ASSERT_TRUE(moved.Start());
    const std::string C = moved.BaseUrl();
    WriteSite(dir, {{"new/index.htm", R"P(<a href="a.htm">A</a> <a href="index.htm">Self</a>
<a href="mailto:new@example.com">m</a>)P"},
                    {"new/a.htm", R"P(<a href="mailto:a@example.com">m</a>)P"}});
    Crawl(C + "/old/", [](THttpScan& s) { s.SetDepthSearchLevel(2); });

    EXPECT_EQ(pages, (Set{C + "/old/", C + "/new/a.htm"}));
    // As for a refresh's target, the first link to the final address is reported, whichever
    // page meets it.
    EXPECT_EQ(Urls(),
              (Set{C + "/new/a.htm", C + "/new/index.htm", "new@example.com", "a@example.com"}));
    // The final address counts as visited: the page's link to itself fetches nothing.
    EXPECT_EQ(moved.CountRequests("/new/index.htm"), 1);
    EXPECT_EQ(moved.CountRequests("/old/a.htm"), 0);
    for (const Found& f : found) {
        if (f.url == "new@example.com") {
            EXPECT_EQ(f.from, C + "/old/");  // credited as asked
        }
    }
}

TEST_F(SiteCrawlTest, RobotsTxtIsAskedOncePerHostAndReportedWhenServedAsHtml) {
    Crawl(A + "/index.htm", [](THttpScan& s) {
        s.SetSeekRobotsTxt(true);
        s.SetDepthSearchLevel(2);
    });
    EXPECT_EQ(m_a->CountRequests("/robots.txt"), 1);
    EXPECT_EQ(m_b->CountRequests("/robots.txt"), 1);
    bool reported = false;
    for (const Found& f : found)
        if (f.url == A + "/robots.txt") {
            reported = true;
            EXPECT_EQ(f.type, "txt");
            EXPECT_EQ(f.from, A + "/robots.txt");
        }
    EXPECT_TRUE(reported);
    auto requests = m_a->Requests();
    for (const auto& r : requests) {
        if (r.path == "/robots.txt") {
            EXPECT_EQ(r.headers.count("referer"), 0u);
        }
    }
}

}  // namespace

TEST_F(SiteCrawlTest, EveryLinkValueIsToldWithItsDecisionAndACallersRefusalIsNamed) {
    std::map<std::string, TLinkDecision> first;
    int told = 0;
    Crawl(A + "/index.htm", [&](THttpScan& s) {
        s.SetKeywordsFilterEnabled(true);
        auto record = s.OnLinkFound;
        s.OnLinkFound = [&, record](THttpScan& sender, const std::string& url,
                                    const std::string& type, const std::string& from,
                                    const std::string& h, const std::string& p,
                                    const std::string& pf, const std::string& e, std::string& w,
                                    char hos, int area, bool& follow) {
            record(sender, url, type, from, h, p, pf, e, w, hos, area, follow);
            if (url == A + "/docs/a.htm") follow = false;
        };
        s.OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string& from,
                               int depth) {
            ++told;
            EXPECT_GE(depth, 1);
            EXPECT_FALSE(from.empty());
            first.emplace(d.Resolved.empty() ? d.Value : d.Resolved, d);
        };
    });
    // Each reported link was told, with the same verdict the crawl acted on.
    EXPECT_GT(told, static_cast<int>(found.size()));
    for (const Found& f : found) EXPECT_TRUE(first.at(f.url).Reported) << f.url;
    const TLinkDecision& refused = first.at(A + "/docs/a.htm");
    EXPECT_FALSE(refused.Followed);
    EXPECT_EQ(refused.FollowReason, TLinkReason::Caller);
    EXPECT_EQ(pages.count(A + "/docs/a.htm"), 0u);
    const TLinkDecision& stats = first.at(A + "/stats.htm");
    EXPECT_EQ(stats.FollowReason, TLinkReason::Exclude);
    EXPECT_EQ(stats.Keyword, "stat");
    EXPECT_TRUE(first.at(A + "/docs/b.htm").Followed);
    EXPECT_EQ(pages.count(A + "/docs/b.htm"), 1u);
}
