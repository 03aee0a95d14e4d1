// Crawls with sitemaps against the local test server: which sitemap files are asked for, which
// pages they add, and that a sitemap that cannot be had or read is only logged.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TestServer.h"

namespace {

using Set = std::set<std::string>;

std::string Json(const std::string& Text) {
    std::string out;
    for (char c : Text) {
        if (c == '"' || c == '\\') out += '\\';
        if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return "\"" + out + "\"";
}

std::string Route(const std::string& Path, const std::string& Body,
                  const std::string& Type = "text/html", const std::string& More = "") {
    return Json(Path) + ": {\"body\": " + Json(Body) + ", \"content_type\": " + Json(Type) + More +
           "}";
}

std::string Config(const std::vector<std::string>& Routes) {
    std::string json = "{\"routes\": {";
    for (std::size_t i = 0; i < Routes.size(); ++i) json += (i ? ", " : "") + Routes[i];
    return json + "}}";
}

std::string Links(const std::vector<std::string>& Paths) {
    std::string body = "<p>page</p>";
    for (const std::string& path : Paths) body += " <a href=\"" + path + "\">x</a>";
    return body;
}

const char* const kNs = "http://www.sitemaps.org/schemas/sitemap/0.9";

std::string UrlSet(const std::vector<std::string>& Locations) {
    std::string xml = std::string("<?xml version=\"1.0\"?><urlset xmlns=\"") + kNs + "\">";
    for (const std::string& loc : Locations) xml += "<url><loc>" + loc + "</loc></url>";
    return xml + "</urlset>";
}

std::string Index(const std::vector<std::string>& Locations) {
    std::string xml = std::string("<sitemapindex xmlns=\"") + kNs + "\">";
    for (const std::string& loc : Locations) xml += "<sitemap><loc>" + loc + "</loc></sitemap>";
    return xml + "</sitemapindex>";
}

// A sitemap whose XML breaks after its entries, in one that names a page.
std::string Broken(std::string Xml) {
    return Xml.replace(Xml.find("</urlset>"), 9,
                       "<url><loc>@ORIGIN@/never.htm</lo></url></urlset>");
}

// The site: a start page that links /linked.htm; robots.txt names an index whose gzip child
// lists /hidden.htm, which nothing links, beside pages that must not be taken from it; a broken
// and a missing sitemap; and /sitemap.xml, which only a crawl that ignores robots.txt asks for.
std::vector<std::string> SiteRoutes() {
    return {
        Route("/robots.txt",
              "User-agent: *\nDisallow: /private\nSitemap: @ORIGIN@/maps/index.xml\n",
              "text/plain"),
        Route("/maps/index.xml",
              Index({"@ORIGIN@/maps/pages.xml.gz", "@ORIGIN@/maps/broken.xml",
                     "@ORIGIN@/maps/missing.xml", "http://elsewhere.invalid/map.xml"}),
              "application/xml"),
        Route("/maps/pages.xml.gz",
              UrlSet({"@ORIGIN@/hidden.htm", "@ORIGIN@/private/secret.htm", "@ORIGIN@/linked.htm",
                      "@ORIGIN@/file.pdf", "http://elsewhere.invalid/x.htm"}),
              "application/x-gzip", ", \"gzip_file\": true"),
        Route("/maps/broken.xml", Broken(UrlSet({"@ORIGIN@/early.htm"})), "text/xml"),
        Route("/maps/missing.xml", "gone", "text/plain", ", \"status\": 404"),
        Route("/sitemap.xml", UrlSet({"@ORIGIN@/guessed.htm"}), "application/xml"),
        Route("/", Links({"/linked.htm"})),
        Route("/linked.htm", Links({})),
        Route("/hidden.htm", Links({})),
        Route("/early.htm", Links({})),
        Route("/guessed.htm", Links({})),
        Route("/private/secret.htm", Links({})),
    };
}

bool AdaptiveTicksWanted() {
    const char* value = std::getenv("TARNWICK_TEST_ADAPTIVE");
    return value && std::string(value) == "1";
}

struct SitemapCrawl {
    Set pages;                                 // paths fetched as pages
    std::map<std::string, std::string> found;  // reported path: the page it was found on
    std::vector<std::string> logs;
    int errors = 0, errorEvents = 0;
    bool ended = false;

    void Run(const TestServer& Server, const std::function<void(THttpScan&)>& Setup) {
        const std::string base = Server.BaseUrl();
        const auto path = [&](const std::string& url) { return url.substr(base.size()); };
        THttpScan scan;
        scan.SetAdaptiveTicks(AdaptiveTicksWanted());
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults("");
        scan.SetAgent("tarnwick-test/1.0");
        scan.SetLinkScan(scanInitialSite);
        scan.SetObeyRobotsTxt(true);
        scan.SetLogsEnabled(true);
        scan.OnWorking = [this](THttpScan&, bool working) { ended = !working; };
        scan.OnUpdatedStats = [this](THttpScan&, int, int, int, int, int, int e) { errors = e; };
        scan.OnError = [this](THttpScan&, const std::string&, unsigned, const std::string&) {
            ++errorEvents;
        };
        scan.OnLog = [this](THttpScan&, const std::string& text) { logs.push_back(text); };
        scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                               const std::string& from, const std::string&, const std::string&,
                               const std::string&, const std::string&, std::string&, char, int,
                               bool&) { found[path(url)] = path(from); };
        scan.OnPageReceived = [&](THttpScan&, const std::string&, const std::string& url,
                                  const std::string&,
                                  const std::string&) { pages.insert(path(url)); };
        if (Setup) Setup(scan);
        ASSERT_TRUE(scan.Start(Server.Url("/")));
        ASSERT_TRUE(WaitFor([&] { return ended; }, 30000));
    }

    bool Logged(const std::string& Words) const {
        return std::any_of(logs.begin(), logs.end(), [&](const std::string& line) {
            return line.find(Words) != std::string::npos;
        });
    }
};

Set SitemapRequests(const TestServer& Server) {
    Set asked;
    for (const TestRequest& r : Server.Requests())
        if (r.path.rfind("/maps/", 0) == 0 || r.path == "/sitemap.xml") asked.insert(r.path);
    return asked;
}

TEST(SitemapCrawlTest, AnUnlinkedPageIsFoundOnlyThroughTheSitemapsOfItsServer) {
    const Set maps = {"/maps/index.xml", "/maps/pages.xml.gz", "/maps/broken.xml",
                      "/maps/missing.xml"};
    struct Case {
        const char* name;
        bool sitemaps;
        int depth;
        bool obeyRobots;
        Set pages;
        Set asked;
    };
    const Case cases[] = {
        {"off", false, 3, true, {"/", "/linked.htm"}, {}},
        // The gzip child of the index lists the hidden page; the broken file's entry before its
        // error counts; robots.txt keeps /private out, the scope the other site.
        {"on", true, 3, true, {"/", "/linked.htm", "/hidden.htm", "/early.htm"}, maps},
        {"depth 1", true, 1, true, {"/"}, {}},
        // Without robots.txt only the usual place is asked.
        {"ignoring robots.txt",
         true,
         3,
         false,
         {"/", "/linked.htm", "/guessed.htm"},
         {"/sitemap.xml"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TestServer server(Config(SiteRoutes()));
        ASSERT_TRUE(server.Start());
        SitemapCrawl crawl;
        crawl.Run(server, [&](THttpScan& s) {
            s.SetSeekSitemaps(c.sitemaps);
            s.SetDepthSearchLevel(c.depth);
            s.SetObeyRobotsTxt(c.obeyRobots);
        });
        EXPECT_EQ(crawl.pages, c.pages);
        EXPECT_EQ(SitemapRequests(server), c.asked);
        for (const std::string& map : c.asked) EXPECT_EQ(server.CountRequests(map), 1) << map;
        // A sitemap names pages to fetch; it reports nothing itself.
        EXPECT_EQ(crawl.found, (std::map<std::string, std::string>{{"/linked.htm", "/"}}));
        // Sitemaps that cannot be had or read are no failures of the crawl.
        EXPECT_EQ(crawl.errors, 0);
        EXPECT_EQ(crawl.errorEvents, 0);
        if (c.asked == maps) {
            EXPECT_TRUE(crawl.Logged("sitemap not read (HTTP status 404): " +
                                     server.Url("/maps/missing.xml")));
            EXPECT_TRUE(crawl.Logged("sitemap " + server.Url("/maps/broken.xml") + ": bad XML"));
            EXPECT_TRUE(crawl.Logged("locations read before it are kept: 1"));
            for (const TestRequest& r : server.Requests())
                if (r.path == "/hidden.htm") {
                    const auto referer = r.headers.find("referer");
                    ASSERT_NE(referer, r.headers.end());
                    EXPECT_EQ(referer->second, server.Url("/maps/pages.xml.gz"));
                }
        }
    }
}

// An index with more children than a server may have sitemap files: the index and the files
// up to the bound are asked for, and the log says why the rest are not.
TEST(SitemapCrawlTest, AServerGivesABoundedNumberOfSitemapFiles) {
    std::vector<std::string> children;
    for (int i = 0; i < 10; ++i) children.push_back("@ORIGIN@/c.xml?" + std::to_string(i));
    TestServer server(
        Config({Route("/", Links({})), Route("/sitemap.xml", Index(children), "application/xml"),
                Route("/c.xml", UrlSet({}), "application/xml")}));
    ASSERT_TRUE(server.Start());
    SitemapCrawl crawl;
    crawl.Run(server, [](THttpScan& s) {
        s.SetSeekSitemaps(true);
        s.SetObeyRobotsTxt(false);
        EXPECT_EQ(ImplOf(s).MaxSitemapFiles, 1000);
        ImplOf(s).MaxSitemapFiles = 4;
    });
    EXPECT_EQ(server.CountRequests("/c.xml"), 3);
    EXPECT_TRUE(crawl.Logged("sitemap not read (more than 4 sitemap files on its server): " +
                             server.Url("/c.xml?3")));
}

// A page that only a sitemap named is still reported by the first page that links it.
TEST(SitemapCrawlTest, APageFromASitemapIsReportedWhenALinkToItIsMet) {
    std::vector<std::string> routes = SiteRoutes();
    // The linking page arrives only once the sitemap's page has been asked for.
    routes.push_back(Route("/late.htm", Links({"/hidden.htm"}), "text/html",
                           ", \"hold_until\": \"/hidden.htm\""));
    for (std::string& route : routes)
        if (route.rfind("\"/\":", 0) == 0) route = Route("/", Links({"/linked.htm", "/late.htm"}));
    TestServer server(Config(routes));
    ASSERT_TRUE(server.Start());
    SitemapCrawl crawl;
    crawl.Run(server, [](THttpScan& s) { s.SetSeekSitemaps(true); });
    EXPECT_EQ(server.CountRequests("/hidden.htm"), 1);
    EXPECT_EQ(crawl.found,
              (std::map<std::string, std::string>{
                  {"/linked.htm", "/"}, {"/late.htm", "/"}, {"/hidden.htm", "/late.htm"}}));
}

}  // namespace
