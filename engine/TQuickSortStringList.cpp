#include "TQuickSortStringList.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "TextBytes.h"

// Storage: the entries lie in chunks of consecutive positions, and m_chunkStart[k] holds the
// position of chunk k's first entry. An insertion moves at most one chunk's entries and bumps
// the start of the chunks after it, instead of moving half a million strings; a position is
// found again by a binary search over the starts. No chunk is ever empty.

namespace {

// A chunk that reaches this size is split in halves; the vector's doubling then never needs
// more room than this, which keeps the spare capacity per entry bounded.
constexpr std::size_t kMaxChunk = 512;
// Appends leave room so that the next insertions into a freshly loaded list do not split.
constexpr std::size_t kAppendFill = kMaxChunk * 3 / 4;
// A chunk shrunk below this joins a neighbour, so deletions cannot leave many tiny chunks.
constexpr std::size_t kMinChunk = kMaxChunk / 4;
// Text blocks start small (a keyword list needs little) and double up to this size.
constexpr std::size_t kFirstBlock = 256;
constexpr std::size_t kLargestBlock = 1024 * 1024;

}  // namespace

TQuickSortStringList::TQuickSortStringList(TListOrder Order) : m_order(Order) {}

int TQuickSortStringList::Count() const {
    return m_count;
}

// Chunked storage never moves the whole list when it grows, so the hint is only remembered.
void TQuickSortStringList::SetCapacity(int Capacity) {
    m_capacity = std::max(Capacity, 0);
}

int TQuickSortStringList::Capacity() const {
    return std::max(m_capacity, m_count);
}

// --- positions --------------------------------------------------------------------------------

TQuickSortStringList::Place TQuickSortStringList::Locate(int Index) const {
    auto next = std::upper_bound(m_chunkStart.begin(), m_chunkStart.end(), Index);
    std::size_t chunk = static_cast<std::size_t>(next - m_chunkStart.begin()) - 1;
    return {chunk, static_cast<std::size_t>(Index - m_chunkStart[chunk])};
}

// A binary search probes ever closer positions, so the chunk of the last probe is the likely one.
TQuickSortStringList::Place TQuickSortStringList::LocateNear(int Index,
                                                             std::size_t HintChunk) const {
    if (HintChunk < m_chunks.size()) {
        int start = m_chunkStart[HintChunk];
        int size = static_cast<int>(m_chunks[HintChunk].Entries.size());
        if (Index >= start && Index - start < size)
            return {HintChunk, static_cast<std::size_t>(Index - start)};
    }
    return Locate(Index);
}

const TQuickSortStringList::Entry* TQuickSortStringList::EntryAt(int Index) const {
    if (Index < 0 || Index >= m_count) return nullptr;
    Place p = Locate(Index);
    return &m_chunks[p.ChunkNo].Entries[p.Offset];
}

TQuickSortStringList::Entry* TQuickSortStringList::EntryAt(int Index) {
    return const_cast<Entry*>(std::as_const(*this).EntryAt(Index));
}

void TQuickSortStringList::ShiftStarts(std::size_t FromChunk, int Delta) {
    for (std::size_t k = FromChunk; k < m_chunkStart.size(); ++k) m_chunkStart[k] += Delta;
}

void TQuickSortStringList::SplitChunk(std::size_t ChunkNo) {
    std::vector<Entry>& left = m_chunks[ChunkNo].Entries;
    std::size_t half = left.size() / 2;
    Chunk right;
    right.Entries.assign(std::make_move_iterator(left.begin() + static_cast<std::ptrdiff_t>(half)),
                         std::make_move_iterator(left.end()));
    left.resize(half);
    int rightStart = m_chunkStart[ChunkNo] + static_cast<int>(half);
    auto at = static_cast<std::ptrdiff_t>(ChunkNo) + 1;
    m_chunks.insert(m_chunks.begin() + at, std::move(right));
    m_chunkStart.insert(m_chunkStart.begin() + at, rightStart);
}

void TQuickSortStringList::EraseChunk(std::size_t ChunkNo) {
    auto at = static_cast<std::ptrdiff_t>(ChunkNo);
    m_chunks.erase(m_chunks.begin() + at);
    m_chunkStart.erase(m_chunkStart.begin() + at);
}

// Moves chunk From (the one right after Into) to the end of Into.
void TQuickSortStringList::MergeChunks(std::size_t Into, std::size_t From) {
    std::vector<Entry>& target = m_chunks[Into].Entries;
    std::vector<Entry>& source = m_chunks[From].Entries;
    target.insert(target.end(), std::make_move_iterator(source.begin()),
                  std::make_move_iterator(source.end()));
    EraseChunk(From);
}

