#include "LinkDecision.h"

#include <algorithm>

#include "FollowKeywords.h"
#include "LinkClassifier.h"
#include "UrlEncoding.h"
#include "UrlIdentity.h"

const char* LinkReasonWord(TLinkReason Reason) {
    switch (Reason) {
        case TLinkReason::None:
            return "";
        case TLinkReason::Seen:
            return "seen";
        case TLinkReason::Depth:
            return "depth";
        case TLinkReason::Exclude:
            return "exclude";
        case TLinkReason::Include:
            return "include";
        case TLinkReason::Type:
            return "type";
        case TLinkReason::Site:
            return "site";
        case TLinkReason::Path:
            return "path";
        case TLinkReason::Scheme:
            return "scheme";
        case TLinkReason::Queue:
            return "queue";
        case TLinkReason::Robots:
            return "robots";
        case TLinkReason::RobotsUnreachable:
            return "robots-unreachable";
        case TLinkReason::Caller:
            return "caller";
        case TLinkReason::Stopped:
            return "stopped";
        case TLinkReason::Invalid:
            return "invalid";
        case TLinkReason::NoFollow:
            return "nofollow";
        case TLinkReason::FollowKeywords:
            return "follow-keywords";
    }
    return "";
}

TVisit TVisit::Of(std::intptr_t Value) {
    TVisit v;
    v.Flags = Value & 7;
    v.State = static_cast<TVisitState>((Value >> 3) & 3);
    v.Depth = static_cast<int>((Value >> 8) & kMaxDepth);
    v.Entry = static_cast<std::uint32_t>(static_cast<std::uint64_t>(Value) >> 32);
    return v;
}

std::intptr_t TVisit::Value() const {
    return (Flags & 7) | static_cast<std::intptr_t>(State) << 3 |
           static_cast<std::intptr_t>(std::clamp(Depth, 0, kMaxDepth)) << 8 |
           static_cast<std::intptr_t>(static_cast<std::uint64_t>(Entry) << 32);
}

TLinkReason MainReason(const TLinkDecision& D) {
    if (D.FollowReason != TLinkReason::None) return D.FollowReason;
    return D.ReportReason;
}

