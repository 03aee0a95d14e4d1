#include "LinkDecision.h"

#include "LinkClassifier.h"
#include "UrlEncoding.h"

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
        case TLinkReason::Caller:
            return "caller";
        case TLinkReason::Stopped:
            return "stopped";
    }
    return "";
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

bool Drop(TLinkDecision& Out, TLinkReason Reason) {
    Out.ReportReason = Out.FollowReason = Reason;
    return false;
}

// Resolution, keywords, typing and the visited look-up; false when the link is dropped.
bool Survives(const TPageContext& Page, const TLinkRules& Rules, const TLinkState& State,
              TLinkDecision& Out) {
    TResolvedLink link = ResolveLink(Page.PageParts, Out.Value);
    Out.Resolved = std::move(link.Resolved);
    Out.Mail = link.Mail;
    Out.TypeLink = link.Mail ? "mail" : "0";
    if (Out.Resolved.empty()) return Drop(Out, TLinkReason::Scheme);
    if (Rules.ExcludeEnabled && Rules.ExcludeKeywords.Count() > 0) {
        if (const std::string* hit = FirstKeywordIn(Rules.ExcludeKeywords, Out.Resolved)) {
            Out.Keyword = *hit;
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
    if (Out.Web)
        Out.NewHost = !State.VisitedHosts.Find(Out.LinkParts.HostName, index, Out.HostInsertPos);
    if (State.VisitedUrls.Find(Out.Resolved, Out.UrlIndex, Out.UrlInsertPos)) {
        if (State.VisitedUrls.Objects(Out.UrlIndex) != kQueuedByRefresh)
            return Drop(Out, TLinkReason::Seen);
        // A refresh queued it before any link named it; the link is still news to the owner.
        Out.QueuedByRefresh = true;
    }
    return true;
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
    } else if (Page.Depth >= State.DepthLimit) {
        Out.FollowReason = TLinkReason::Depth;
    } else {
        Out.QueueRobots = Out.NewHost && Rules.SeekRobots;
        Out.Followed = true;
    }
}

void DecideLink(const TPageContext& Page, const TCrackUrl& StartParts, const TLinkRules& Rules,
                const TLinkState& State, const std::string& Value, TLinkDecision& Out) {
    Out.Value = Value;
    Out.Mail = Out.Web = Out.Alive = Out.Reported = Out.Written = Out.Followed = false;
    Out.NewHost = Out.QueuedByRefresh = Out.QueueRobots = Out.FollowRule = false;
    Out.ReportReason = Out.FollowReason = TLinkReason::None;
    Out.Keyword.clear();
    Out.HostInsertPos = Out.UrlIndex = Out.UrlInsertPos = -1;
    if (!Survives(Page, Rules, State, Out)) return;
    Out.Alive = true;

    const std::string& domain = Out.LinkParts.Domain;
    const TLinkReason followNo =
        SiteAndPath(Rules.LinkScan == scanAllLinks, Rules.LinkScan == scanInitialSite, domain,
                    StartParts, Out.Resolved);
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

std::string DefaultResultLine(const std::string& TypeLink, const std::string& Url) {
    return "\"" + TypeLink + "\";\"" + Url + "\"";
}
