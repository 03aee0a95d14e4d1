// Shortest-path depths of the crawler's state object: a page's depth is that of the shortest path
// to it found so far, whatever the order in which downloads finish. See TDepthLedger.h.

#include <deque>

#include "THttpScan.h"
#include "TImpl.h"

namespace {

std::uint32_t EntryNumber(std::uint64_t Id) {
    return static_cast<std::uint32_t>(Id);
}

// The robots.txt of the link's own server: same scheme and port, so a site on another port or
// behind https is asked, not port 80 of its host.
std::string RobotsTxtUrl(const TCrackUrl& Link) {
    return OriginOf(Link) + "/robots.txt";
}

}  // namespace

bool TImpl::QueuePage(const std::string& Url, TUrlObject Entry, const TCrackUrl* Parts) {
    if (Rules.SeekRobots) {
        TCrackUrl cracked;
        if (!Parts) {
            cracked.Crack(Url);
            Parts = &cracked;
        }
        int index = -1;
        int insertPos = -1;
        // A host's robots.txt comes with its first page that is followed, whichever page of the
        // run meets the host first.
        if (VisitedHosts.Find(Parts->HostName, index, insertPos) &&
            VisitedHosts.Objects(index) == 0) {
            VisitedHosts.SetObject(index, 1);
            JournalHost(Parts->HostName, true);
            if (Dwnld.AddUrl(RobotsTxtUrl(*Parts), {.Referrer = "",
                                                    .Depth = Entry.Depth,
                                                    .RetryCount = Dwnld.Retries,
                                                    .TagKind = Entry.TagKind}))
                Ledger.QueuedOther(EntryNumber(Dwnld.LastEntryId), Entry.Depth);
        }
    }
    const int depth = Entry.Depth;
    if (!Dwnld.AddUrl(Url, std::move(Entry))) return false;
    Ledger.Queued(depth);
    NoteSitemapServer(Url, depth);
    return true;
}

std::vector<TKeptLink>* TImpl::BeginPage(const THttpGet& Page, int& Depth) {
    int index = -1;
    int insertPos = -1;
    if (!FindVisited(Page.UrlParts.Url, index, insertPos)) return nullptr;
    const TVisit visit = TVisit::Of(VisitedUrls.Objects(index));
    if (visit.Entry != EntryNumber(Page.EntryId) || visit.Depth == 0) return nullptr;
    Depth = visit.Depth;
    if (!Ledger.ShorterMayCome(Depth)) return nullptr;
    return &Ledger.Keep(VisitedUrls.Strings(index), Depth);
}

void TImpl::KeepLink(const std::string& Url, unsigned char Step, TTagKind TagKind) {
    if (KeptLinks) KeptLinks->push_back({Url, Step, TagKind});
}

void TImpl::Shorten(TShorterPath Path, bool Told) {
    // Breadth first, so that a page reached twice in one go is changed at its shorter depth
    // first.
    std::deque<TShorterPath> paths;
    paths.push_back(std::move(Path));
    bool tell = !Told;
    for (; !paths.empty(); paths.pop_front(), tell = true) {
        const TShorterPath& step = paths.front();
        int index = -1;
        int insertPos = -1;
        if (!FindVisited(step.Url, index, insertPos)) continue;
        TVisit visit = TVisit::Of(VisitedUrls.Objects(index));
        if (visit.Depth == 0 || step.Depth >= visit.Depth) continue;
        const std::string url(VisitedUrls.Strings(index));
        const int before = visit.Depth;
        visit.Depth = step.Depth;
        const TUrlObject entry{
            .Referrer = step.Referrer, .Depth = step.Depth, .TagKind = step.TagKind};
        switch (visit.State) {
            case TVisitState::Met:
                if (step.Depth <= Dwnld.DepthLimit && !Dwnld.Stopping &&
                    QueuePage(url, entry, nullptr)) {
                    visit.State = TVisitState::Waiting;
                    visit.Entry = EntryNumber(Dwnld.LastEntryId);
                }
                break;
            case TVisitState::Waiting:
                Ledger.Moved(before, step.Depth);
                break;
            case TVisitState::Analysed:
                if (std::vector<TKeptLink>* kept = Ledger.Kept(url, step.Depth)) {
                    for (const TKeptLink& link : *kept)
                        paths.push_back(
                            {link.Url, step.Depth + link.Step, url, step.Depth, link.TagKind});
                } else if (!Dwnld.Stopping) {
                    // Its links were not kept (a resumed run has none): the page is fetched once
                    // more, so that they are followed from here.
                    TUrlObject again = entry;
                    again.FetchMode = fetchAgain;
                    if (QueuePage(url, std::move(again), nullptr)) {
                        visit.State = TVisitState::Waiting;
                        visit.Entry = EntryNumber(Dwnld.LastEntryId);
                    }
                }
                break;
            case TVisitState::Finished:
                break;
        }
        VisitedUrls.SetObject(index, visit.Value());
        JournalVisited(url, visit.JournalFlag());
        const bool followed =
            visit.State == TVisitState::Waiting || visit.State == TVisitState::Analysed;
        if (tell && followed && Owner.OnLinkDecision) {
            TLinkDecision decision;
            decision.Value = decision.Resolved = url;
            decision.TypeLink = "htm";
            decision.Web = decision.Followed = true;
            decision.ReportReason = TLinkReason::Seen;
            decision.UrlIndex = index;
            Owner.OnLinkDecision(Owner, decision, step.Referrer, step.PageDepth);
        }
    }
}

void TImpl::EntryDone(std::uint64_t Id, TEntryOutcome Outcome, const std::string& Url) {
    const std::uint32_t entry = EntryNumber(Id);
    // A retry is queued before its entry is done with: it is the last entry queued.
    const std::uint32_t next =
        Outcome == TEntryOutcome::Retried ? EntryNumber(Dwnld.LastEntryId) : 0;
    int index = -1;
    int insertPos = -1;
    bool page = false;
    if (FindVisited(Url, index, insertPos)) {
        TVisit visit = TVisit::Of(VisitedUrls.Objects(index));
        page = visit.State == TVisitState::Waiting && visit.Entry == entry;
        if (page) {
            visit.Entry = next;
            if (next == 0) {
                visit.State = Outcome == TEntryOutcome::Fetched ? TVisitState::Analysed
                                                                : TVisitState::Finished;
                JournalVisited(VisitedUrls.Strings(index), visit.JournalFlag());
                Ledger.Done(visit.Depth);
            }
            VisitedUrls.SetObject(index, visit.Value());
        }
    }
    if (!page) Ledger.DoneOther(entry, next);
    JournalDone(Id, Outcome);
}
