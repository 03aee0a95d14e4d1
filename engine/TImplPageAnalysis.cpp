// Page analysis of the crawler's state object: head analysis with the meta refresh, link
// extraction, and the decision taken for every link found.

#include "AsciiCase.h"
#include "CharacterReferences.h"
#include "FileTypeCatalogue.h"
#include "LinkClassifier.h"
#include "LinkExtractor.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "UrlEncoding.h"

namespace {

// Flag of a VisitedUrls entry that a meta refresh queued before any link of a page named it:
// the first link to it is still reported (it is queued already).
constexpr std::intptr_t kQueuedByRefresh = 2;

// A link value as the browser uses it: character references decoded.
std::string DecodedValue(const std::string& Value) {
    return MayHoldCharacterReference(Value) ? DecodeCharacterReferences(Value) : Value;
}

char HrefOrSrcOf(unsigned char TagKind) {
    if (TagKind == kHrefMarker) return 'H';
    if (TagKind == kSrcMarker) return 'S';
    return ' ';
}

bool EndsWithRobotsTxt(const std::string& url) {
    return url.size() >= 10 && AsciiLowerCase(url.substr(url.size() - 10)) == "robots.txt";
}

std::string DefaultResultLine(const std::string& TypeLink, const std::string& Resolved) {
    return "\"" + TypeLink + "\";\"" + Resolved + "\"";
}

// The robots.txt of the link's own server: same scheme and port, so a site on another port or
// behind https is asked, not port 80 of its host.
std::string RobotsTxtUrl(const TCrackUrl& Link) {
    return OriginOf(Link) + "/robots.txt";
}

}  // namespace

void TImpl::AnalysePage(TPageContext& Page, const std::string& Body) {
    if (Owner.OnMetaTag) ParseHeadOf(Page, Body);
    TCrackUrl linkParts;
    linkParts.Crack(Page.Referrer);
    const std::string pageUrl = Page.Url();
    Log("page received, processing:" + pageUrl);
    std::string text = CleanText(Body, true, false);
    if (EndsWithRobotsTxt(pageUrl)) ProcessLink(Page, pageUrl, 0, linkParts, kNoTag);
    if (Dwnld.Stopping || !MarkTags(text)) return;
    if (PageHook) PageHook(text);
    ExtractLinks(text, [&](const std::string& rawValue, unsigned char tagKind) {
        if (Dwnld.Stopping) return false;
        const std::string value = DecodedValue(rawValue);
        // A base value re-splits the page: relative links after it resolve against it, and it
        // becomes the page URL of the links that follow.
        if (tagKind == kBaseMarker) {
            // A base that is no URL (such as a bare folder) leaves the page as it was, so the
            // links after it still resolve against the page itself.
            TCrackUrl base;
            if (base.Crack(value)) {
                Page.PageParts = std::move(base);
                Page.CreditedUrl.clear();
            }
        }
        ProcessLink(Page, value, 0, linkParts, tagKind);
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
    Dwnld.AddUrl(target, Page.Url(), Page.Depth, 0, kRefreshTag, 1, 0, false);
}

void TImpl::ProcessLink(TPageContext& Page, const std::string& Value, int CountArea,
                        TCrackUrl& LinkParts, unsigned char TagKind) {
    const TResolvedLink link = ResolveLink(Page.PageParts, Value);
    const std::string& resolved = link.Resolved;
    bool go = !resolved.empty();
    std::string typeLink = link.Mail ? "mail" : "0";
    std::string scheme;
    bool web = true;

    if (ExcludeEnabled && ExcludeKeywords.Count() > 0 && ContainsKeyword(ExcludeKeywords, resolved))
        go = false;
    if (IncludeEnabled && IncludeKeywords.Count() > 0 &&
        !ContainsKeyword(IncludeKeywords, resolved))
        go = false;
    if (go) {
        if (typeLink == "mail") {
            web = false;
        } else {
            TLinkClass kind = ClassifyLink(resolved);
            scheme = std::move(kind.Scheme);
            typeLink = std::move(kind.TypeLink);
        }
        if (typeLink == "0")
            go = false;
        else
            LinkParts.Crack(resolved);
        web = web && scheme.compare(0, 4, "http") == 0;
    }

    int index = -1;
    int insertPos = -1;
    bool newHost = false;
    if (go && web) newHost = !VisitedHosts.Find(LinkParts.HostName, index, insertPos, true);
    int entry = -1;
    bool queuedByRefresh = false;
    if (go) {
        if (!VisitedUrls.Find(resolved, index, insertPos, true)) {
            entry = insertPos;
        } else if (VisitedUrls.Objects(index) == kQueuedByRefresh) {
            // A refresh queued it before any link named it; the link is still news to the owner.
            queuedByRefresh = true;
            entry = index;
            VisitedUrls.SetObject(entry, 1);
        } else {
            go = false;
        }
    }
    if (!go) return;

    const bool sameSite = LinkParts.Domain == StartUrlParts.Domain;
    // UrlPath is decoded; links are percent-encoded (NormalizeUrl).
    const bool inStartPath =
        sameSite &&
        resolved.find(PercentEncodeNonAscii(StartUrlParts.UrlPath)) != std::string::npos;
    const bool samePageSite = LinkParts.Domain == Page.PageParts.Domain;
    const bool inPagePath =
        samePageSite &&
        resolved.find(PercentEncodeNonAscii(Page.PageParts.UrlPath)) != std::string::npos;
    const bool follow = LinkScan == scanAllLinks || (LinkScan == scanInitialSite && sameSite) ||
                        (LinkScan == scanInitialPath && inStartPath);
    // An e-mail address has no site or path of its own; it is reported under every rule.
    const bool report = link.Mail || LinkReport == reportAllLinks ||
                        (LinkReport == reportCurrentSiteLinks && samePageSite) ||
                        (LinkReport == reportCurrentPathLinks && inPagePath);

    if (report) {
        std::string writeToFile = "x";
        const bool typeAllowed =
            !TypeFilterEnabled || TypeList.Find(typeLink, index, insertPos, false);
        if (typeAllowed && Owner.OnLinkFound) {
            static const std::string empty;
            Owner.OnLinkFound(Owner, resolved, typeLink, Page.Url(),
                              web ? LinkParts.HostName : empty, web ? LinkParts.UrlPath : empty,
                              web ? LinkParts.UrlPathWithFile : empty,
                              web ? LinkParts.ExtraInfos : empty, writeToFile, HrefOrSrcOf(TagKind),
                              CountArea, go);
        }
        if (writeToFile == "x")
            WriteResultLine(DefaultResultLine(typeLink, resolved));
        else if (!writeToFile.empty())
            WriteResultLine(writeToFile);
    }
    if (!go || !web || typeLink != "htm") return;

    VisitedUrls.SetObject(entry, 1);  // a page that is followed
    if (!follow || queuedByRefresh) return;
    // The depth and queue limits hold for robots.txt requests too: a robots.txt served as a page
    // that links new hosts would otherwise grow a crawl without end.
    const bool queueable =
        Dwnld.QueueCount() < MaxQueueSize && Page.Depth < Dwnld.DepthLimit && !Dwnld.Stopping;
    if (newHost && SeekRobots && queueable)
        Dwnld.AddUrl(RobotsTxtUrl(LinkParts), "", Page.Depth + 1, Dwnld.Retries, TagKind, 1,
                     CountArea, false);
    if (queueable && Dwnld.QueueCount() < MaxQueueSize)
        Dwnld.AddUrl(resolved, Page.Url(), Page.Depth + 1, 0, TagKind, 1, CountArea, false);
}
