#pragma once
// What a run needs, beside its visited list, so that every page gets the depth of its shortest
// path from the start page whatever order downloads finish in. Downloads run side by side, so a
// page may be analysed at depth 5 while the page that links it at depth 3 is still on its way.
//
// The ledger counts the queue entries still waiting (queued or being fetched) at each depth; it
// holds nothing per entry, so the queue's spill file keeps its worth. A
// shorter path to an analysed page can only come from a waiting entry above it, so a page
// analysed while one waits keeps its page links here; when a shorter path turns up, they are
// followed again from the new depth without fetching the page again. Once nothing waits above a
// kept page, its links can never be needed and are let go, so the memory lasts only as long as
// downloads overtake each other. GUI thread only; owned by the crawler's state object.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "EngineTypes.h"

// A page link kept for a later, shorter path: the link's URL as the visited list has it, how
// much deeper it lies than its page (1 for a link, 0 for a meta refresh or a redirect's target)
// and where it was found.
struct TKeptLink {
    std::string Url;
    unsigned char Step = 1;
    TTagKind TagKind = tagHref;
};

class TDepthLedger {
public:
    void Clear();

    // A page waits at Depth (its VisitedUrls entry keeps that depth and its queue entry), has a
    // shorter path now, or is no longer waiting. Done lets go of the links that can no longer be
    // needed, unless a page is being analysed.
    void Queued(int Depth);
    void Moved(int From, int To);
    void Done(int Depth);
    // Entries that no page of the visited list stands for (a host's robots.txt, queued as a
    // page) are known by the low 32 bits of their numbers. DoneOther is false for any other
    // entry; Next is the entry that retries it (0: none).
    void QueuedOther(std::uint32_t Id, int Depth);
    bool DoneOther(std::uint32_t Id, std::uint32_t Next);
    // Whether an entry waits above Depth: a page analysed at Depth may still be reached by a
    // shorter path.
    bool ShorterMayCome(int Depth) const;

    // Starts keeping the links of Page, analysed at Depth; returns where to put them. The
    // vector stays in place until Release: nothing is let go while a page is analysed.
    std::vector<TKeptLink>& Keep(std::string_view Page, int Depth);
    void Hold() { ++m_holds; }
    void Release();
    // The kept links of Page, null when none are kept; Depth moves the page to a new depth.
    std::vector<TKeptLink>* Kept(std::string_view Page, int Depth);

    int Waiting() const { return m_waiting; }
    std::size_t KeptPages() const { return m_kept.size(); }
    // Bytes held, for the benchmark.
    std::size_t MemoryBytes() const;

private:
    struct TKeptPage {
        int Depth = 0;
        std::vector<TKeptLink> Links;
    };
    void LetGo();

    std::map<int, int> m_waitingAt;  // depth: entries waiting there (none listed with 0)
    int m_waiting = 0;
    std::unordered_map<std::uint32_t, int> m_otherDepth;
    int m_holds = 0;
    std::unordered_map<std::string, TKeptPage> m_kept;
    // Kept pages by depth; a page that a shorter path moved is listed at both depths.
    std::map<int, std::vector<std::string>> m_keptAt;
};
