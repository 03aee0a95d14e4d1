// The whole analysis of one fetched page, without any network: head analysis, cleaning, marking,
// the page hook, extraction and the decision for every link, on a crawler whose events count
// what they see. Input: one byte of settings, the page URL, a line feed, the page body.

#include <QCoreApplication>

#include <cstdint>
#include <memory>
#include <string>

#include "AsciiCase.h"
#include "CurlSupport.h"
#include "FuzzCheck.h"
#include "LinkExtractor.h"
#include "MailtoAddresses.h"
#include "SourceSet.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "UrlIdentity.h"

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
    static TCurlGlobal curl;
    // The crawler is a QObject of the GUI thread; it needs the application object to exist.
    static QCoreApplication app(*Argc, *Argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    if (Size == 0) return 0;
    const unsigned settings = Data[0];
    std::string rest(reinterpret_cast<const char*>(Data + 1), Size - 1);
    const std::size_t split = rest.find('\n');
    std::string pageUrl = "http://h.alpha.test/dir/page.htm";
    if (split != std::string::npos && split < 2048) {
        // Only a URL that splits is ever fetched, so only such a URL can be a page's address.
        TCrackUrl check;
        if (check.Crack(rest.substr(0, split))) pageUrl = rest.substr(0, split);
        rest.erase(0, split + 1);
    }

    THttpScan scan;
    scan.SetFileOfResults("");  // no results file: nothing leaves the process
    scan.SetLinkScan(static_cast<TLinkScan>(settings % 3));
    scan.SetLinkReport(static_cast<TLinkReport>((settings / 3) % 3));
    scan.SetKeywordsFilterEnabled(settings & 0x10);
    scan.SetKeywordsLimiterEnabled(settings & 0x20);
    if (settings & 0x20) scan.SetIncludeKeywords("htm\nmail");
    scan.SetTypeFilterEnabled(settings & 0x40);
    scan.SetSeekRobotsTxt(settings & 0x80);
    scan.SetLogsEnabled(true);
    scan.SetMaxQueueSize(10);

    int links = 0, metaTags = 0, logs = 0;
    const bool stopEarly = (settings & 0x0f) == 0x0f;
    // Cleaning drops control bytes, so a base tag may only appear once they are gone.
    std::string splitSets;
    const bool sawBase =
        AsciiUpperCase(CleanText(SplitSourceSets(rest, splitSets), true, false)).find("BASE") !=
        std::string::npos;
    scan.OnLinkFound = [&](THttpScan& sender, const std::string& url, const std::string& type,
                           const std::string& from, const std::string&, const std::string&,
                           const std::string&, const std::string&, std::string& writeToFile,
                           char hrefOrSrc, int countArea, bool& follow) {
        ++links;
        FUZZ_CHECK(!url.empty());
        FUZZ_CHECK(type != "0" && !type.empty());
        // After a base tag the page address is the base value, which may be anything.
        FUZZ_CHECK(from == pageUrl || sawBase);
        FUZZ_CHECK(hrefOrSrc == 'H' || hrefOrSrc == 'S' || hrefOrSrc == ' ');
        FUZZ_CHECK(countArea == 0);
        // A NUL never survives cleaning, so no reported address may hold one.
        FUZZ_CHECK(url.find('\0') == std::string::npos);
        // Only an address is reported as mail; a web link, whose scheme is any that begins with
        // "http", may end in the catalogue's extension "mail".
        const bool web =
            AsciiUpperCase(url.substr(0, 4)) == "HTTP" && url.find(':') != std::string::npos;
        FUZZ_CHECK(type != "mail" || web || IsMailAddress(url));
        writeToFile = links % 2 ? "x" : "";
        follow = links % 3 != 0;
        // A handler that stops the run ends the page's scan.
        if (stopEarly && links == 3) sender.Stop();
    };
    scan.OnMetaTag = [&](THttpScan&, const std::string& url, const std::string&,
                         const std::string& tagType, const std::string&, const std::string&,
                         const std::string&, const std::string&, const std::string&,
                         const std::string&) {
        ++metaTags;
        FUZZ_CHECK(url == pageUrl);
        FUZZ_CHECK(tagType.size() <= 5);
    };
    scan.OnLog = [&](THttpScan&, const std::string&) { ++logs; };

    TImpl& impl = ImplOf(scan);
    impl.StartUrlParts.Crack(pageUrl);
    TPageContext page;
    page.PageParts.Crack(pageUrl);
    page.Referrer = "http://h.alpha.test/";
    page.Depth = 1 + static_cast<int>(settings % 4);
    impl.AnalysePage(page, rest);

    // Every reported link was recorded as visited, under its key, and the visited list kept
    // its order.
    FUZZ_CHECK(impl.VisitedUrls.Count() >= links);
    FUZZ_CHECK(logs >= 1 || stopEarly);
    for (int i = 0; i < impl.VisitedUrls.Count(); ++i) {
        const std::string_view entry = impl.VisitedUrls.Strings(i);
        FUZZ_CHECK(VisitedKey(entry) == entry);
        if (i > 0) FUZZ_CHECK(impl.VisitedUrls.Compare(impl.VisitedUrls.Strings(i - 1), entry) < 0);
    }
    // Without robots.txt requests everything queued was first entered as visited.
    if (!(settings & 0x80)) FUZZ_CHECK(impl.Dwnld.QueueCount() <= impl.VisitedUrls.Count());
    return 0;
}
