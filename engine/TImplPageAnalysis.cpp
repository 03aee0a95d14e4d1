// Page analysis of the crawler's state object: head analysis with the meta refresh, link
// extraction, and the decision taken for every link found.

#include "AsciiCase.h"
#include "CharacterReferences.h"
#include "FileTypeCatalogue.h"
#include "LinkClassifier.h"
#include "LinkExtractor.h"
#include "MetaRefresh.h"
#include "MetaRobots.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TMarkedPage.h"

namespace {

// A link value as the browser uses it: character references decoded, into Out, whose buffer
// serves every value of a page.
void DecodeValue(std::string_view Value, std::string& Out) {
    if (MayHoldCharacterReference(Value))
        DecodeCharacterReferences(Value, Out);
    else
        Out.assign(Value);
}

std::string DecodedValue(std::string_view Value) {
    std::string out;
    DecodeValue(Value, out);
    return out;
}

char HrefOrSrcOf(TTagKind TagKind) {
    if (TagKind == tagHref) return 'H';
    if (TagKind == tagSrc) return 'S';
    return ' ';
}

bool EndsWithRobotsTxt(const std::string& url) {
    return url.size() >= 10 && AsciiLowerCase(url.substr(url.size() - 10)) == "robots.txt";
}

}  // namespace

void TImpl::AnalysePage(TPageContext& Page, const std::string& Body, bool FirstFetch,
                        TMarkedPage* Marked) {
    // The head is read for its robots tag whenever robots rules are obeyed, also where nobody
    // listens for its tags.
    if (Owner.OnMetaTag || ObeysRobots()) ParseHeadOf(Page, Body, FirstFetch);
    TLinkDecision decision;
    const std::string pageUrl = Page.Url();
    Log("page received, processing:" + pageUrl);
    // Most pages come marked from their fetch worker; the others are marked here.
    TMarkedPage markedHere;
    if (Marked == nullptr || !Marked->ReadyFor(Body)) {
        markedHere.Prepare(Body);
        Marked = &markedHere;
    }
    TMarkedPage& marked = *Marked;
    if (EndsWithRobotsTxt(pageUrl)) ProcessLink(Page, pageUrl, tagNone, decision);
    if (Dwnld.Stopping || !marked.AnyMarks()) return;
    std::string& text = marked.Text();
    const std::size_t cleanedSize = text.size();
    if (PageHook) PageHook(text);
    // A hook that changed the text's length has moved its bytes away from the map.
    const TCleanMap* source = text.size() == cleanedSize ? &marked.Map(Body) : nullptr;
    std::string value;
    ExtractLinkValues(text, source, [&](std::string_view rawValue, TTagKind tagKind) {
        if (Dwnld.Stopping) return false;
        DecodeValue(rawValue, value);
        // A base value re-splits the page: relative links after it resolve against it, and it
        // becomes the page URL of the links that follow.
        if (tagKind == tagBase) {
            // A relative base ("sub/dir/", "/x/") is resolved against the page first, and is
            // the link then handed on. A base that names no web URL (a script, an address)
            // leaves the page as it was, so the links after it still resolve against the page.
            const TResolvedLink resolved = ResolveLink(Page.PageParts, value);
            TCrackUrl base;
            if (!resolved.Mail && base.Crack(resolved.Resolved)) {
                value = resolved.Resolved;
                Page.PageParts = std::move(base);
                Page.CreditedUrl.clear();
            }
        }
        ProcessLink(Page, value, tagKind, decision);
        return !Dwnld.Stopping;
    });
}

void TImpl::ParseHeadOf(TPageContext& Page, const std::string& Body, bool FirstFetch) {
    const std::string& url = Page.Url();
    const bool robots = ObeysRobots();
    // A page fetched again for a shorter path told its head the first time.
    ParseHead(
        Body,
        [&](const std::string& title) {
            if (FirstFetch && Owner.OnMetaTag)
                Owner.OnMetaTag(Owner, url, Page.Referrer, "TITLE", "TITLE", title, "", "", "", "");
        },
        [&](const THeadTag& tag, bool raise) {
            if (raise && FirstFetch && Owner.OnMetaTag)
                Owner.OnMetaTag(Owner, url, Page.Referrer, tag.TagType, tag.Attrib[0], tag.Value[0],
                                tag.Attrib[1], tag.Value[1], tag.Attrib[2], tag.Value[2]);
            if (robots && MetaTagForbidsFollowing(tag)) Page.NoFollow = true;
            // Refreshes are followed only where the head is read for its tags' listener.
            if (AllowRedirect && Owner.OnMetaTag) FollowRefresh(Page, MetaRefreshTarget(tag));
        });
}

