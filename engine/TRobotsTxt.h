#pragma once
// The rules of one server's robots.txt for one crawler, as RFC 9309 reads them: the group of the
// crawler's product token (else the "*" group), Allow and Disallow by the longest matching
// pattern with Allow winning a tie, "*" and a final "$" in patterns, percent-encoding compared
// normalised. Crawl-delay of that group and the file's Sitemap lines are kept as well. A plain
// value: no I/O, no threads.

#include <string>
#include <string_view>
#include <vector>

class TRobotsTxt {
public:
    // Only the first 500 KiB of a file are read.
    static constexpr std::size_t kMaxBytes = 500 * 1024;
    // A Crawl-delay beyond this is taken as this: one file must not hold a run for hours.
    static constexpr int kMaxCrawlDelayMs = 120 * 1000;

    // Reads Text for the crawler named by ProductToken (compared without regard to case).
    static TRobotsTxt Parse(std::string_view Text, std::string_view ProductToken);
    // What a missing file (4xx) means: everything may be fetched.
    static TRobotsTxt AllowAll() { return {}; }
    // What a server error or an unreachable server means: nothing may be fetched.
    static TRobotsTxt DisallowAll();

    // PathAndQuery is the URL's path with its query as requested ("/a/b.htm?x=1"); an empty one
    // means "/". /robots.txt itself is always allowed.
    bool Allows(std::string_view PathAndQuery) const;
    int CrawlDelayMs() const { return m_crawlDelayMs; }
    // The file asked for a Crawl-delay beyond kMaxCrawlDelayMs; CrawlDelayMs is the cap.
    bool CrawlDelayCapped() const { return m_crawlDelayCapped; }
    // The URLs of the file's Sitemap lines, as written, in the order found; they belong to no
    // group.
    const std::vector<std::string>& Sitemaps() const { return m_sitemaps; }

private:
    struct TRule {
        std::string Pattern;  // normalised
        bool Allow = false;
    };
    std::vector<TRule> m_rules;
    bool m_disallowAll = false;
    int m_crawlDelayMs = 0;
    bool m_crawlDelayCapped = false;
    std::vector<std::string> m_sitemaps;
};

// The product token of a user agent text: up to its first "/" or blank ("tarnwick-crawl" of
// "tarnwick-crawl/1.0", "Mozilla" of "Mozilla/4.0 (compatible; ...)").
std::string ProductTokenOf(std::string_view Agent);

// The path and query of an absolute URL as a request sends them, without the fragment; "/" when
// the URL has no path.
std::string PathAndQueryOf(std::string_view Url);
