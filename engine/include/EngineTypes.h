#pragma once
// Small value types shared by the crawler component, its scheduler and its download slots.

#include <string>

// Which links are followed.
enum TLinkScan { scanAllLinks, scanInitialSite, scanInitialPath };
// Which links are reported.
enum TLinkReport { reportAllLinks, reportCurrentSiteLinks, reportCurrentPathLinks };
// How downloads reach the web: no proxy, the proxy given as address and port, or the
// environment's proxy settings (http_proxy, https_proxy, no_proxy).
enum TProxyType { PROXY_DIRECT, PROXY_USEPROXY, PROXY_DEFAULT };

// States of a download slot, in the order the scheduler moves them.
enum TSlotState : unsigned char {
    slotRetired = 0,      // beyond the wanted pool size; waits to be freed
    slotIdle = 1,         // free for the next queue entry
    slotAssigning = 2,    // being given an entry
    slotDownloading = 3,  // its worker runs
    slotFinished = 4,     // the worker has ended; outcome not looked at yet
    slotReceived = 5,     // a body was fetched; waits to be analysed
    slotFailed = 6,       // the attempt failed; waits for the retry decision
};

// Where a link was found, one byte carried from the link extractor into each queued URL: the
// value marker that stood before it in the marked page text (see LinkExtractor.h),
// or one of two kinds that never stand in a page.
enum TTagKind : unsigned char {
    tagHref = 4,      // an href attribute
    tagValue = 5,     // a value attribute that looks like a path
    tagSrc = 6,       // a src attribute
    tagBase = 7,      // the href of a base tag
    tagNone = 32,     // no tag: a start URL, or a robots.txt page reported as a link of itself
    tagRefresh = 72,  // a followed meta refresh
};

// Fetch modes of a download slot: a page whose body is delivered, a server's robots.txt, a
// page fetched once more because a shorter path to it was found after its links were analysed
// (its links are followed again; it is not reported or counted a second time), or a sitemap
// file (its bytes whatever their type; it names pages to follow, or further sitemaps).
enum TFetchMode : unsigned char {
    fetchPage = 1,
    fetchRobots = 2,
    fetchAgain = 3,
    fetchSitemap = 4
};

// Kinds of download scheduler, passed to its callbacks and slots; HTML pages are the only one.
enum TSchedulerKind : unsigned char { kindHtmlPages = 1 };

inline constexpr const char* kDefaultAgent =
    "Mozilla/4.0 (compatible; MSIE 5.0; Windows NT; DigExt)";

// How every download of a crawl reaches its server: the user agent, the credentials sent after a
// 401, and the proxy with the credentials sent after a 407. The scheduler holds one, hands a copy
// to each slot, and the slot to its worker.
struct TConnectionSettings {
    std::string Agent = kDefaultAgent;
    std::string UserName;
    std::string Password;
    // The only origin (see OriginKey) that may receive UserName and Password: the start URL's.
    // Empty: they go nowhere.
    std::string CredentialOrigin;
    TProxyType ProxyType = PROXY_DEFAULT;
    std::string ProxyAddress;
    int ProxyPort = 80;
    std::string ProxyUser;
    std::string ProxyPassword;
};
