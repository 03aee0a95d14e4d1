#pragma once
// The decisions of one run, kept to be asked about later ("why was this page not visited?"):
// one compact record per distinct URL with the final decision taken about it. That is the first,
// unless a later link changed it: a page whose report rule admits a link the first page held
// back, or a shorter path that follows a page after all (the record then names the page and
// depth of that path). Fed from OnLinkDecision and OnSkipped; GUI thread only.
//
// Memory: the URL text, once, in large blocks, a 24-byte record, a slot of an open-addressing
// index and the page it was found on, shared by all links of that page.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <unordered_map>

#include "FetchFailure.h"
#include "LinkDecision.h"

struct TLinkRecord {
    // The resolved URL or address; the value as found (at most 2048 bytes) when it resolved to
    // none.
    std::string Url;
    std::string FromUrl;  // the page it was found on; empty for a start URL
    std::string TypeLink;
    std::string Keyword;  // the exclude keyword (ReportReason Exclude)
    int Depth = 0;        // depth of the page it was found on
    bool Start = false;   // a start URL of the run
    bool Reported = false;
    bool Followed = false;
    TLinkReason ReportReason = TLinkReason::None;
    TLinkReason FollowReason = TLinkReason::None;
    // Why it could not be fetched: what its download met, or, for FollowReason
    // RobotsUnreachable, what its server's robots.txt request met. None when nothing failed.
    TFetchFailure Failure = TFetchFailure::None;
    int FailureStatus = 0;  // the HTTP status of an HttpStatus failure
};

class TLinkDecisionLog {
public:
    TLinkDecisionLog();
    ~TLinkDecisionLog();
    TLinkDecisionLog(const TLinkDecisionLog&) = delete;
    TLinkDecisionLog& operator=(const TLinkDecisionLog&) = delete;

    void Clear();
    void NoteStart(const std::string& Url);
    // Keeps D, or where its URL has a record already, what D changes of it.
    void Note(const TLinkDecision& D, const std::string& FromUrl, int Depth);
    // A queued URL that the scheduler did not fetch: it is recorded as not followed for Reason.
    // Cause and Status: why its server's robots.txt could not be read (RobotsUnreachable).
    void NoteNotFetched(const std::string& Url, TLinkReason Reason,
                        TFetchFailure Cause = TFetchFailure::None, int Status = 0);
    // A URL whose download failed (OnFetchFailed).
    void NoteFailed(const std::string& Url, TFetchFailure Cause, int Status);

    // The record of Url, compared under its key (the normal form of a URL, the lower-case form
    // of an address), as the crawler compares URLs.
    std::optional<TLinkRecord> Find(std::string_view Url) const;
    std::size_t Count() const { return m_records.size(); }
    // Every record in the order met.
    void ForEach(const std::function<void(const TLinkRecord&)>& Visit) const;
    // Bytes held, for the benchmark.
    std::size_t MemoryBytes() const;

private:
    struct TText {
        std::uint64_t Offset = 0;
        std::uint32_t Length = 0;
    };
    struct TRecord {
        std::uint64_t UrlOffset;
        std::uint32_t UrlLength;
        std::uint32_t From;  // index into m_pages
        std::uint16_t Depth;
        std::uint8_t Type;  // index into m_types
        TLinkReason ReportReason;
        TLinkReason FollowReason;
        std::uint8_t Flags;
        std::uint8_t Keyword;  // index into m_keywords; 0 when none
    };
    static_assert(sizeof(TRecord) == 24, "a record stays 24 bytes: reasons fill its padding");

    std::string_view TextOf(std::uint64_t Offset, std::uint32_t Length) const;
    std::uint64_t Store(std::string_view Text);
    std::uint32_t PageIndex(const std::string& Url);
    std::uint8_t Intern(std::vector<std::string>& Table, const std::string& Text);
    // Slot of Url in m_slots: holding its record number + 1, or 0 where it would go.
    std::size_t SlotOf(std::string_view Url) const;
    void Grow();
    TRecord* Lookup(std::string_view Url);
    // Adds Record for Url, which has none; Slot is where SlotOf found room for it.
    void Add(TRecord Record, std::string_view Url, std::size_t Slot);
    TLinkRecord Expand(const TRecord& Record) const;
    void Revise(TRecord& R, const TLinkDecision& D, const std::string& FromUrl, int Depth);

    // Texts lie in blocks of 1 MiB; an offset is the block number times the block size plus the
    // place in the block. No text spans two blocks.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockUsed = 0;
    std::vector<TRecord> m_records;
    std::vector<std::uint32_t> m_slots;
    std::vector<TText> m_pages;
    std::string m_lastPage;
    std::vector<std::string> m_types;
    std::vector<std::string> m_keywords;
    // Failures are few beside the links met: kept apart, by record number.
    std::unordered_map<std::uint32_t, std::pair<TFetchFailure, int>> m_failures;
};
