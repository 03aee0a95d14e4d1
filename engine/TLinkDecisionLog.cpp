#include "TLinkDecisionLog.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "UrlIdentity.h"

namespace {

constexpr std::size_t kBlockBits = 20;
constexpr std::size_t kBlockSize = std::size_t{1} << kBlockBits;
// A value that resolved to nothing can be a whole script; its start names it well enough.
constexpr std::size_t kMaxKey = 2048;

constexpr std::uint8_t kStart = 1, kReported = 2, kFollowed = 4;

// Records keep a URL as found; they are compared under its key, as the crawler's visited list
// compares URLs. Most texts are their own key, so a key is built only for the others.
std::string_view KeyOfText(std::string_view Text, std::string& Buffer) {
    if (IsVisitedKey(Text)) return Text;
    VisitedKeyInto(Text, Buffer);
    return Buffer;
}

std::size_t KeyHash(std::string_view Key) {
    std::uint64_t h = 1469598103934665603ull;
    for (char c : Key) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return static_cast<std::size_t>(h ^ (h >> 29));
}

std::string_view KeyOf(const TLinkDecision& D) {
    std::string_view key = D.Resolved.empty() ? std::string_view(D.Value) : D.Resolved;
    return key.substr(0, kMaxKey);
}

}  // namespace

TLinkDecisionLog::TLinkDecisionLog() {
    Clear();
}

TLinkDecisionLog::~TLinkDecisionLog() = default;

void TLinkDecisionLog::Clear() {
    m_blocks.clear();
    m_blockUsed = kBlockSize;
    m_records.clear();
    m_records.shrink_to_fit();
    m_slots.assign(1024, 0);
    m_pages.assign(1, TText{});  // page 0: none, for start URLs
    m_lastPage.clear();
    m_types.assign(1, "");
    m_keywords.assign(1, "");
    m_failures.clear();
}

std::string_view TLinkDecisionLog::TextOf(std::uint64_t Offset, std::uint32_t Length) const {
    return {m_blocks[Offset >> kBlockBits].get() + (Offset & (kBlockSize - 1)), Length};
}

std::uint64_t TLinkDecisionLog::Store(std::string_view Text) {
    if (m_blockUsed + Text.size() > kBlockSize) {
        m_blocks.push_back(std::make_unique<char[]>(kBlockSize));
        m_blockUsed = 0;
    }
    const std::uint64_t offset = ((m_blocks.size() - 1) << kBlockBits) | m_blockUsed;
    if (!Text.empty()) std::memcpy(m_blocks.back().get() + m_blockUsed, Text.data(), Text.size());
    m_blockUsed += Text.size();
    return offset;
}

std::uint32_t TLinkDecisionLog::PageIndex(const std::string& Url) {
    // The links of one page come one after the other: the page is stored once for all of them.
    if (m_pages.size() > 1 && Url == m_lastPage)
        return static_cast<std::uint32_t>(m_pages.size() - 1);
    const std::string_view text = std::string_view(Url).substr(0, kMaxKey);
    m_pages.push_back({Store(text), static_cast<std::uint32_t>(text.size())});
    m_lastPage = Url;
    return static_cast<std::uint32_t>(m_pages.size() - 1);
}

std::uint8_t TLinkDecisionLog::Intern(std::vector<std::string>& Table, const std::string& Text) {
    if (Text.empty()) return 0;
    const auto it = std::find(Table.begin(), Table.end(), Text);
    if (it != Table.end()) return static_cast<std::uint8_t>(it - Table.begin());
    if (Table.size() > 255) return 0;  // more kinds than a run has in practice: left unnamed
    Table.push_back(Text);
    return static_cast<std::uint8_t>(Table.size() - 1);
}

std::size_t TLinkDecisionLog::SlotOf(std::string_view Url) const {
    std::string keyBuffer;
    std::string recordBuffer;
    const std::string_view key = KeyOfText(Url, keyBuffer);
    const std::size_t mask = m_slots.size() - 1;
    for (std::size_t i = KeyHash(key) & mask;; i = (i + 1) & mask) {
        const std::uint32_t slot = m_slots[i];
        if (slot == 0) return i;
        const TRecord& r = m_records[slot - 1];
        if (KeyOfText(TextOf(r.UrlOffset, r.UrlLength), recordBuffer) == key) return i;
    }
}

