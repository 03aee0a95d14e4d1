#include "TDepthLedger.h"

void TDepthLedger::Clear() {
    m_entryDepth.clear();
    m_waitingAt.clear();
    m_waiting = 0;
    m_kept.clear();
    m_keptAt.clear();
    m_holds = 0;
}

void TDepthLedger::Queued(std::uint32_t Id, int Depth) {
    const auto [it, added] = m_entryDepth.try_emplace(Id, Depth);
    if (!added) return;
    ++m_waitingAt[Depth];
    ++m_waiting;
}

void TDepthLedger::Shortened(std::uint32_t Id, int Depth) {
    const auto it = m_entryDepth.find(Id);
    if (it == m_entryDepth.end() || Depth >= it->second) return;
    if (--m_waitingAt[it->second] == 0) m_waitingAt.erase(it->second);
    ++m_waitingAt[Depth];
    it->second = Depth;
}

void TDepthLedger::Done(std::uint32_t Id, std::uint32_t Next) {
    const auto it = m_entryDepth.find(Id);
    if (it == m_entryDepth.end()) return;
    const int depth = it->second;
    m_entryDepth.erase(it);
    if (--m_waitingAt[depth] == 0) m_waitingAt.erase(depth);
    --m_waiting;
    // A retry waits where the entry it repeats did.
    if (Next != 0) {
        const auto next = m_entryDepth.find(Next);
        if (next != m_entryDepth.end() && depth < next->second) Shortened(Next, depth);
    }
    LetGo();
}

int TDepthLedger::DepthOf(std::uint32_t Id) const {
    const auto it = m_entryDepth.find(Id);
    return it == m_entryDepth.end() ? 0 : it->second;
}

bool TDepthLedger::ShorterMayCome(int Depth) const {
    return !m_waitingAt.empty() && m_waitingAt.begin()->first < Depth;
}

std::vector<TKeptLink>& TDepthLedger::Keep(const std::string& Page, int Depth) {
    TKeptPage& page = m_kept[Page];
    page.Depth = Depth;
    page.Links.clear();
    m_keptAt[Depth].push_back(Page);
    return page.Links;
}

std::vector<TKeptLink>* TDepthLedger::Kept(const std::string& Page, int Depth) {
    const auto it = m_kept.find(Page);
    if (it == m_kept.end()) return nullptr;
    if (Depth < it->second.Depth) {
        it->second.Depth = Depth;
        m_keptAt[Depth].push_back(Page);
    }
    return &it->second.Links;
}

void TDepthLedger::Release() {
    if (m_holds > 0 && --m_holds == 0) LetGo();
}

void TDepthLedger::LetGo() {
    if (m_holds > 0) return;
    // Pages at the shallowest waiting depth or above it can no longer be reached by a shorter
    // path: a path found from now on is at least as long.
    const bool none = m_waitingAt.empty();
    const int shallowest = none ? 0 : m_waitingAt.begin()->first;
    while (!m_keptAt.empty() && (none || m_keptAt.begin()->first <= shallowest)) {
        for (const std::string& url : m_keptAt.begin()->second) {
            const auto it = m_kept.find(url);
            if (it != m_kept.end() && (none || it->second.Depth <= shallowest)) m_kept.erase(it);
        }
        m_keptAt.erase(m_keptAt.begin());
    }
}

std::size_t TDepthLedger::MemoryBytes() const {
    std::size_t bytes = m_entryDepth.size() * (sizeof(std::uint32_t) + sizeof(int) + 16) +
                        m_entryDepth.bucket_count() * sizeof(void*);
    for (const auto& [url, page] : m_kept) {
        bytes +=
            url.capacity() + sizeof(TKeptPage) + 32 + page.Links.capacity() * sizeof(TKeptLink);
        for (const TKeptLink& link : page.Links) bytes += link.Url.capacity();
    }
    for (const auto& [depth, urls] : m_keptAt)
        for (const std::string& url : urls) bytes += sizeof(std::string) + url.capacity();
    return bytes;
}