namespace {

// The site and path tests of one rule: None when it admits the link.
TLinkReason SiteAndPath(bool AllLinks, bool SiteOnly, const std::string& LinkDomain,
                        const TCrackUrl& Against, const std::string& Resolved) {
    if (AllLinks) return TLinkReason::None;
    if (LinkDomain != Against.Domain) return TLinkReason::Site;
    if (SiteOnly) return TLinkReason::None;
    // UrlPath is decoded; links are percent-encoded (NormalizeUrl).
    return Resolved.find(PercentEncodeNonAscii(Against.UrlPath)) != std::string::npos
               ? TLinkReason::None
               : TLinkReason::Path;
}

// The follow rules after the scope: the follow keywords, asked only of a page link in scope.
TLinkReason FollowNo(const TLinkRules& Rules, TLinkReason ScopeNo, const TLinkDecision& Out) {
    if (ScopeNo != TLinkReason::None || !Rules.FollowKeywordsEnabled || !Out.Web ||
        Out.TypeLink != "htm")
        return ScopeNo;
    return PathOrQueryHoldsKeyword(Out.LinkParts, Rules.FollowKeywords)
               ? TLinkReason::None
               : TLinkReason::FollowKeywords;
}

bool Drop(TLinkDecision& Out, TLinkReason Reason) {
    Out.ReportReason = Out.FollowReason = Reason;
    return false;
}

// Resolution, keywords, typing and the visited look-up; false when the link is dropped.
bool Survives(const TPageContext& Page, const TLinkRules& Rules, const TLinkState& State,
              TResolvedLink&& Link, TLinkDecision& Out) {
    Out.Resolved.swap(Link.Resolved);
    Out.Mail = Link.Mail;
    Out.TypeLink = Link.Mail ? "mail" : "0";
    if (Link.Invalid) {
        if (!Link.Part.empty()) Out.Value = "mailto:" + Link.Part;
        return Drop(Out, TLinkReason::Invalid);
    }
    if (Out.Resolved.empty()) return Drop(Out, TLinkReason::Scheme);
    if (Rules.ExcludeEnabled && Rules.ExcludeKeywords.Count() > 0) {
        if (const std::string_view hit = FirstKeywordIn(Rules.ExcludeKeywords, Out.Resolved);
            !hit.empty()) {
            Out.Keyword = hit;
            return Drop(Out, TLinkReason::Exclude);
        }
    }
    if (Rules.IncludeEnabled && Rules.IncludeKeywords.Count() > 0 &&
        !ContainsKeyword(Rules.IncludeKeywords, Out.Resolved))
        return Drop(Out, TLinkReason::Include);

    std::string scheme;
    if (!Out.Mail) {
        TLinkClass kind = ClassifyLink(Out.Resolved);
        scheme = std::move(kind.Scheme);
        Out.TypeLink = std::move(kind.TypeLink);
    }
    if (Out.TypeLink == "0") return Drop(Out, TLinkReason::Scheme);
    Out.LinkParts.Crack(Out.Resolved);
    Out.Web = !Out.Mail && scheme.compare(0, 4, "http") == 0;

    int index = -1;
    if (Out.Web) {
        Out.NewHost = !State.VisitedHosts.Find(Out.LinkParts.HostName, index, Out.HostInsertPos);
        Out.RobotsAsked = !Out.NewHost && State.VisitedHosts.Objects(index) != 0;
    }
    VisitedKeyInto(Out.Resolved, Out.Key);
    if (State.VisitedUrls.Find(Out.Key, Out.UrlIndex, Out.UrlInsertPos)) {
        const TVisit met = TVisit::Of(State.VisitedUrls.Objects(Out.UrlIndex));
        Out.Shorter =
            met.Depth > 0 && Page.Depth + 1 < met.Depth && !State.Stopping && !Page.NoFollow;
        // A refresh queued it before any link named it; the link is still news to the owner.
        if (met.QueuedByRefreshOnly()) {
            Out.QueuedByRefresh = true;
            return true;
        }
        // Met before: news only where the first page held its report back (or a sitemap named
        // it, which reports nothing), or as a shorter path.
        const bool heldBack = (met.Flags & TVisit::kUnwritten) != 0;
        if (!heldBack && !Out.Shorter) return Drop(Out, TLinkReason::Seen);
        Out.Again = true;
    }
    return true;
}

// A link met before that this page may still report (its first page held it back) or reach by a
// shorter path. Written and Reported say whether it is reported now; Followed whether its page
// is now queued, fetched or analysed at the shorter depth.
void DecideAgain(const TPageContext& Page, const TLinkRules& Rules, const TLinkState& State,
                 TLinkDecision& Out) {
    const TVisit met = TVisit::Of(State.VisitedUrls.Objects(Out.UrlIndex));
    Out.ReportReason = Out.FollowReason = TLinkReason::Seen;
    if ((met.Flags & TVisit::kUnwritten) != 0 &&
        SiteAndPath(Rules.LinkReport == reportAllLinks, Rules.LinkReport == reportCurrentSiteLinks,
                    Out.LinkParts.Domain, Page.PageParts, Out.Resolved) == TLinkReason::None) {
        int index = -1;
        int insertPos = -1;
        Out.Written = true;
        Out.Reported =
            !Rules.TypeFilterEnabled || Rules.TypeList.Find(Out.TypeLink, index, insertPos);
        Out.ReportReason = Out.Reported ? TLinkReason::None : TLinkReason::Type;
    }
    if (!Out.Shorter) return;
    switch (met.State) {
        case TVisitState::Met:
            Out.Followed = Page.Depth < State.DepthLimit;
            Out.FollowReason = Out.Followed ? TLinkReason::None : TLinkReason::Depth;
            Out.QueueRobots = Out.Followed && Rules.SeekRobots && !Out.RobotsAsked;
            break;
        case TVisitState::Waiting:
        case TVisitState::Analysed:
            Out.Followed = true;
            Out.FollowReason = TLinkReason::None;
            break;
        case TVisitState::Finished:
            break;
    }
}

}  // namespace

