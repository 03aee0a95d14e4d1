// robots.txt rules: group choice, longest match, wildcards and normalisation, as RFC 9309 reads
// them, on its own examples and on the cases that real files get wrong.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TRobotsTxt.h"

namespace {

// The example file of RFC 9309, section 5.1.
const char* kRfcExample = R"(User-Agent: *
Disallow: *.gif$
Disallow: /example/
Allow: /publications/

User-Agent: foobot
Disallow:/
Allow:/example/page.html
Allow:/example/allowed.gif

User-Agent: barbot
User-Agent: bazbot
Disallow: /example/page.html

User-Agent: quxbot

EOF
)";

struct AllowCase {
    const char* Robots;
    const char* Agent;
    const char* Path;
    bool Allowed;
};

TEST(TRobotsTxtTest, AllowsByTheGroupOfTheAgentAndTheLongestRule) {
    const AllowCase cases[] = {
        {kRfcExample, "FooBot/1.0", "/example/page.html", true},
        {kRfcExample, "foobot", "/example/allowed.gif", true},
        {kRfcExample, "foobot", "/other.html", false},
        {kRfcExample, "foobot", "/robots.txt", true},  // always allowed
        {kRfcExample, "barbot", "/example/page.html", false},
        {kRfcExample, "bazbot/2", "/example/page.html", false},
        {kRfcExample, "bazbot", "/example/other.html", true},
        {kRfcExample, "quxbot", "/example/", true},  // its own group, without rules
        {kRfcExample, "otherbot", "/a/b.gif", false},
        {kRfcExample, "otherbot", "/a/b.gif?x=1", true},  // "$" anchors the end
        {kRfcExample, "otherbot", "/example/x", false},
        {kRfcExample, "otherbot", "/publications/x", true},
        {kRfcExample, "Mozilla/4.0 (compatible; MSIE 5.0)", "/x.htm", true},
        // Longest match decides; a tie goes to Allow.
        {"User-agent: *\nDisallow: /\nAllow: /p", "x", "/page", true},
        {"User-agent: *\nAllow: /p\nDisallow: /pa", "x", "/page", false},
        {"User-agent: *\nDisallow: /folder\nAllow: /folder", "x", "/folder/a", true},
        {"User-agent: *\nDisallow: /*.php$\nAllow: /*.php", "x", "/a.php", false},  // 7 octets > 6
        {"User-agent: *\nDisallow: /a*b*c", "x", "/a-xx-b-yy-c.htm", false},
        {"User-agent: *\nDisallow: /a*b*c", "x", "/a-xx-c-yy-b", true},
        {"User-agent: *\nDisallow: /x$", "x", "/x", false},
        {"User-agent: *\nDisallow: /x$", "x", "/x/", true},
        {"User-agent: *\nDisallow: /*?", "x", "/list?page=2", false},
        {"User-agent: *\nDisallow: /*?", "x", "/list", true},
        // Percent-encoding is compared normalised.
        {"User-agent: *\nDisallow: /foo/bar/\xE3\x83\x84", "x", "/foo/bar/%E3%83%84", false},
        {"User-agent: *\nDisallow: /foo/bar/%e3%83%84", "x", "/foo/bar/%E3%83%84", false},
        {"User-agent: *\nDisallow: /foo/bar/baz", "x", "/foo/bar/%62%61%7A", false},
        {"User-agent: *\nDisallow: /a%2fb", "x", "/a/b", true},  // an escaped "/" stays one
        {"User-agent: *\nDisallow: /~joe", "x", "/%7ejoe/a", false},
        {"User-agent: *\nDisallow: /foo/bar/%E3%83%84", "x", "/foo/bar/\xE3\x83\x84", false},
        // An escaped "*" or "$" is that character, no wildcard or anchor; so is a "$" within.
        {"User-agent: *\nDisallow: /path/file-with-a-%2A.html", "x", "/path/file-with-a-*.html",
         false},
        {"User-agent: *\nDisallow: /path/file-with-a-%2A.html", "x", "/path/file-with-a-x.html",
         true},
        {"User-agent: *\nDisallow: /path/foo-%24", "x", "/path/foo-$", false},
        {"User-agent: *\nDisallow: /path/foo-%24", "x", "/path/foo-", true},
        {"User-agent: *\nDisallow: /a$b", "x", "/a$b", false},
        {"User-agent: *\nDisallow: /a$b", "x", "/a", true},
        // Only a rule ends the user-agent lines of a group: Sitemap, Crawl-delay and unknown
        // records between them leave one group.
        {"User-agent: BarBot\nSitemap: http://h/s.xml\nUser-agent: *\nDisallow: /", "barbot", "/",
         false},
        {"User-agent: a\nSeen-by: me\nUser-agent: b\nDisallow: /x", "a", "/x/1", false},
        {"User-agent: a\nCrawl-delay: 1\nUser-agent: b\nDisallow: /x", "a", "/x/1", false},
        {"User-agent: a\nDisallow: /x\nUser-agent: b\nDisallow: /y", "a", "/y", true},
        // The groups of one agent are one group.
        {"User-agent: a\nDisallow: /x\n\nUser-agent: b\nDisallow: /y\n\nUser-agent: A\nAllow: "
         "/x/open",
         "a", "/x/open/1", true},
        // Files as people write them.
        {"\xEF\xBB\xBFUser-agent: *\r\nDisallow: /private # staff only\r\n", "x", "/private/a",
         false},
        {"USER-AGENT : *\nDISALLOW : /x", "x", "/x", false},
        {"Disallow: /\nUser-agent: *\nAllow: /", "x", "/a", true},  // a rule outside any group
        {"User-agent: *\nDisallow:", "x", "/a", true},              // empty: nothing disallowed
        {"User-agent: *\nDisallow: /a\nUser-agent: x\nDisallow: /b", "x", "/a", true},
        {"User-agent: x\nDisallow: /a\n\nUser-agent: X\nDisallow: /b", "x", "/b", false},
        {"", "x", "/anything", true},
        {"<html><body>Not found</body></html>", "x", "/anything", true},
        {"User-agent: *\nDisallow: /", "x", "", false},  // no path means "/"
    };
    for (const AllowCase& c : cases) {
        EXPECT_EQ(TRobotsTxt::Parse(c.Robots, c.Agent).Allows(c.Path), c.Allowed)
            << c.Agent << " " << c.Path << " in:\n"
            << c.Robots;
    }
}

