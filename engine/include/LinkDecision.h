#pragma once
// The decision taken for every link value of a page, as data: DecideLink works out where the
// value leads, its type, whether the owner hears of it and whether it is followed, and for each
// "no" the rule that said it. It reads the run's visited lists and queue but changes nothing;
// the crawler state object (TImpl) applies the record: visited lists, event, results file, queue.

#include <cstdint>
#include <string>

#include "EngineTypes.h"
#include "TCrackUrl.h"
#include "TQuickSortStringList.h"

// The page a link was found on, as the link decision sees it. PageParts are where the page
// really is: the base of its relative links and of the report rules, which after a redirect is
// the final address. The page stays credited to the URL that was asked for (the links' FromUrl
// and referrer), Url() below. A base value in the page replaces both for the rest of its analysis.
struct TPageContext {
    TCrackUrl PageParts;
    std::string CreditedUrl;  // empty: the Url of PageParts
    std::string Referrer;
    int Depth = 1;
    // The WHATWG name of the page's encoding: the query of its links is sent in it. Empty: UTF-8.
    std::string Encoding;
    // The page's meta robots or X-Robots-Tag says "nofollow" (read only while robots.txt is
    // obeyed): its links are reported but none is followed, and it is no path to any page.
    bool NoFollow = false;

    const std::string& Url() const { return CreditedUrl.empty() ? PageParts.Url : CreditedUrl; }
};

// The component's link settings, read afresh for every link. Keyword and type lists hold
// lower-case, sorted entries.
struct TLinkRules {
    TQuickSortStringList ExcludeKeywords;
    bool ExcludeEnabled = false;
    TQuickSortStringList IncludeKeywords;
    bool IncludeEnabled = false;
    TQuickSortStringList TypeList;  // types whose links raise OnLinkFound when TypeFilterEnabled
    bool TypeFilterEnabled = false;
    TLinkReport LinkReport = reportAllLinks;
    TLinkScan LinkScan = scanAllLinks;
    // While enabled, a page link is followed only when its path or query holds one of these
    // (folded entries, FollowKeywords.h); with none, no link is followed. Reporting stays as is.
    TQuickSortStringList FollowKeywords;
    bool FollowKeywordsEnabled = false;
    bool SeekRobots = false;  // queue the robots.txt of each new host of a followed page link
};

// What the run has met so far, as the decision reads it. A full queue is no reason here: the
// scheduler defers what does not fit.
struct TLinkState {
    const TQuickSortStringList& VisitedUrls;   // Exact, by VisitedKey; values: TVisit
    const TQuickSortStringList& VisitedHosts;  // value 1: its robots.txt was asked for
    int DepthLimit = 3;                        // pages at this depth are not followed further
    bool Stopping = false;
};

// Flag of a VisitedUrls entry that a meta refresh queued before any link of a page named it:
// the first link to it is still reported (it is queued already).
inline constexpr std::intptr_t kQueuedByRefresh = 2;

// Where a page that the run follows stands with the scheduler.
enum class TVisitState : unsigned char {
    Met,       // not queued: found beyond the depth limit
    Waiting,   // queued, or being fetched
    Analysed,  // fetched and its links analysed
    Finished,  // given up, refused, or no HTML page: nothing to analyse
};

// The value of a VisitedUrls entry. Its low bits are the flags the journal has always kept: 1 for
// a page that is followed, kQueuedByRefresh, and kUnwritten for a link whose first page held it
// back by the report rule, or a page that only a sitemap named (a later page may still report
// it). A page that the run follows also
// has its depth, the length of the shortest path to it found so far (0: none, as for files,
// addresses, pages out of scope and journals of version 1, where depths were not kept), where it
// stands, and while it waits, the number of its queue entry. The journal keeps JournalFlag, all
// but the entry number.
struct TVisit {
    static constexpr std::intptr_t kFollowedPage = 1;
    static constexpr std::intptr_t kUnwritten = 4;
    // Depths beyond this are not kept: such pages are never found by a shorter path.
    static constexpr int kMaxDepth = (1 << 23) - 1;

    std::intptr_t Flags = 0;
    TVisitState State = TVisitState::Met;
    int Depth = 0;
    std::uint32_t Entry = 0;

    static TVisit Of(std::intptr_t Value);
    std::intptr_t Value() const;
    int JournalFlag() const { return static_cast<int>(Value() & 0x7FFFFFFF); }
    // Refresh-queued and never named by a link yet.
    bool QueuedByRefreshOnly() const { return (Flags & 3) == kQueuedByRefresh; }
};