void DecideQueueing(const TPageContext& Page, const TLinkRules& Rules, const TLinkState& State,
                    TLinkDecision& Out) {
    Out.Followed = false;
    Out.QueueRobots = false;
    Out.FollowReason = TLinkReason::None;
    // The depth limit holds for robots.txt requests too: a robots.txt served as a page that
    // links new hosts would otherwise grow a crawl without end.
    if (State.Stopping) {
        Out.FollowReason = TLinkReason::Stopped;
    } else if (Page.NoFollow) {
        Out.FollowReason = TLinkReason::NoFollow;
    } else if (Page.Depth >= State.DepthLimit) {
        Out.FollowReason = TLinkReason::Depth;
    } else {
        Out.QueueRobots = !Out.RobotsAsked && Rules.SeekRobots;
        Out.Followed = true;
    }
}

namespace {

void Decide(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
            const TLinkState& State, const std::string& Value, TResolvedLink&& Link,
            TLinkDecision& Out) {
    Out.Value = Value;
    Out.Mail = Out.Web = Out.Alive = Out.Reported = Out.Written = Out.Followed = false;
    Out.NewHost = Out.QueuedByRefresh = Out.QueueRobots = Out.FollowRule = false;
    Out.RobotsAsked = Out.Again = Out.Shorter = false;
    Out.ReportReason = Out.FollowReason = TLinkReason::None;
    Out.Key.clear();
    Out.Keyword.clear();
    Out.HostInsertPos = Out.UrlIndex = Out.UrlInsertPos = -1;
    if (!Survives(Page, Rules, State, std::move(Link), Out)) return;
    if (Out.Again) {
        DecideAgain(Page, Rules, State, Out);
        return;
    }
    Out.Alive = true;

    const std::string& domain = Out.LinkParts.Domain;
    const TLinkReason followNo =
        FollowNo(Rules,
                 SiteAndPath(Rules.LinkScan == scanAllLinks, Rules.LinkScan == scanInitialSite,
                             domain, StartParts, Out.Resolved),
                 Out);
    // An e-mail address has no site or path of its own; it is reported under every rule.
    const TLinkReason reportNo = Out.Mail ? TLinkReason::None
                                          : SiteAndPath(Rules.LinkReport == reportAllLinks,
                                                        Rules.LinkReport == reportCurrentSiteLinks,
                                                        domain, Page.PageParts, Out.Resolved);
    Out.Written = reportNo == TLinkReason::None;
    int index = -1;
    int insertPos = -1;
    const bool typeAllowed =
        !Rules.TypeFilterEnabled || Rules.TypeList.Find(Out.TypeLink, index, insertPos);
    Out.Reported = Out.Written && typeAllowed;
    Out.ReportReason = !Out.Written  ? reportNo
                       : typeAllowed ? TLinkReason::None
                                     : TLinkReason::Type;

    Out.FollowRule = followNo == TLinkReason::None;
    if (Out.TypeLink != "htm") return;
    if (!Out.Web) {
        Out.FollowReason = TLinkReason::Scheme;  // a page of another scheme, such as ftp://h/l?x
        return;
    }
    if (Out.QueuedByRefresh) {
        Out.Followed = true;  // the refresh has queued it already
        return;
    }
    if (!Out.FollowRule) {
        Out.FollowReason = followNo;
        return;
    }
    DecideQueueing(Page, Rules, State, Out);
}

}  // namespace

void DecideLink(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
                const TLinkState& State, const std::string& Value, TLinkDecision& Out) {
    // The resolved link's room goes back and forth with the decision's, link after link.
    thread_local TResolvedLink link;
    ResolveLinkInto(Page.PageParts, Value, Page.Encoding, link);
    Decide(Page, StartParts, Rules, State, Value, std::move(link), Out);
}

void DecideMailLink(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
                    const TLinkState& State, const std::string& Value, const std::string& Part,
                    bool IsAddress, TLinkDecision& Out) {
    TResolvedLink link;
    link.Mail = true;
    link.Invalid = !IsAddress;
    (IsAddress ? link.Resolved : link.Part) = Part;
    Decide(Page, StartParts, Rules, State, Value, std::move(link), Out);
}

std::string DefaultResultLine(const std::string& TypeLink, const std::string& Url) {
    return "\"" + TypeLink + "\";\"" + Url + "\"";
}
