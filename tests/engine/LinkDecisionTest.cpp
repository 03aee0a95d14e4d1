// The link decision as a table: every rule of the decision, one link value per row, against a
// page, a start URL, the settings and what the run has met so far.

#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "LinkDecision.h"

namespace {

using R = TLinkReason;

struct TSetup {
    TLinkRules Rules;
    TQuickSortStringList VisitedUrls{TListOrder::Exact};  // keys, as the crawler keeps them
    TQuickSortStringList VisitedHosts;
    int DepthLimit = 3;
    bool Stopping = false;
    int PageDepth = 1;
    std::string PageUrl = "http://h.alpha.test/docs/a.htm";
    std::string StartUrl = "http://h.alpha.test/docs/";
};

void Lines(TQuickSortStringList& List, const char* Text) {
    List.SetText(Text);
    List.Sort();
}

struct TCase {
    const char* Name;
    std::function<void(TSetup&)> Arrange;
    std::string Value;
    std::string Resolved;
    std::string TypeLink;
    bool Alive, Written, Reported, Followed;
    R ReportReason, FollowReason;
};

const auto kDefaults = [](TSetup&) {};

const TCase kCases[] = {
    // Resolution and typing.
    {"page relative to the page's folder", kDefaults, "b.htm", "http://h.alpha.test/docs/b.htm",
     "htm", true, true, true, true, R::None, R::None},
    {"fragment cut", kDefaults, "/p.htm#part", "http://h.alpha.test/p.htm", "htm", true, true,
     true, true, R::None, R::None},
    {"mail address, case kept", kDefaults, "MAILTO:Anna.S@Example.com?subject=Hi",
     "Anna.S@Example.com", "mail", true, true, true, false, R::None, R::None},
    {"plus-addressed mail", kDefaults, "mailto:anna+news@example.org", "anna+news@example.org",
     "mail", true, true, true, false, R::None, R::None},
    {"mail address in brackets", kDefaults, "mailto:(toni@example.org)", "toni@example.org",
     "mail", true, true, true, false, R::None, R::None},
    {"mail domain without a dot", kDefaults, "mailto:root@localhost", "root@localhost", "mail",
     true, true, true, false, R::None, R::None},
    {"no domain is no address", kDefaults, "mailto:nodomain", "", "mail", false, false, false,
     false, R::Invalid, R::Invalid},
    {"two at-signs are no address", kDefaults, "mailto:two@@x.de", "", "mail", false, false,
     false, false, R::Invalid, R::Invalid},
    {"no address comes before the keywords",
     [](TSetup& s) {
         Lines(s.Rules.ExcludeKeywords, "x.de");
         s.Rules.ExcludeEnabled = true;
     },
     "mailto:@x.de", "", "mail", false, false, false, false, R::Invalid, R::Invalid},
    {"IPv6 literal", kDefaults, "http://[2001:db8::1]/a.htm", "http://[2001:db8::1]/a.htm", "htm",
     true, true, true, true, R::None, R::None},
    {"brackets in the query", kDefaults, "x.php?a[]=1", "http://h.alpha.test/docs/x.php?a[]=1",
     "htm", true, true, true, true, R::None, R::None},
    {"comma in a file name", kDefaults, "http://h.alpha.test/BREACH%20-%20SSL,%20gone.pdf",
     "http://h.alpha.test/BREACH%20-%20SSL,%20gone.pdf", "pdf", true, true, true, false, R::None,
     R::None},
    {"javascript resolves to nothing", kDefaults, "javascript:go('x.htm')", "", "0", false,
     false, false, false, R::Scheme, R::Scheme},
    {"ftp file has no type", kDefaults, "ftp://host.test/file.zip", "ftp://host.test/file.zip",
     "0", false, false, false, false, R::Scheme, R::Scheme},
    {"ftp query is a page that is not followed", kDefaults, "ftp://host.test/list?x",
     "ftp://host.test/list?x", "htm", true, true, true, false, R::None, R::Scheme},
    {"trailing dot has no type", kDefaults, "http://host.test/file.", "http://host.test/file.",
     "0", false, false, false, false, R::Scheme, R::Scheme},
    {"known file is reported only", kDefaults, "http://h.alpha.test/a.zip",
     "http://h.alpha.test/a.zip", "zip", true, true, true, false, R::None, R::None},
    {"unknown extension is a page", kDefaults, "http://h.alpha.test/style.css",
     "http://h.alpha.test/style.css", "htm", true, true, true, true, R::None, R::None},
    {"jpeg is jpg", kDefaults, "http://h.alpha.test/Pic.JPEG", "http://h.alpha.test/Pic.JPEG",
     "jpg", true, true, true, false, R::None, R::None},
    // Keyword lists.
    {"exclude keyword drops everything",
     [](TSetup& s) {
         Lines(s.Rules.ExcludeKeywords, "track\nhitbox\nreferer\nstat\ncount");
         s.Rules.ExcludeEnabled = true;
     },
     "http://host.test/Counter.htm", "http://host.test/Counter.htm", "0", false, false, false,
     false, R::Exclude, R::Exclude},
    {"exclude list switched off",
     [](TSetup& s) { Lines(s.Rules.ExcludeKeywords, "count"); },
     "http://h.alpha.test/count.htm", "http://h.alpha.test/count.htm", "htm", true, true, true,
     true, R::None, R::None},
    {"exclude keyword in a mail address",
     [](TSetup& s) {
         Lines(s.Rules.ExcludeKeywords, "count");
         s.Rules.ExcludeEnabled = true;
     },
     "mailto:accounts@example.com", "accounts@example.com", "mail", false, false, false, false,
     R::Exclude, R::Exclude},
    {"include keyword missing",
     [](TSetup& s) {
         Lines(s.Rules.IncludeKeywords, "shop");
         s.Rules.IncludeEnabled = true;
     },
     "http://h.alpha.test/a.htm", "http://h.alpha.test/a.htm", "0", false, false, false, false,
     R::Include, R::Include},
    {"include keyword present",
     [](TSetup& s) {
         Lines(s.Rules.IncludeKeywords, "shop");
         s.Rules.IncludeEnabled = true;
     },
     "http://h.alpha.test/SHOP.htm", "http://h.alpha.test/SHOP.htm", "htm", true, true, true, true,
     R::None, R::None},
    {"empty include list limits nothing", [](TSetup& s) { s.Rules.IncludeEnabled = true; },
     "http://h.alpha.test/a.htm", "http://h.alpha.test/a.htm", "htm", true, true, true, true,
     R::None, R::None},
    // Met before: under the URL's normal form, path and query in their own case.
    {"seen with scheme and host in another case",
     [](TSetup& s) { s.VisitedUrls.Add("http://h.alpha.test/docs/b.htm", 1); },
     "HTTP://H.Alpha.TEST:80/docs/./x/../%62.htm?", "HTTP://H.Alpha.TEST:80/docs/./x/../%62.htm?",
     "htm", false, false, false, false, R::Seen, R::Seen},
    {"path in another case is another file",
     [](TSetup& s) { s.VisitedUrls.Add("http://h.alpha.test/doc/report.pdf", 0); },
     "/Doc/Report.pdf", "http://h.alpha.test/Doc/Report.pdf", "pdf", true, true, true, false,
     R::None, R::None},
    {"query in another case is another page",
     [](TSetup& s) { s.VisitedUrls.Add("http://h.alpha.test/p?id=Xy7q", 1); }, "/p?id=xY7Q",
     "http://h.alpha.test/p?id=xY7Q", "htm", true, true, true, true, R::None, R::None},
    {"mail address seen in another case",
     [](TSetup& s) { s.VisitedUrls.Add("anna.s@example.com", 0); },
     "mailto:Anna.S@Example.com", "Anna.S@Example.com", "mail", false, false, false, false,
     R::Seen, R::Seen},
    {"file with a query is a file", kDefaults, "x.pdf?download=1",
     "http://h.alpha.test/docs/x.pdf?download=1", "pdf", true, true, true, false, R::None,
     R::None},
    {"relative link on an extension-less page",
     [](TSetup& s) { s.PageUrl = "http://h.alpha.test/nx/about"; }, "team.pdf",
     "http://h.alpha.test/nx/team.pdf", "pdf", true, true, true, false, R::None, R::None},
    // The start path stays the folder the user started in.
    {"initial path of an extension-less start page",
     [](TSetup& s) {
         s.Rules.LinkScan = scanInitialPath;
         s.PageUrl = s.StartUrl = "http://h.alpha.test/nx/about";
     },
     "team.htm", "http://h.alpha.test/nx/team.htm", "htm", true, true, true, false, R::None,
     R::Path},
    {"initial path admits the start page's folder",
     [](TSetup& s) {
         s.Rules.LinkScan = scanInitialPath;
         s.PageUrl = s.StartUrl = "http://h.alpha.test/nx/about";
     },
     "about/staff.htm", "http://h.alpha.test/nx/about/staff.htm", "htm", true, true, true, true,
     R::None, R::None},
    {"queued by a refresh is still news, not queued twice",
     [](TSetup& s) { s.VisitedUrls.Add("http://h.alpha.test/docs/b.htm", kQueuedByRefresh); },
     "b.htm", "http://h.alpha.test/docs/b.htm", "htm", true, true, true, true, R::None, R::None},
    // Scan rules against the start URL.
    {"initial site admits another host of the domain",
     [](TSetup& s) {
         s.Rules.LinkScan = scanInitialSite;
         s.StartUrl = "http://one.alpha.test/";
     },
     "http://two.alpha.test/x.htm", "http://two.alpha.test/x.htm", "htm", true, true, true, true,
     R::None, R::None},
    {"initial site refuses another domain",
     [](TSetup& s) {
         s.Rules.LinkScan = scanInitialSite;
         s.StartUrl = "http://one.alpha.test/";
     },
     "http://one.beta.test/x.htm", "http://one.beta.test/x.htm", "htm", true, true, true, false,
     R::None, R::Site},
    {"initial path is a substring test", [](TSetup& s) { s.Rules.LinkScan = scanInitialPath; },
     "http://h.alpha.test/a/docs/b.htm", "http://h.alpha.test/a/docs/b.htm", "htm", true, true,
     true, true, R::None, R::None},
    {"initial path refuses another folder",
     [](TSetup& s) { s.Rules.LinkScan = scanInitialPath; }, "/img/x.htm",
     "http://h.alpha.test/img/x.htm", "htm", true, true, true, false, R::None, R::Path},
    {"initial path refuses another site first",
     [](TSetup& s) { s.Rules.LinkScan = scanInitialPath; }, "http://o.beta.test/docs/x.htm",
     "http://o.beta.test/docs/x.htm", "htm", true, true, true, false, R::None, R::Site},
    // Report rules against the page.
    {"current path reports the page's folder",
     [](TSetup& s) { s.Rules.LinkReport = reportCurrentPathLinks; }, "b.htm",
     "http://h.alpha.test/docs/b.htm", "htm", true, true, true, true, R::None, R::None},
    {"current path holds back another folder",
     [](TSetup& s) { s.Rules.LinkReport = reportCurrentPathLinks; }, "/img/c.gif",
     "http://h.alpha.test/img/c.gif", "gif", true, false, false, false, R::Path, R::None},
    {"current site holds back, still follows",
     [](TSetup& s) { s.Rules.LinkReport = reportCurrentSiteLinks; }, "http://o.beta.test/x.htm",
     "http://o.beta.test/x.htm", "htm", true, false, false, true, R::Site, R::None},
    {"mail is reported under every report rule",
     [](TSetup& s) { s.Rules.LinkReport = reportCurrentPathLinks; }, "mailto:a@b.test",
     "a@b.test", "mail", true, true, true, false, R::None, R::None},
    // Type filter: the event only.
    {"type filter holds back the event, not the line",
     [](TSetup& s) {
         Lines(s.Rules.TypeList, "mail");
         s.Rules.TypeFilterEnabled = true;
     },
     "files/a.zip", "http://h.alpha.test/docs/files/a.zip", "zip", true, true, false, false,
     R::Type, R::None},
    {"type filter does not stop following",
     [](TSetup& s) {
         Lines(s.Rules.TypeList, "mail");
         s.Rules.TypeFilterEnabled = true;
     },
     "b.htm", "http://h.alpha.test/docs/b.htm", "htm", true, true, false, true, R::Type, R::None},
    {"type filter admits a listed type",
     [](TSetup& s) {
         Lines(s.Rules.TypeList, "mail\nzip");
         s.Rules.TypeFilterEnabled = true;
     },
     "a.zip", "http://h.alpha.test/docs/a.zip", "zip", true, true, true, false, R::None, R::None},
    // Queueing.
    {"page at the depth limit is reported, not queued", [](TSetup& s) { s.PageDepth = 3; },
     "b.htm", "http://h.alpha.test/docs/b.htm", "htm", true, true, true, false, R::None,
     R::Depth},
    {"stopping run", [](TSetup& s) { s.Stopping = true; }, "b.htm",
     "http://h.alpha.test/docs/b.htm", "htm", true, true, true, false, R::None, R::Stopped},
    // A full queue is the scheduler's business: it defers the link, so the decision follows it.
    {"robots.txt and the page are both followed", [](TSetup& s) { s.Rules.SeekRobots = true; },
     "http://o.beta.test/b.htm", "http://o.beta.test/b.htm", "htm", true, true, true, true,
     R::None, R::None},
    {"scan rule comes before the depth limit",
     [](TSetup& s) {
         s.Rules.LinkScan = scanInitialSite;
         s.PageDepth = 3;
     },
     "http://o.beta.test/x.htm", "http://o.beta.test/x.htm", "htm", true, true, true, false,
     R::None, R::Site},
};

class LinkDecisionTable : public ::testing::TestWithParam<TCase> {};

TLinkDecision Decide(TSetup& s, const std::string& Value) {
    TPageContext page;
    page.PageParts.Crack(s.PageUrl);
    page.Depth = s.PageDepth;
    TCrackUrl start;
    start.Crack(s.StartUrl);
    s.VisitedUrls.Sort();
    s.VisitedHosts.Sort();
    const TLinkState state{s.VisitedUrls, s.VisitedHosts, s.DepthLimit, s.Stopping};
    TLinkDecision d;
    DecideLink(page, start, s.Rules, state, Value, d);
    return d;
}

TEST_P(LinkDecisionTable, DecidesByTheRules) {
    const TCase& c = GetParam();
    TSetup s;
    c.Arrange(s);
    const TLinkDecision d = Decide(s, c.Value);
    EXPECT_EQ(d.Resolved, c.Resolved);
    if (c.Alive) {
        EXPECT_EQ(d.TypeLink, c.TypeLink);
    }
    EXPECT_EQ(d.Alive, c.Alive);
    EXPECT_EQ(d.Written, c.Written);
    EXPECT_EQ(d.Reported, c.Reported);
    EXPECT_EQ(d.Followed, c.Followed);
    EXPECT_EQ(LinkReasonWord(d.ReportReason), std::string(LinkReasonWord(c.ReportReason)));
    EXPECT_EQ(LinkReasonWord(d.FollowReason), std::string(LinkReasonWord(c.FollowReason)));
}

INSTANTIATE_TEST_SUITE_P(Rules, LinkDecisionTable, ::testing::ValuesIn(kCases),
                         [](const auto& Info) {
                             std::string name;
                             for (const char* p = Info.param.Name; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

TEST(LinkDecision, NamesTheExcludeKeywordAndTheMainReason) {
    TSetup s;
    Lines(s.Rules.ExcludeKeywords, "logout\nstat");
    s.Rules.ExcludeEnabled = true;
    const TLinkDecision d = Decide(s, "/user/logout.php");
    EXPECT_EQ(d.Keyword, "logout");
    EXPECT_EQ(MainReason(d), R::Exclude);

    TSetup f;
    f.Rules.LinkReport = reportCurrentSiteLinks;
    f.PageDepth = 3;
    // Not reported (other site) and not followed (depth): the page not visited tells more.
    EXPECT_EQ(MainReason(Decide(f, "http://o.beta.test/x.htm")), R::Depth);
}

TEST(LinkDecision, APartOfAMailtoValueIsALinkOfItsOwn) {
    TSetup s;
    TPageContext page;
    page.PageParts.Crack(s.PageUrl);
    const TLinkState state{s.VisitedUrls, s.VisitedHosts, s.DepthLimit, s.Stopping};
    TLinkDecision d;
    DecideMailLink(page, page.PageParts, s.Rules, state, "mailto:ok@x.de,nodomain", "nodomain",
                   false, d);
    EXPECT_EQ(d.Value, "mailto:nodomain");  // names the part, not the whole value
    EXPECT_EQ(MainReason(d), R::Invalid);
    DecideMailLink(page, page.PageParts, s.Rules, state, "mailto:ok@x.de,nodomain", "ok@x.de", true,
                   d);
    EXPECT_EQ(d.Value, "mailto:ok@x.de,nodomain");
    EXPECT_EQ(d.Resolved, "ok@x.de");
    EXPECT_TRUE(d.Reported);
    EXPECT_STREQ(LinkReasonWord(R::Invalid), "invalid");
}

TEST(LinkDecision, AHostsRobotsTxtComesWithItsFirstFollowedPage) {
    TSetup s;
    s.Rules.SeekRobots = true;
    const TLinkDecision first = Decide(s, "http://new.test/a.htm");
    EXPECT_TRUE(first.NewHost);
    EXPECT_TRUE(first.QueueRobots);
    // Asked for already (value 1): a second page of the host asks for nothing more.
    s.VisitedHosts.Add("NEW.test", 1);
    const TLinkDecision second = Decide(s, "http://new.test/b.htm");
    EXPECT_FALSE(second.NewHost);
    EXPECT_FALSE(second.QueueRobots);
    EXPECT_TRUE(second.Followed);
    // A file of a new host records the host but asks for no robots.txt; the first page of that
    // host does, whichever page met the host first.
    TSetup f;
    f.Rules.SeekRobots = true;
    const TLinkDecision file = Decide(f, "http://new.test/a.zip");
    EXPECT_TRUE(file.NewHost);
    EXPECT_FALSE(file.QueueRobots);
    f.VisitedHosts.Add("new.test");
    const TLinkDecision page = Decide(f, "http://new.test/a.htm");
    EXPECT_FALSE(page.NewHost);
    EXPECT_TRUE(page.QueueRobots);
}

}  // namespace

#include "THttpScan.h"
#include "TImpl.h"

namespace {

// The crawler applies the decisions: a link back to the start URL (met before) still records its
// host, and the first followed page of that host asks for its robots.txt once.
TEST(LinkDecisionApplied, ALinkMetBeforeStillRecordsItsHost) {
    THttpScan scan;
    scan.SetSeekRobotsTxt(true);
    scan.SetFileOfResults("");
    TImpl& impl = ImplOf(scan);
    const std::string start = "http://h.alpha.test/";
    impl.StartUrlParts.Crack(start);
    int index = -1, pos = -1;
    impl.VisitedUrls.Find(start, index, pos, true);
    TPageContext page;
    page.PageParts.Crack(start);
    impl.AnalysePage(page, R"(<a href="/">home</a> <a href="/b.htm">b</a> <a href="/c.htm">c</a>)");
    EXPECT_EQ(impl.Dwnld.QueueCount(), 3);  // robots.txt, b.htm and c.htm
    EXPECT_EQ(impl.VisitedHosts.Count(), 1);
}

// A base value is resolved against the page and then used: it is the link reported and the page
// of the links after it. One that names no web URL leaves the page as it was.
TEST(LinkDecisionApplied, ARelativeBaseIsResolvedAgainstThePageAndUsed) {
    using Found = std::vector<std::pair<std::string, std::string>>;  // link, page it is from
    const std::string page = "http://h.test/nx/about";
    const std::pair<const char*, Found> cases[] = {
        {"<base href=sub/dir/><a href=x.htm>x</a>",
         {{"http://h.test/nx/sub/dir/", "http://h.test/nx/sub/dir/"},
          {"http://h.test/nx/sub/dir/x.htm", "http://h.test/nx/sub/dir/"}}},
        {"<base href=/x/><a href=y.htm>y</a>",
         {{"http://h.test/x/", "http://h.test/x/"}, {"http://h.test/x/y.htm", "http://h.test/x/"}}},
        {"<base href=http://o.test/d/><a href=../y.htm>y</a>",
         {{"http://o.test/d/", "http://o.test/d/"}, {"http://o.test/y.htm", "http://o.test/d/"}}},
        {"<base href=mailto:b@h.test><a href=y.htm>y</a>",
         {{"b@h.test", page}, {"http://h.test/nx/y.htm", page}}},
        {"<base href=ftp://f.test/d/><a href=y.htm>y</a>", {{"http://h.test/nx/y.htm", page}}},
    };
    for (const auto& [html, expected] : cases) {
        THttpScan scan;
        scan.SetFileOfResults("");
        Found found;
        scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                               const std::string& from, const std::string&, const std::string&,
                               const std::string&, const std::string&, std::string&, char, int,
                               bool&) { found.emplace_back(url, from); };
        TPageContext context;
        context.PageParts.Crack(page);
        ImplOf(scan).AnalysePage(context, html);
        EXPECT_EQ(found, expected) << html;
    }
}

// Each address of a mailto value is decided, told and entered as visited on its own.
TEST(LinkDecisionApplied, EachAddressOfAMailtoValueIsALinkOfItsOwn) {
    THttpScan scan;
    scan.SetFileOfResults("");
    std::vector<std::string> found;
    scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string& type,
                           const std::string&, const std::string&, const std::string&,
                           const std::string&, const std::string&, std::string&, char, int,
                           bool&) { found.push_back(type + " " + url); };
    std::vector<std::string> decided;
    scan.OnLinkDecision = [&](THttpScan&, const TLinkDecision& d, const std::string&, int) {
        decided.push_back((d.Resolved.empty() ? d.Value : d.Resolved) + " " +
                          LinkReasonWord(MainReason(d)));
    };
    TImpl& impl = ImplOf(scan);
    TPageContext page;
    page.PageParts.Crack("http://h.alpha.test/");
    impl.AnalysePage(page, R"(<a href="mailto:a@x.de,B@y.de?cc=c@z.de">m</a>
        <a href="mailto:b@Y.de, nodomain">n</a> <a href=mailto:anna+news@x.de>)");
    EXPECT_EQ(found, (std::vector<std::string>{"mail a@x.de", "mail B@y.de", "mail c@z.de",
                                               "mail anna+news@x.de"}));
    EXPECT_EQ(decided, (std::vector<std::string>{"a@x.de ", "B@y.de ", "c@z.de ", "b@Y.de seen",
                                                 "mailto:nodomain invalid", "anna+news@x.de "}));
    EXPECT_EQ(impl.VisitedUrls.Count(), 4);
}

}  // namespace