TEST(TRobotsTxtTest, CrawlDelayOfTheChosenGroupCappedAt120Seconds) {
    const int cap = TRobotsTxt::kMaxCrawlDelayMs;
    const struct {
        const char* Robots;
        int Ms;
        bool Capped;
    } cases[] = {
        {"User-agent: *\nCrawl-delay: 2", 2000, false},
        {"User-agent: *\nCrawl-delay: 0.5", 500, false},
        {"User-agent: *\nCrawl-delay: 2\nUser-agent: x\nCrawl-delay: 1", 1000, false},
        {"User-agent: *\nCrawl-delay: 120", cap, false},
        {"User-agent: *\nCrawl-delay: 86400", cap, true},
        {"User-agent: *\nCrawl-delay: 1e9", cap, true},
        {"User-agent: *\nCrawl-delay: 1e400", cap, true},  // beyond any double
        {"User-agent: *\nCrawl-delay: inf", cap, true},
        {"User-agent: *\nCrawl-delay: 99999999999999999999999", cap, true},
        // No length at all: no pause.
        {"User-agent: *\nCrawl-delay: soon", 0, false},
        {"User-agent: *\nCrawl-delay: -3", 0, false},
        {"User-agent: *\nCrawl-delay: -1e400", 0, false},
        {"User-agent: *\nCrawl-delay: 1e-400", 0, false},
        {"User-agent: *\nCrawl-delay: nan", 0, false},
        {"User-agent: *\nCrawl-delay: 2,5", 0, false},
        {"User-agent: *\nCrawl-delay:", 0, false},
    };
    for (const auto& c : cases) {
        const TRobotsTxt robots = TRobotsTxt::Parse(c.Robots, "x");
        EXPECT_EQ(robots.CrawlDelayMs(), c.Ms) << c.Robots;
        EXPECT_EQ(robots.CrawlDelayCapped(), c.Capped) << c.Robots;
    }
}

