#include "TDepthLedger.h"

void TDepthLedger::Clear() {
    m_waitingAt.clear();
    m_waiting = 0;
    m_otherDepth.clear();
    m_kept.clear();
    m_keptAt.clear();
    m_holds = 0;
}

void TDepthLedger::Queued(int Depth) {
    ++m_waitingAt[Depth];
    ++m_waiting;
}

void TDepthLedger::Moved(int From, int To) {
    if (From == To) return;
    const auto it = m_waitingAt.find(From);
    if (it == m_waitingAt.end()) return;
    if (--it->second == 0) m_waitingAt.erase(it);
    ++m_waitingAt[To];
}

void TDepthLedger::Done(int Depth) {
    const auto it = m_waitingAt.find(Depth);
    if (it == m_waitingAt.end()) return;
    if (--it->second == 0) m_waitingAt.erase(it);
    --m_waiting;
    LetGo();
}

void TDepthLedger::QueuedOther(std::uint32_t Id, int Depth) {
    if (m_otherDepth.try_emplace(Id, Depth).second) Queued(Depth);
}

bool TDepthLedger::DoneOther(std::uint32_t Id, std::uint32_t Next) {
    const auto it = m_otherDepth.find(Id);
    if (it == m_otherDepth.end()) return false;
    const int depth = it->second;
    m_otherDepth.erase(it);
    // A retry waits where the entry it repeats did.
    if (Next != 0 && m_otherDepth.try_emplace(Next, depth).second) return true;
    Done(depth);
    return true;
}

bool TDepthLedger::ShorterMayCome(int Depth) const {
    return !m_waitingAt.empty() && m_waitingAt.begin()->first < Depth;
}

std::vector<TKeptLink>& TDepthLedger::Keep(std::string_view Page, int Depth) {
    std::string url(Page);
    TKeptPage& page = m_kept[url];
    page.Depth = Depth;
    page.Links.clear();
    m_keptAt[Depth].push_back(std::move(url));
    return page.Links;
}

std::vector<TKeptLink>* TDepthLedger::Kept(std::string_view Page, int Depth) {
    const auto it = m_kept.find(std::string(Page));
    if (it == m_kept.end()) return nullptr;
    if (Depth < it->second.Depth) {
        it->second.Depth = Depth;
        m_keptAt[Depth].push_back(it->first);
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
    std::size_t bytes = m_otherDepth.size() * 32 + m_otherDepth.bucket_count() * sizeof(void*) +
                        m_waitingAt.size() * 48 + m_kept.bucket_count() * sizeof(void*);
    for (const auto& [url, page] : m_kept) {
        bytes += 32 + sizeof(std::string) + url.capacity() + sizeof(TKeptPage) +
                 page.Links.capacity() * sizeof(TKeptLink);
        for (const TKeptLink& link : page.Links) bytes += link.Url.capacity();
    }
    for (const auto& [depth, urls] : m_keptAt)
        for (const std::string& url : urls) bytes += sizeof(std::string) + url.capacity();
    return bytes;
}