void TQuickSortStringList::RemoveOrMergeChunk(std::size_t ChunkNo) {
    std::size_t size = m_chunks[ChunkNo].Entries.size();
    auto fits = [&](std::size_t Other) {
        return m_chunks[Other].Entries.size() + size < kMaxChunk;
    };
    if (size == 0)
        EraseChunk(ChunkNo);
    else if (size >= kMinChunk)
        return;
    else if (ChunkNo > 0 && fits(ChunkNo - 1))
        MergeChunks(ChunkNo - 1, ChunkNo);
    else if (ChunkNo + 1 < m_chunks.size() && fits(ChunkNo + 1))
        MergeChunks(ChunkNo, ChunkNo + 1);
}

// --- entry access -----------------------------------------------------------------------------

std::string_view TQuickSortStringList::Strings(int Index) const {
    const Entry* e = EntryAt(Index);
    return e ? e->Text() : std::string_view();
}

void TQuickSortStringList::SetString(int Index, std::string_view S) {
    Entry* e = EntryAt(Index);
    if (!e) return;
    const Entry old = *e;
    *e = Store(S, old.Value);
    Forget(old);
}

// --- text blocks ------------------------------------------------------------------------------

TQuickSortStringList::Entry TQuickSortStringList::Store(std::string_view S, std::intptr_t Value) {
    Entry e;
    e.Value = Value;
    e.Size = static_cast<std::uint32_t>(S.size());
    if (S.empty()) return e;
    if (m_blocks.empty() || m_blockUsed + S.size() > m_blockSize) {
        // A text longer than a block gets a block of its own size.
        m_blockSize = std::max(
            S.size(), m_blocks.empty() ? kFirstBlock : std::min(m_blockSize * 2, kLargestBlock));
        m_blocks.push_back(std::make_unique<char[]>(m_blockSize));
        m_blockUsed = 0;
    }
    char* at = m_blocks.back().get() + m_blockUsed;
    std::memcpy(at, S.data(), S.size());
    m_blockUsed += S.size();
    m_textBytes += S.size();
    e.Data = at;
    return e;
}

void TQuickSortStringList::Forget(const Entry& E) {
    m_textBytes -= E.Size;
    m_deadBytes += E.Size;
    if (m_deadBytes > 64 * 1024 && m_deadBytes > m_textBytes) Compact();
}

// Copies every entry's text into fresh blocks, in order, and lets the old blocks go.
void TQuickSortStringList::Compact() {
    std::vector<std::unique_ptr<char[]>> old;
    old.swap(m_blocks);
    m_blockSize = m_blockUsed = m_textBytes = m_deadBytes = 0;
    for (Chunk& c : m_chunks)
        for (Entry& e : c.Entries) e = Store(e.Text(), e.Value);
}

std::intptr_t TQuickSortStringList::Objects(int Index) const {
    const Entry* e = EntryAt(Index);
    return e ? e->Value : 0;
}

void TQuickSortStringList::SetObject(int Index, std::intptr_t Value) {
    if (Entry* e = EntryAt(Index)) e->Value = Value;
}

// --- plain list operations --------------------------------------------------------------------

void TQuickSortStringList::InsertEntry(int Index, Entry E) {
    // Clamp first: a negative position on an empty list must append too, as there is no chunk
    // to locate it in.
    Index = std::max(Index, 0);
    if (Index >= m_count) {
        Append(std::move(E));
        return;
    }
    Place p = Locate(Index);
    std::vector<Entry>& entries = m_chunks[p.ChunkNo].Entries;
    entries.insert(entries.begin() + static_cast<std::ptrdiff_t>(p.Offset), std::move(E));
    ShiftStarts(p.ChunkNo + 1, 1);
    ++m_count;
    if (entries.size() >= kMaxChunk) SplitChunk(p.ChunkNo);
}

void TQuickSortStringList::Append(Entry E) {
    if (m_chunks.empty() || m_chunks.back().Entries.size() >= kAppendFill) {
        m_chunks.emplace_back();
        m_chunkStart.push_back(m_count);
    }
    m_chunks.back().Entries.push_back(std::move(E));
    ++m_count;
}

void TQuickSortStringList::Insert(int Index, std::string_view S, std::intptr_t Value) {
    InsertEntry(Index, Store(S, Value));
}

void TQuickSortStringList::Add(std::string_view S, std::intptr_t Value) {
    Append(Store(S, Value));
}

void TQuickSortStringList::Delete(int Index) {
    if (Index < 0 || Index >= m_count) return;
    Place p = Locate(Index);
    std::vector<Entry>& entries = m_chunks[p.ChunkNo].Entries;
    const Entry gone = entries[p.Offset];
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(p.Offset));
    ShiftStarts(p.ChunkNo + 1, -1);
    --m_count;
    RemoveOrMergeChunk(p.ChunkNo);
    Forget(gone);
}

