#include "TUrlInQueue.h"

void TUrlInQueue::Add(std::string Url, TUrlObject Object) {
    m_entries.push_back(Entry{std::move(Url), std::move(Object)});
}

void TUrlInQueue::AddFirst(std::string Url, TUrlObject Object, TRedirectChain Chain) {
    m_entries.push_front(Entry{std::move(Url), std::move(Object), std::move(Chain)});
}

TUrlInQueue::Entry TUrlInQueue::Take(int Index) {
    auto it = m_entries.begin() + Index;
    Entry entry = std::move(*it);
    m_entries.erase(it);
    return entry;
}
