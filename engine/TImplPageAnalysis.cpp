// Page analysis of the crawler's state object: head analysis with the meta refresh, link
// extraction, and the decision taken for every link found.

#include "AsciiCase.h"
#include "CharacterReferences.h"
#include "FileTypeCatalogue.h"
#include "LinkClassifier.h"
#include "LinkExtractor.h"
#include "THttpScan.h"
#include "TImpl.h"

namespace {

// A link value as the browser uses it: character references decoded.
std::string DecodedValue(const std::string& Value) {
    return MayHoldCharacterReference(Value) ? DecodeCharacterReferences(Value) : Value;
}

char HrefOrSrcOf(TTagKind TagKind) {
    if (TagKind == tagHref) return 'H';
    if (TagKind == tagSrc) return 'S';
    return ' ';
}

bool EndsWithRobotsTxt(const std::string& url) {
    return url.size() >= 10 && AsciiLowerCase(url.substr(url.size() - 10)) == "robots.txt";
}

// The robots.txt of the link's own server: same scheme and port, so a site on another port or
// behind https is asked, not port 80 of its host.
std::string RobotsTxtUrl(const TCrackUrl& Link) {
    return OriginOf(Link) + "/robots.txt";
}

}  // namespace

void TImpl::AnalysePage(TPageContext& Page, const std::string& Body) {
    if (Owner.OnMetaTag) ParseHeadOf(Page, Body);
    TLinkDecision decision;
    const std::string pageUrl = Page.Url();
    Log("page received, processing:" + pageUrl);
    std::string text = CleanText(Body, true, false);
    if (EndsWithRobotsTxt(pageUrl)) ProcessLink(Page, pageUrl, tagNone, decision);
    if (Dwnld.Stopping || !MarkTags(text)) return;
    if (PageHook) PageHook(text);
    ExtractLinks(text, [&](const std::string& rawValue, TTagKind tagKind) {
        if (Dwnld.Stopping) return false;
        const std::string value = DecodedValue(rawValue);
        // A base value re-splits the page: relative links after it resolve against it, and it
        // becomes the page URL of the links that follow.
        if (tagKind == tagBase) {
            // A base that is no URL (such as a bare folder) leaves the page as it was, so the
            // links after it still resolve against the page itself.
            TCrackUrl base;
            if (base.Crack(value)) {
                Page.PageParts = std::move(base);
                Page.CreditedUrl.clear();
            }
        }
        ProcessLink(Page, value, tagKind, decision);
        return !Dwnld.Stopping;
    });
}

void TImpl::ParseHeadOf(const TPageContext& Page, const std::string& Body) {
    const std::string& url = Page.Url();
    ParseHead(
        Body,
        [&](const std::string& title) {
            if (Owner.OnMetaTag)
                Owner.OnMetaTag(Owner, url, Page.Referrer, "TITLE", "TITLE", title, "", "", "", "");
        },
        [&](const THeadTag& tag, bool raise) {
            if (raise && Owner.OnMetaTag)
                Owner.OnMetaTag(Owner, url, Page.Referrer, tag.TagType, tag.Attrib[0], tag.Value[0],
                                tag.Attrib[1], tag.Value[1], tag.Attrib[2], tag.Value[2]);
            if (AllowRedirect) FollowRefresh(Page, MetaRefreshTarget(tag));
        });
}

void TImpl::FollowRefresh(const TPageContext& Page, const std::string& Target) {
    if (Target.empty()) return;
    std::string target = DecodedValue(Target);
    // A relative target is resolved against the page like any other link.
    if (AsciiUpperCase(target.substr(0, 4)) != "HTTP") {
        const TResolvedLink resolved = ResolveLink(Page.PageParts, target);
        if (resolved.Mail || resolved.Resolved.empty()) return;
        target = resolved.Resolved;
    }
    int index = -1;
    int insertPos = -1;
    if (VisitedUrls.Find(target, index, insertPos, true)) return;
    VisitedUrls.SetObject(insertPos, kQueuedByRefresh);
    JournalVisited(target, kQueuedByRefresh);
    Dwnld.AddUrl(target, {.Referrer = Page.Url(), .Depth = Page.Depth, .TagKind = tagRefresh});
}