void TLinkDecisionLog::Grow() {
    std::vector<std::uint32_t> old(m_slots.size() * 2, 0);
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    std::string buffer;
    for (std::uint32_t slot : old) {
        if (slot == 0) continue;
        const TRecord& r = m_records[slot - 1];
        std::size_t i = KeyHash(KeyOfText(TextOf(r.UrlOffset, r.UrlLength), buffer)) & mask;
        while (m_slots[i] != 0) i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

TLinkDecisionLog::TRecord* TLinkDecisionLog::Lookup(std::string_view Url) {
    const std::uint32_t slot = m_slots[SlotOf(Url)];
    return slot == 0 ? nullptr : &m_records[slot - 1];
}

void TLinkDecisionLog::Add(TRecord Record, std::string_view Url, std::size_t Slot) {
    // At most half the slots in use keeps the probe runs short. Growing moves every record, so
    // the empty slot found before is sought anew.
    const bool grow = (m_records.size() + 1) * 2 > m_slots.size();
    if (grow) Grow();
    const std::size_t slot = grow ? SlotOf(Url) : Slot;
    Record.UrlOffset = Store(Url);
    Record.UrlLength = static_cast<std::uint32_t>(Url.size());
    m_records.push_back(Record);
    m_slots[slot] = static_cast<std::uint32_t>(m_records.size());
}

void TLinkDecisionLog::NoteStart(const std::string& Url) {
    const std::string_view key = std::string_view(Url).substr(0, kMaxKey);
    const std::size_t slot = SlotOf(key);
    if (m_slots[slot] != 0) return;
    Add(TRecord{0, 0, 0, 0, Intern(m_types, "htm"), TLinkReason::None, TLinkReason::None,
                kStart | kFollowed, 0},
        key, slot);
}

void TLinkDecisionLog::Note(const TLinkDecision& D, const std::string& FromUrl, int Depth) {
    const std::string_view key = KeyOf(D);
    // One search finds the record, or the slot of the new one.
    const std::size_t slot = SlotOf(key);
    if (m_slots[slot] != 0) {
        Revise(m_records[m_slots[slot] - 1], D, FromUrl, Depth);
        return;
    }
    const std::uint8_t flags = (D.Reported ? kReported : 0) | (D.Followed ? kFollowed : 0);
    Add(TRecord{0, 0, PageIndex(FromUrl), static_cast<std::uint16_t>(std::clamp(Depth, 0, 65535)),
                Intern(m_types, D.Alive ? D.TypeLink : std::string()), D.ReportReason,
                D.FollowReason, flags, Intern(m_keywords, D.Keyword)},
        key, slot);
}

void TLinkDecisionLog::Revise(TRecord& R, const TLinkDecision& D, const std::string& FromUrl,
                              int Depth) {
    // A later meeting matters where it changes the outcome: a report that the first page's rule
    // held back, or a shorter path that follows the page after all, or from nearer the start.
    const TLinkReason reportReason = R.ReportReason;
    const bool written =
        D.Written && (reportReason == TLinkReason::Site || reportReason == TLinkReason::Path);
    const bool followed = D.Followed && (!(R.Flags & kFollowed) || Depth < R.Depth);
    if (!written && !followed) return;
    R.From = PageIndex(FromUrl);
    R.Depth = static_cast<std::uint16_t>(std::clamp(Depth, 0, 65535));
    TLinkReason report = reportReason;
    TLinkReason follow = R.FollowReason;
    if (written) {
        report = D.ReportReason;
        if (D.Reported) R.Flags |= kReported;
    }
    if (followed) {
        follow = TLinkReason::None;
        R.Flags |= kFollowed;
    }
    R.ReportReason = report;
    R.FollowReason = follow;
}

void TLinkDecisionLog::NoteNotFetched(const std::string& Url, TLinkReason Reason,
                                      TFetchFailure Cause, int Status) {
    TRecord* r = Lookup(std::string_view(Url).substr(0, kMaxKey));
    if (!r) return;
    r->Flags &= static_cast<std::uint8_t>(~kFollowed);
    r->FollowReason = Reason;
    if (Cause != TFetchFailure::None) NoteFailed(Url, Cause, Status);
}

void TLinkDecisionLog::NoteFailed(const std::string& Url, TFetchFailure Cause, int Status) {
    const TRecord* r = Lookup(std::string_view(Url).substr(0, kMaxKey));
    if (!r) return;
    m_failures[static_cast<std::uint32_t>(r - m_records.data())] = {Cause, Status};
}

TLinkRecord TLinkDecisionLog::Expand(const TRecord& R) const {
    TLinkRecord out;
    out.Url = TextOf(R.UrlOffset, R.UrlLength);
    const TText& page = m_pages[R.From];
    if (R.From != 0) out.FromUrl = TextOf(page.Offset, page.Length);
    out.TypeLink = m_types[R.Type];
    out.Keyword = m_keywords[R.Keyword];
    out.Depth = R.Depth;
    out.Start = R.Flags & kStart;
    out.Reported = R.Flags & kReported;
    out.Followed = R.Flags & kFollowed;
    out.ReportReason = R.ReportReason;
    out.FollowReason = R.FollowReason;
    const auto failure = m_failures.find(static_cast<std::uint32_t>(&R - m_records.data()));
    if (failure != m_failures.end()) std::tie(out.Failure, out.FailureStatus) = failure->second;
    return out;
}

std::optional<TLinkRecord> TLinkDecisionLog::Find(std::string_view Url) const {
    const std::uint32_t slot = m_slots[SlotOf(Url.substr(0, kMaxKey))];
    if (slot == 0) return std::nullopt;
    return Expand(m_records[slot - 1]);
}

void TLinkDecisionLog::ForEach(const std::function<void(const TLinkRecord&)>& Visit) const {
    for (const TRecord& r : m_records) Visit(Expand(r));
}

std::size_t TLinkDecisionLog::MemoryBytes() const {
    return m_blocks.size() * kBlockSize + m_records.capacity() * sizeof(TRecord) +
           m_slots.capacity() * sizeof(std::uint32_t) + m_pages.capacity() * sizeof(TText);
}
