#pragma once
// Reads a run journal written by THttpScan (see THttpScan::OpenJournal) into what an owner needs
// to continue it: its notes, and for each run its settings, the links it reported, its counters
// and the state to resume from. Only whole groups of records count: a torn last write is
// ignored, and reading stops at a damaged record; Dropped says what was left out.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "EngineTypes.h"

// A link the run reported (OnLinkFound) or wrote to its results file, as it was then.
struct TJournalReport {
    std::string TypeLink, UrlFound, FromUrl, HostName, UrlPath, UrlPathWithFile, ExtraInfos;
    char HrefOrSrc = ' ';
    bool Reported = false;   // OnLinkFound was raised for it
    std::string ResultLine;  // the line written to the results file; empty when none
};

// A queued URL that the run had not finished with.
struct TJournalEntry {
    std::uint64_t Id = 0;
    std::string Url, Referrer;
    int Depth = 1;
    int RetryCount = 0;
    int CountArea = 0;
    TTagKind TagKind = tagNone;
    TFetchMode FetchMode = fetchPage;
    bool Priority = false;
};

struct TJournalRun {
    // The crawler's properties and lists at the run's start (passwords are never recorded).
    std::vector<std::pair<std::string, std::string>> Settings;
    std::string Setting(const std::string& Key) const;
    // Replaces (or adds) a setting, for an owner that continues the run with another value.
    void SetSetting(const std::string& Key, const std::string& Value);
    // The visited lists, as each change was made: URL and its flag (a TVisit without its entry
    // number; journals of version 1 kept only 0, 1 and 2), and host names, true once the host's
    // robots.txt was queued as a page.
    std::vector<std::pair<std::string, int>> Visited;
    std::vector<std::pair<std::string, bool>> Hosts;
    std::vector<TJournalEntry> Pending;  // in queue order, downloads cut short included
    std::vector<TJournalReport> Reports;
    int Fetched = 0, Errors = 0, Retries = 0, Skipped = 0;
    // The URLs robots.txt kept out (OnSkipped), with the reason ("robots", "robots-unreachable"),
    // and the downloads that failed (OnFetchFailed) with theirs ("timed out", "HTTP status 404"),
    // in the order met. Journals of version 1 kept no failures.
    std::vector<std::pair<std::string, std::string>> SkippedUrls;
    std::uint64_t LastId = 0;  // the highest queue entry number used
    bool Stopped = false;      // the run was stopped (by the user, a signal or an error)
    bool Finished = false;     // the run ran out of work: nothing to resume
};

// A record the owner added (THttpScan::JournalNote), after RunsBefore runs had begun.
struct TJournalNote {
    int RunsBefore = 0;
    std::vector<std::string> Fields;
};

struct TJournalContents {
    // Empty when the file was read and is a journal; else why not ("cannot read ...: reason",
    // "... is not a Tarnwick journal").
    std::string Error;
    std::string ProgramVersion;  // of the program that began the journal
    std::vector<TJournalNote> Notes;
    std::vector<TJournalRun> Runs;
    bool Finished = false;  // its owner marked the whole job done (THttpScan::FinishJournal)
    // The length of the sound part, where a continuation appends.
    std::int64_t SoundBytes = 0;
    // What was left out, in words; empty when everything was read.
    std::string Dropped;
    // The same in figures, for a message of the owner's own: the bytes after the sound part,
    // whether they began with a damaged record (else a group never completed), and the records
    // of a later version that were skipped.
    std::int64_t DroppedBytes = 0;
    bool DroppedDamage = false;
    int UnknownRecords = 0;

    bool Resumable() const { return Error.empty() && !Finished; }
};

class TJournalReader {
public:
    static TJournalContents Read(const std::string& Path);
    // The same for a journal's bytes (Name is used in messages).
    static TJournalContents Parse(const std::string& Data, const std::string& Name);
};
