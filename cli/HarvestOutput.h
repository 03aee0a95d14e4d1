#pragma once
// The harvest of tarnwick-crawl in its three output formats, and where it goes.

#include <QByteArray>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CrawlOptions.h"
#include "OutputFile.h"
#include "TDistinctLineSorter.h"

// One reported link: its type, the result text (ResultText: address decoded, or file URL), the
// page it was found on and the start URL of the site whose crawl found it, all as bytes. It only
// views them: a sink copies what it keeps.
struct THarvestItem {
    std::string_view Type, Url, From, Site;
};

// Text as a JSON string. The engine's texts are bytes: JSON carries the text they stand for, as
// UTF-8 when they are UTF-8 and else as Latin-1, so the output is always valid UTF-8.
QByteArray JsonString(std::string_view Text);

// Appends one TSV or JSONL record with its line end to Out.
void AppendRecord(std::string& Out, const THarvestItem& Item, TOutputFormat Format);
// The text format: the result texts sorted, each distinct one once.
QByteArray FormatText(std::vector<std::string> Urls);

// A URL the crawler did not fetch, and why: "robots", "robots-unreachable", or the words of its
// failed download ("timed out", "HTTP status 404", ...); Site: the start URL of its crawl.
struct TSkippedUrl {
    std::string Url, Reason, Site;
};

// One "URL<TAB>reason<TAB>site" line per skipped URL, in the order met.
QByteArray FormatSkipped(const std::vector<TSkippedUrl>& Skipped);

// Writes the skipped URLs to FileName as an output file (see TOutputFile); false with Error set
// on failure.
bool WriteSkipped(const std::string& FileName, const std::vector<TSkippedUrl>& Skipped,
                  std::string& Error);

// Writes the harvest to standard output or to a file. TSV and JSONL records go out as they are
// found: Add buffers them and Flush (called at least once a second) writes them, so memory stays
// flat and a killed run keeps what it found. The text format is sorted, so it is built by Finish;
// beyond a memory budget its results wait in sorted runs on disk (TDistinctLineSorter).
// The file is a TOutputFile: a named regular file is written under a temporary name beside its
// final target and takes its name only in Finish, so an old file stays whole until the new one
// is; anything else (a device, a pipe) is written as it is.
class THarvestSink {
public:
    explicit THarvestSink(TOutputFormat Format);

    // FileName empty: standard output. False with Error set when it cannot be written.
    bool Open(const std::string& FileName);
    void Add(const THarvestItem& Item);
    // Writes what Add buffered; false once a write has failed.
    bool Flush();
    // Writes the rest and gives the file its name; false with Error set on failure.
    bool Finish();
    std::size_t Count() const { return m_count; }
    // "cannot write NAME: reason", or "cannot read NAME: reason" of the text format's runs.
    const std::string& Error() const {
        return m_file.Error().empty() ? m_sortError : m_file.Error();
    }
    // The temporary file being written; empty once it took its name, or when written in place.
    const std::string& TempName() const { return m_file.TempName(); }

private:
    TOutputFormat m_format;
    TOutputFile m_file;
    std::string m_buffer;
    // The text format's results, sorted at the end; beyond its budget in run files.
    std::unique_ptr<TDistinctLineSorter> m_sorter;
    bool m_spillWarned = false;
    std::string m_sortError;
    std::size_t m_count = 0;
};