TEST(TRobotsTxtTest, KeepsTheSitemapLinesAsFound) {
    const TRobotsTxt robots = TRobotsTxt::Parse(
        "Sitemap: http://h/a.xml\nUser-agent: *\nDisallow: /x\nsitemap:https://h/b.xml.gz \n"
        "Sitemap:\nUser-agent: other\nSITEMAP : http://h/c.xml\n",
        "x");
    EXPECT_EQ(robots.Sitemaps(),
              (std::vector<std::string>{"http://h/a.xml", "https://h/b.xml.gz", "http://h/c.xml"}));
    EXPECT_FALSE(robots.Allows("/x"));
    EXPECT_TRUE(TRobotsTxt::AllowAll().Sitemaps().empty());
}

// Sitemap lines belong to the file, not to a group: those of every group count, in order.
TEST(TRobotsTxtTest, KeepsTheSitemapLinesOfTheWholeFile) {
    const TRobotsTxt robots = TRobotsTxt::Parse(
        "Sitemap: http://h/first.xml\nUser-agent: other\nSITEMAP:http://h/b.xml.gz # note\n"
        "Disallow: /\nsitemap:\nUser-agent: *\nSitemap: https://cdn/c.xml\n",
        "x");
    EXPECT_EQ(
        robots.Sitemaps(),
        (std::vector<std::string>{"http://h/first.xml", "http://h/b.xml.gz", "https://cdn/c.xml"}));
    EXPECT_TRUE(TRobotsTxt::Parse("User-agent: *\nDisallow: /x", "x").Sitemaps().empty());
}

TEST(TRobotsTxtTest, ReadsOnlyTheFirst500KiBAndKnowsTheTwoVerdicts) {
    std::string big = "User-agent: *\n";
    while (big.size() < TRobotsTxt::kMaxBytes) big += "# padding padding padding padding\n";
    const TRobotsTxt robots = TRobotsTxt::Parse(big + "Disallow: /\n", "x");
    EXPECT_TRUE(robots.Allows("/a"));  // the rule stands beyond what is read
    std::string near = "User-agent: *\n";
    near.append(TRobotsTxt::kMaxBytes - near.size() - 13, '\n');
    EXPECT_FALSE(TRobotsTxt::Parse(near + "Disallow: /\nAllow: /", "x").Allows("/a"));
    EXPECT_TRUE(TRobotsTxt::AllowAll().Allows("/a"));
    EXPECT_FALSE(TRobotsTxt::DisallowAll().Allows("/a"));
    EXPECT_TRUE(TRobotsTxt::DisallowAll().Allows("/robots.txt"));
}

TEST(TRobotsTxtTest, TokensAndRequestPaths) {
    EXPECT_EQ(ProductTokenOf("tarnwick-crawl/1.0"), "tarnwick-crawl");
    EXPECT_EQ(ProductTokenOf("Mozilla/4.0 (compatible)"), "Mozilla");
    EXPECT_EQ(ProductTokenOf(" Bot "), "Bot");
    EXPECT_EQ(PathAndQueryOf("http://h:8080/a/b.htm?x=1#f"), "/a/b.htm?x=1");
    EXPECT_EQ(PathAndQueryOf("https://h"), "/");
    EXPECT_EQ(PathAndQueryOf("http://h?x"), "/?x");
    EXPECT_EQ(PathAndQueryOf("http://h#top"), "/");
}

}  // namespace
