#pragma once
// The scheduler's queue of URLs still to fetch: unsorted, duplicates allowed, each entry owning
// its TUrlObject. Entries are normally taken from the front, so the queue is first in, first out.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "EngineTypes.h"

// What the scheduler keeps with a queued URL. Callers name the fields they set
// ({.Referrer = page, .Depth = 2}); the rest keep these defaults.
struct TUrlObject {
    std::string Referrer;
    int Depth = 1;               // the start page has depth 1
    int RetryCount = 0;          // attempts of this URL that have already failed
    TTagKind TagKind = tagNone;  // where the link came from, carried through
    TFetchMode FetchMode = fetchPage;
    int CountArea = 0;
    bool Priority = false;  // taken before older entries
    // The entry's number in the run, given by the scheduler when it is queued (0: not yet).
    std::uint64_t Id = 0;
};

// Where a redirect that the scheduler follows stands. Only an entry put back for its next hop
// has one (AskedUrl not empty); such an entry stays in the queue in memory, never in Overflow.
struct TRedirectChain {
    std::string AskedUrl;            // the entry's own URL, which the page stays credited to
    int Hops = 0;                    // redirects followed so far
    std::vector<std::string> Trail;  // the addresses that answered with a redirect
    bool Loop = false;               // one of them redirected a second time
};

class TUrlInQueue {
public:
    struct Entry {
        std::string Url;  // for a hop, the address it leads to
        TUrlObject Object;
        TRedirectChain Chain{};
    };

    int Count() const { return static_cast<int>(m_entries.size()); }
    void Add(std::string Url, TUrlObject Object);
    // Puts the next hop of an entry's redirect before every other entry: it is under way.
    void AddFirst(std::string Url, TUrlObject Object, TRedirectChain Chain);
    const Entry& At(int Index) const { return m_entries[static_cast<std::size_t>(Index)]; }
    Entry Take(int Index);
    void Clear() { m_entries.clear(); }

private:
    std::deque<Entry> m_entries;
};