void TImpl::FollowRefresh(const TPageContext& Page, const std::string& Target) {
    if (Target.empty()) return;
    std::string target = DecodedValue(Target);
    // A relative target is resolved against the page like any other link.
    if (AsciiUpperCase(target.substr(0, 4)) != "HTTP") {
        const TResolvedLink resolved = ResolveLink(Page.PageParts, target, Page.Encoding);
        if (resolved.Mail || resolved.Resolved.empty()) return;
        target = resolved.Resolved;
    }
    // A refresh leads no deeper than its page: the target has the page's depth.
    int index = -1;
    int insertPos = -1;
    if (FindVisited(target, index, insertPos, true)) {
        const std::string key(VisitedUrls.Strings(index));
        if (TVisit::Of(VisitedUrls.Objects(index)).Depth > Page.Depth)
            Shorten({key, Page.Depth, Page.Url(), Page.Depth, tagRefresh}, true);
        KeepLink(key, 0, tagRefresh);
        return;
    }
    TVisit visit{.Flags = kQueuedByRefresh, .Depth = Page.Depth};
    VisitedUrls.SetObject(insertPos, visit.Value());
    if (QueuePage(target, {.Referrer = Page.Url(), .Depth = Page.Depth, .TagKind = tagRefresh},
                  nullptr)) {
        visit.State = TVisitState::Waiting;
        visit.Entry = static_cast<std::uint32_t>(Dwnld.LastEntryId);
        VisitedUrls.SetObject(insertPos, visit.Value());
    }
    JournalVisited(target, visit.JournalFlag());
    KeepLink(std::string(VisitedUrls.Strings(insertPos)), 0, tagRefresh);
}

TLinkState TImpl::LinkState() const {
    return TLinkState{VisitedUrls, VisitedHosts, Dwnld.DepthLimit, Dwnld.Stopping};
}

void TImpl::ProcessLink(TPageContext& Page, const std::string& Value, TTagKind TagKind,
                        TLinkDecision& Decision) {
    if (!IsMailtoValue(Value)) {
        DecideLink(Page, StartUrlParts, Rules, LinkState(), Value, Decision);
        ApplyDecision(Page, TagKind, Decision);
        return;
    }
    bool first = true;
    for (const TResolvedLink& part : ResolveMailto(Value)) {
        // A handler that stops the run ends the page's scan, also within one value.
        if (!first && Dwnld.Stopping) return;
        first = false;
        DecideMailLink(Page, StartUrlParts, Rules, LinkState(), Value,
                       part.Invalid ? part.Part : part.Resolved, !part.Invalid, Decision);
        ApplyDecision(Page, TagKind, Decision);
    }
}

void TImpl::ApplyDecision(TPageContext& Page, TTagKind TagKind, TLinkDecision& Decision) {
    // Asked before the link leaves any mark, so that nothing of a withheld link is kept.
    if (!Decision.Resolved.empty() && Owner.WithholdLink &&
        Owner.WithholdLink(Decision.Resolved, Decision.TypeLink))
        return;
    // The host counts as met by any typed web link, also one whose URL was met before (the start
    // URL, a redirect's target).
    if (Decision.Web && Decision.NewHost) {
        VisitedHosts.Insert(Decision.HostInsertPos, Decision.LinkParts.HostName);
        JournalHost(Decision.LinkParts.HostName, false);
    }
    int entry = Decision.UrlIndex;
    if (Decision.Alive) {
        const std::optional<std::string> line = ApplyLink(Page, TagKind, Decision);
        if (!Decision.QueuedByRefresh) entry = Decision.UrlInsertPos;
        // One record of the link: where its visited mark ended up, and its report if any.
        const int flag = TVisit::Of(VisitedUrls.Objects(entry)).JournalFlag();
        if (line)
            JournalReport(Decision, Page.Url(), HrefOrSrcOf(TagKind), *line, flag);
        else
            JournalVisited(Decision.Resolved, flag);
    } else if (Decision.Again) {
        ApplyAgain(Page, TagKind, Decision);
    }
    // Every page link of a page that a shorter path may still reach is kept for it; a nofollow
    // page leads nowhere, whatever its depth.
    if (KeptLinks && !Page.NoFollow && entry >= 0 &&
        TVisit::Of(VisitedUrls.Objects(entry)).Depth > 0)
        KeepLink(std::string(VisitedUrls.Strings(entry)), 1, TagKind);
    if (Owner.OnLinkDecision) Owner.OnLinkDecision(Owner, Decision, Page.Url(), Page.Depth);
}