TLinkState TImpl::LinkState() const {
    return TLinkState{VisitedUrls, VisitedHosts, Dwnld.DepthLimit, Dwnld.Stopping};
}

void TImpl::ProcessLink(TPageContext& Page, const std::string& Value, TTagKind TagKind,
                        TLinkDecision& Decision) {
    DecideLink(Page, StartUrlParts, Rules, LinkState(), Value, Decision);
    // The host counts as met by any typed web link, also one whose URL was met before (the start
    // URL, a redirect's target): a later page of that host asks for no robots.txt.
    if (Decision.Web && Decision.NewHost) {
        VisitedHosts.Insert(Decision.HostInsertPos, Decision.LinkParts.HostName);
        JournalHost(Decision.LinkParts.HostName);
    }
    if (Decision.Alive) {
        const std::optional<std::string> line = ApplyLink(Page, TagKind, Decision);
        // One record of the link: where its visited mark ended up, and its report if any.
        const int entry = Decision.QueuedByRefresh ? Decision.UrlIndex : Decision.UrlInsertPos;
        const int flag = static_cast<int>(VisitedUrls.Objects(entry));
        if (line)
            JournalReport(Decision, Page.Url(), HrefOrSrcOf(TagKind), *line, flag);
        else
            JournalVisited(Decision.Resolved, flag);
    }
    if (Owner.OnLinkDecision) Owner.OnLinkDecision(Owner, Decision, Page.Url(), Page.Depth);
}

// The effects of a live link, in the order the owner sees them: visited lists, OnLinkFound and
// the results file, then the queue.
std::optional<std::string> TImpl::ApplyLink(const TPageContext& Page, TTagKind TagKind,
                                            TLinkDecision& Decision) {
    const TLinkDecision& d = Decision;
    const int entry = d.QueuedByRefresh ? d.UrlIndex : d.UrlInsertPos;
    if (d.QueuedByRefresh)
        VisitedUrls.SetObject(entry, 1);
    else
        VisitedUrls.Insert(entry, d.Resolved);

    std::optional<std::string> written;
    bool go = true;
    if (d.Written) {
        std::string writeToFile = "x";
        if (d.Reported && Owner.OnLinkFound) {
            static const std::string empty;
            const TCrackUrl& parts = d.LinkParts;
            Owner.OnLinkFound(
                Owner, d.Resolved, d.TypeLink, Page.Url(), d.Web ? parts.HostName : empty,
                d.Web ? parts.UrlPath : empty, d.Web ? parts.UrlPathWithFile : empty,
                d.Web ? parts.ExtraInfos : empty, writeToFile, HrefOrSrcOf(TagKind), 0, go);
        }
        if (writeToFile == "x") writeToFile = DefaultResultLine(d.TypeLink, d.Resolved);
        if (!writeToFile.empty()) WriteResultLine(writeToFile);
        written = std::move(writeToFile);
    }
    if (!d.Web || d.TypeLink != "htm") return written;
    if (!go) {
        Decision.Followed = false;
        Decision.FollowReason = TLinkReason::Caller;
        return written;
    }
    VisitedUrls.SetObject(entry, 1);  // a page that is followed
    if (!d.FollowRule || d.QueuedByRefresh) return written;
    // The handler may have stopped the run or queued work: decide the queueing afresh.
    DecideQueueing(Page, Rules, LinkState(), Decision);
    if (d.QueueRobots)
        Dwnld.AddUrl(RobotsTxtUrl(d.LinkParts), {.Referrer = "",
                                                 .Depth = Page.Depth + 1,
                                                 .RetryCount = Dwnld.Retries,
                                                 .TagKind = TagKind});
    if (!d.Followed) return written;
    // A full queue defers the link to the scheduler's overflow; only a failed spill loses it.
    if (!Dwnld.AddUrl(d.Resolved,
                      {.Referrer = Page.Url(), .Depth = Page.Depth + 1, .TagKind = TagKind})) {
        Decision.Followed = false;
        Decision.FollowReason = TLinkReason::Queue;
    }
    return written;
}
