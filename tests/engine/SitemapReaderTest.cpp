#include "SitemapReader.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

const std::string kNs = "http://www.sitemaps.org/schemas/sitemap/0.9";

std::string UrlSet(const std::string& Entries, const std::string& Ns = kNs) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset xmlns=\"" + Ns + "\">" + Entries +
           "</urlset>";
}

std::string Url(const std::string& Loc) {
    return "<url><loc>" + Loc + "</loc></url>";
}

std::string Gzip(const std::string& Data) {
    z_stream zs{};
    deflateInit2(&zs, Z_BEST_SPEED, Z_DEFLATED, 16 + MAX_WBITS, 9, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&zs, Data.size()) + 32, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Data.data()));
    zs.avail_in = static_cast<uInt>(Data.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = static_cast<uInt>(out.size());
    deflate(&zs, Z_FINISH);
    out.resize(zs.total_out);
    deflateEnd(&zs);
    return out;
}

bool Mentions(const TSitemap& Map, const std::string& Words) {
    for (const std::string& problem : Map.Problems)
        if (problem.find(Words) != std::string::npos) return true;
    return false;
}

struct TCase {
    const char* Name;
    std::string Body;
    TSitemapKind Kind;
    std::vector<std::string> Locations;
    const char* Problem;  // words of the one problem expected; "" for a sound file
};

TEST(SitemapReaderTest, ReadsTheLocationsOfTheSitemapNamespaceOnly) {
    const std::string index = "<sitemapindex xmlns=\"" + kNs +
                              "\"><sitemap><loc>http://h/a.xml.gz</loc><lastmod>2024-01-01"
                              "</lastmod></sitemap><sitemap><loc>http://h/b.xml</loc></sitemap>"
                              "</sitemapindex>";
    const TCase cases[] = {
        {"urlset",
         UrlSet(Url("http://h/a") + Url("  https://h/b?x=1&amp;y=2\n ")),
         TSitemapKind::UrlSet,
         {"http://h/a", "https://h/b?x=1&y=2"},
         ""},
        {"index", index, TSitemapKind::Index, {"http://h/a.xml.gz", "http://h/b.xml"}, ""},
        {"gzip", Gzip(UrlSet(Url("http://h/z"))), TSitemapKind::UrlSet, {"http://h/z"}, ""},
        {"two gzip members",
         Gzip(UrlSet(Url("http://h/z")).substr(0, 60)) + Gzip(UrlSet(Url("http://h/z")).substr(60)),
         TSitemapKind::UrlSet,
         {"http://h/z"},
         ""},
        {"extension locs are no pages",
         "<urlset xmlns=\"" + kNs +
             "\" xmlns:image=\"http://www.google.com/schemas/sitemap-image/1.1\">"
             "<url><loc>http://h/p</loc><image:image><image:loc>http://h/i.jpg</image:loc>"
             "</image:image></url></urlset>",
         TSitemapKind::UrlSet,
         {"http://h/p"},
         ""},
        {"wrong namespace",
         UrlSet(Url("http://h/a"), "http://example.org/other"),
         TSitemapKind::None,
         {},
         "not a sitemap"},
        {"no namespace",
         "<urlset>" + Url("http://h/a") + "</urlset>",
         TSitemapKind::None,
         {},
         "not a sitemap"},
        {"html page",
         "<html><body><a href=\"http://h/a\">a</a></body></html>",
         TSitemapKind::None,
         {},
         "not a sitemap"},
        {"not http",
         UrlSet(Url("ftp://h/a") + Url("javascript:x()") + Url("/rel") + Url("http://h/ok")),
         TSitemapKind::UrlSet,
         {"http://h/ok"},
         "3 locations dropped"},
        {"too long",
         UrlSet(Url("http://h/" + std::string(2100, 'a')) + Url("http://h/ok")),
         TSitemapKind::UrlSet,
         {"http://h/ok"},
         "1 location dropped"},
        {"broken after two",
         UrlSet(Url("http://h/1") + Url("http://h/2") + "<url><loc>http://h/3</lo"),
         TSitemapKind::UrlSet,
         {"http://h/1", "http://h/2"},
         "bad XML"},
        {"cut short",
         UrlSet(Url("http://h/1")).substr(0, 120),
         TSitemapKind::UrlSet,
         {},
         "bad XML"},
        {"empty", "", TSitemapKind::None, {}, "bad XML"},
        {"bad gzip",
         std::string("\x1f\x8b\x08\x00garbage-not-deflate", 23),
         TSitemapKind::None,
         {},
         "bad gzip data"},
        {"gzip cut short",
         Gzip(UrlSet(Url("http://h/z"))).substr(0, 30),
         TSitemapKind::None,
         {},
         "gzip data cut short"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        const TSitemap map = ReadSitemap(c.Body);
        EXPECT_EQ(map.Kind, c.Kind);
        EXPECT_EQ(map.Locations, c.Locations);
        if (*c.Problem == '\0')
            EXPECT_TRUE(map.Problems.empty()) << map.Problems.front();
        else
            EXPECT_TRUE(Mentions(map, c.Problem)) << (map.Problems.empty() ? "" : map.Problems[0]);
    }
}

TEST(SitemapReaderTest, StopsAtFiftyThousandLocations) {
    std::string entries;
    for (int i = 0; i < 50003; ++i) entries += Url("http://h/" + std::to_string(i));
    for (const std::string& body : {UrlSet(entries), Gzip(UrlSet(entries))}) {
        const TSitemap map = ReadSitemap(body);
        ASSERT_EQ(map.Locations.size(), kSitemapMaxUrls);
        EXPECT_EQ(map.Locations.back(), "http://h/49999");
        EXPECT_TRUE(Mentions(map, "more than 50000 locations"));
    }
}

// A gzip file of a few dozen kilobytes that inflates to far more than the limit is read up to
// the limit and no further; a plain file beyond it is cut the same way.
TEST(SitemapReaderTest, ReadsNoMoreThanFiftyMegabytes) {
    const std::string head =
        "<?xml version=\"1.0\"?><urlset xmlns=\"" + kNs + "\">" + Url("http://h/first");
    const std::string padding(kSitemapMaxBytes + 4 * 1024 * 1024, ' ');
    const std::string bomb = Gzip(head + padding + "</urlset>");
    ASSERT_LT(bomb.size(), std::size_t{1024 * 1024});

    std::string inflated;
    std::string problem;
    InflateGzip(bomb, kSitemapMaxBytes, inflated, problem);
    EXPECT_EQ(inflated.size(), kSitemapMaxBytes);
    EXPECT_NE(problem.find("larger than 50 MB uncompressed"), std::string::npos);

    for (const std::string& body : {bomb, head + padding + "</urlset>"}) {
        const TSitemap map = ReadSitemap(body);
        EXPECT_EQ(map.Locations, std::vector<std::string>{"http://h/first"});
        EXPECT_TRUE(Mentions(map, "only its first 50 MB are read"));
        EXPECT_TRUE(Mentions(map, "bad XML"));  // the cut leaves the root open
    }
}

}  // namespace