// The owner hears of a link: OnLinkFound when the type filter admits it, and the results file.
// Its line, or none when the handler wrote none.
std::optional<std::string> TImpl::ReportLink(const TPageContext& Page, TTagKind TagKind,
                                             const TLinkDecision& D, bool& Go) {
    std::string writeToFile = "x";
    if (D.Reported && Owner.OnLinkFound) {
        static const std::string empty;
        const TCrackUrl& parts = D.LinkParts;
        Owner.OnLinkFound(Owner, D.Resolved, D.TypeLink, Page.Url(), D.Web ? parts.HostName : empty,
                          D.Web ? parts.UrlPath : empty, D.Web ? parts.UrlPathWithFile : empty,
                          D.Web ? parts.ExtraInfos : empty, writeToFile, HrefOrSrcOf(TagKind), 0,
                          Go);
    }
    // "x" stays the mark of the usual line until a file needs its text: most runs write none.
    if (writeToFile == "x") {
        if (ResultsFile) WriteResultLine(DefaultResultLine(D.TypeLink, D.Resolved));
    } else if (!writeToFile.empty()) {
        WriteResultLine(writeToFile);
    }
    return writeToFile;
}

// The effects of a live link, in the order the owner sees them: visited lists, OnLinkFound and
// the results file, then the queue.
std::optional<std::string> TImpl::ApplyLink(const TPageContext& Page, TTagKind TagKind,
                                            TLinkDecision& Decision) {
    const TLinkDecision& d = Decision;
    const int entry = d.QueuedByRefresh ? d.UrlIndex : d.UrlInsertPos;
    TVisit visit;
    if (d.QueuedByRefresh) {
        // Queued already, so a page that is followed; this first link is its only report.
        visit = TVisit::Of(VisitedUrls.Objects(entry));
        visit.Flags = TVisit::kFollowedPage;
    } else {
        VisitedUrls.Insert(entry, d.Key);
    }
    // A later page that the report rule admits may still report it.
    if (!d.Written && !d.Mail) visit.Flags |= TVisit::kUnwritten;
    VisitedUrls.SetObject(entry, visit.Value());

    std::optional<std::string> written;
    bool go = true;
    if (d.Written) written = ReportLink(Page, TagKind, d, go);
    if (!d.Web || d.TypeLink != "htm") return written;
    if (!go) {
        Decision.Followed = false;
        Decision.FollowReason = TLinkReason::Caller;
        return written;
    }
    visit.Flags |= TVisit::kFollowedPage;
    VisitedUrls.SetObject(entry, visit.Value());
    if (d.QueuedByRefresh) {
        if (d.Shorter) Shorten({d.Resolved, Page.Depth + 1, Page.Url(), Page.Depth, TagKind}, true);
        return written;
    }
    if (!d.FollowRule) return written;
    // The handler may have stopped the run or queued work: decide the queueing afresh.
    DecideQueueing(Page, Rules, LinkState(), Decision);
    // A link of a nofollow page has no path yet: any page that links it is a shorter one.
    visit.Depth = d.FollowReason == TLinkReason::NoFollow ? TVisit::kMaxDepth : Page.Depth + 1;
    // A full queue defers the link to the scheduler's overflow; only a failed spill loses it.
    if (d.Followed) {
        if (QueuePage(d.Resolved,
                      {.Referrer = Page.Url(), .Depth = visit.Depth, .TagKind = TagKind},
                      &d.LinkParts)) {
            visit.State = TVisitState::Waiting;
            visit.Entry = static_cast<std::uint32_t>(Dwnld.LastEntryId);
        } else {
            Decision.Followed = false;
            Decision.FollowReason = TLinkReason::Queue;
        }
    }
    VisitedUrls.SetObject(entry, visit.Value());
    return written;
}

// A link met before that this page reports after all, or reaches by a shorter path.
void TImpl::ApplyAgain(const TPageContext& Page, TTagKind TagKind, TLinkDecision& Decision) {
    const TLinkDecision& d = Decision;
    if (d.Written) {
        TVisit visit = TVisit::Of(VisitedUrls.Objects(d.UrlIndex));
        visit.Flags &= ~TVisit::kUnwritten;
        VisitedUrls.SetObject(d.UrlIndex, visit.Value());
        // Whatever its handler says, a page the run has queued already stays queued.
        bool go = true;
        const std::optional<std::string> line = ReportLink(Page, TagKind, d, go);
        JournalReport(d, Page.Url(), HrefOrSrcOf(TagKind), *line, visit.JournalFlag());
    }
    if (d.Shorter)
        Shorten({std::string(VisitedUrls.Strings(d.UrlIndex)), Page.Depth + 1, Page.Url(),
                 Page.Depth, TagKind},
                true);
}