void TQuickSortStringList::Clear() {
    m_chunks.clear();
    m_chunkStart.clear();
    m_count = 0;
    m_blocks.clear();
    m_blockSize = m_blockUsed = m_textBytes = m_deadBytes = 0;
}

// The entries leave the chunks; their texts stay in the blocks for Refill.
std::vector<TQuickSortStringList::Entry> TQuickSortStringList::TakeAll() {
    std::vector<Entry> all;
    all.reserve(static_cast<std::size_t>(m_count));
    for (Chunk& c : m_chunks) all.insert(all.end(), c.Entries.begin(), c.Entries.end());
    m_chunks.clear();
    m_chunkStart.clear();
    m_count = 0;
    return all;
}

void TQuickSortStringList::Refill(std::vector<Entry> Entries) {
    for (const Entry& e : Entries) Append(e);
}

void TQuickSortStringList::SetText(std::string_view Text) {
    Clear();
    ForEachLine(Text, [this](std::string_view Line) { Add(Line); });
}

std::string TQuickSortStringList::Text() const {
    std::size_t length = 0;
    for (const Chunk& c : m_chunks)
        for (const Entry& e : c.Entries) length += e.Size + 2;
    std::string out;
    out.reserve(length);
    for (const Chunk& c : m_chunks)
        for (const Entry& e : c.Entries) out.append(e.Text()).append("\r\n");
    return out;
}

// --- ordering ---------------------------------------------------------------------------------

int TQuickSortStringList::CompareKeys(std::string_view A, std::string_view B) {
    std::size_t common = std::min(A.size(), B.size());
    std::size_t i = 0;
    // Long shared prefixes (scheme and host of URLs) are common: skip equal words unfolded.
    for (; i + 8 <= common; i += 8) {
        std::uint64_t a;
        std::uint64_t b;
        std::memcpy(&a, A.data() + i, 8);
        std::memcpy(&b, B.data() + i, 8);
        if (a != b) break;
    }
    for (; i < common; ++i) {
        auto a = static_cast<unsigned char>(A[i]);
        auto b = static_cast<unsigned char>(B[i]);
        if (a >= 'a' && a <= 'z') a -= 32;
        if (b >= 'a' && b <= 'z') b -= 32;
        if (a != b) return a < b ? -1 : 1;
    }
    if (A.size() == B.size()) return 0;
    return A.size() < B.size() ? -1 : 1;
}

int TQuickSortStringList::Compare(std::string_view A, std::string_view B) const {
    if (m_order == TListOrder::CaseBlind) return CompareKeys(A, B);
    const int c = A.compare(B);  // bytes as unsigned numbers, a proper prefix first
    return (c > 0) - (c < 0);
}

bool TQuickSortStringList::Find(std::string_view S, int& Index, int& InsertPos, bool AddIfMissing) {
    const bool found = std::as_const(*this).Find(S, Index, InsertPos);
    if (!found && AddIfMissing) Insert(InsertPos, S, 0);
    return found;
}

bool TQuickSortStringList::Find(std::string_view S, int& Index, int& InsertPos) const {
    Index = -1;
    InsertPos = -1;
    if (m_count == 0)
        InsertPos = 0;
    else
        Search(S, Index, InsertPos);
    return Index != -1;
}

// The probes follow the plain array's binary search position by position, so that among equal
// entries the same one is met first as with unchunked storage.
void TQuickSortStringList::Search(std::string_view S, int& Index, int& InsertPos) const {
    int lo = 0;
    int hi = m_count - 1;
    std::size_t hint = 0;
    for (;;) {
        int mid = lo + (hi - lo) / 2;  // (lo + hi) div 2 without overflow
        Place p = LocateNear(mid, hint);
        hint = p.ChunkNo;
        int c = Compare(m_chunks[p.ChunkNo].Entries[p.Offset].Text(), S);
        if (c == 0) {
            Index = mid;
            return;
        }
        if (c < 0 && hi > mid) {
            lo = mid + 1;
        } else if (c > 0 && mid > lo) {
            hi = mid - 1;
        } else {
            InsertPos = c < 0 ? mid + 1 : mid;
            return;
        }
    }
}

void TQuickSortStringList::Sort() {
    std::vector<Entry> all = TakeAll();
    if (m_removeEmptyBeforeSort) std::erase_if(all, [](const Entry& e) { return e.Size == 0; });
    // Equal keys may end in any order. An introsort keeps that freedom and, unlike a plain
    // quicksort, stays fast on long runs of equal lines (a pasted keyword list, say).
    std::sort(all.begin(), all.end(),
              [this](const Entry& a, const Entry& b) { return Compare(a.Text(), b.Text()) < 0; });
    Refill(std::move(all));
}