// Why a link was not reported or not followed. The words of LinkReasonWord are stable: the
// command line writes them.
enum class TLinkReason : unsigned char {
    None,     // nothing said no
    Seen,     // met before in this run (under the same key, VisitedKey)
    Depth,    // found on a page at the depth limit
    Exclude,  // an exclude keyword occurs in it (Keyword)
    Include,  // no include keyword occurs in it
    Type,     // its type is not on the type list: the owner is not told
    Site,     // another site than LinkScan or LinkReport admits
    Path,     // outside the path that LinkScan or LinkReport admits
    Scheme,   // no http(s) URL or address: javascript, another scheme, no type, unresolvable
    Queue,    // the scheduler could not keep it: its overflow file failed
    Robots,   // the server's robots.txt refused it (told later by the scheduler, OnSkipped)
    // its server's robots.txt could not be read (no answer or a server error), so nothing of
    // that server is fetched (told later, OnSkipped)
    RobotsUnreachable,
    Caller,   // the OnLinkFound handler cleared FollowIfHtmlLink
    Stopped,  // the run was being stopped
    Invalid,  // a part of a mailto value that is no address
    // the page it was found on says "nofollow" (meta robots or X-Robots-Tag)
    NoFollow,
    // a page link whose path and query hold none of the follow keywords; the last reason
    FollowKeywords,
};

// "seen", "depth", "exclude", ...; "" for None.
const char* LinkReasonWord(TLinkReason Reason);

struct TLinkDecision {
    // The link value as found (references decoded); for a part of a mailto value that is no
    // address, "mailto:" and that part, so that one can tell which part it was.
    std::string Value;
    std::string Resolved;  // absolute URL or bare e-mail address; empty when it resolves to none
    std::string Key;       // Resolved as the visited list keeps it (VisitedKey), once typed
    std::string TypeLink;  // "mail", "htm", a catalogue extension, "0" when none
    TCrackUrl LinkParts;   // split from Resolved for a typed link (empty parts for an address)
    bool Mail = false;
    bool Web = false;       // http(s) and not an address: has URL parts, may be followed
    bool Alive = false;     // passed resolution, keywords and typing, and not met before
    bool Reported = false;  // OnLinkFound is raised (LinkReport and the type filter admit it)
    bool Written = false;   // the results file gets its line (LinkReport admits it)
    bool Followed = false;  // queued as a page
    // Why it is not reported (or written), and why a page link is not followed; for a link
    // that is not alive both hold the reason it was dropped. None where nothing said no, and
    // FollowReason is None for files and addresses, which are never followed.
    TLinkReason ReportReason = TLinkReason::None;
    TLinkReason FollowReason = TLinkReason::None;
    std::string Keyword;  // the exclude keyword met (Reason Exclude)
    // Visited list positions for the one who applies the record.
    bool NewHost = false;    // a typed web link whose host is not in VisitedHosts (met URL or not)
    int HostInsertPos = -1;  // where it goes
    bool RobotsAsked = false;  // its host's robots.txt was asked for already
    int UrlIndex = -1;         // the VisitedUrls entry met before
    int UrlInsertPos = -1;     // where a new VisitedUrls entry goes
    bool QueuedByRefresh = false;
    bool QueueRobots = false;  // queue the host's robots.txt before the page
    bool FollowRule = false;   // LinkScan and the follow keywords admit it
    // A link met before (Alive false, UrlIndex its entry) that this page still changes: it
    // reports a link the first page held back (Written, Reported), or it is a shorter path to a
    // page the run follows (Shorter; its page's depth + 1 is less than the entry's depth).
    bool Again = false;
    bool Shorter = false;
};

// The most telling "no" of D: why a page link is not followed, else why the link is not
// reported; None when it is reported and, if a page, followed.
TLinkReason MainReason(const TLinkDecision& D);

// Decides about one link Value of Page (for a mailto value, about its first part): resolution
// (ResolveLink), keywords, typing
// (ClassifyLink), visited look-up, the report and scan rules against StartParts and the page,
// the type filter, and queueing against State. Out is reused between calls to keep its buffers.
void DecideLink(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
                const TLinkState& State, const std::string& Value, TLinkDecision& Out);

// The same for one part of a mailto value (Value as found), which is a link of its own: Part is
// the address, or the text of a part that is no address (IsAddress false; dropped for Invalid).
void DecideMailLink(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
                    const TLinkState& State, const std::string& Value, const std::string& Part,
                    bool IsAddress, TLinkDecision& Out);

// The queueing part alone, for a page link that is alive, web and admitted by LinkScan: sets
// Followed, QueueRobots and FollowReason (None, Stopped, NoFollow or Depth). The applier calls it
// again after OnLinkFound, whose handler may have stopped the run, and sets Queue itself when the
// scheduler could not keep the link.
void DecideQueueing(const TPageContext& Page, const TLinkRules& Rules, const TLinkState& State,
                    TLinkDecision& Out);

// The results-file line of a reported link unless its handler writes another: "type";"url".
std::string DefaultResultLine(const std::string& TypeLink, const std::string& Url);
