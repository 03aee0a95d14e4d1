#pragma once
// Crawls the start URLs one after the other with one crawler and hands what it reports to the
// output as it is found.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "HarvestOutput.h"

class THttpScan;
class TLinkDecisionLog;

// A byte count as the progress line shows it: "512 B", "1.5 KiB", "3.2 MiB".
std::string ByteCountText(std::uint64_t Bytes);
// What the crawl says when the first signal stops it.
std::string InterruptNotice(int Signal);
struct TJournalRun;

// The status on standard error: on a terminal one line redrawn in place; elsewhere (a log file)
// a plain line at most once a second, since control sequences would only clutter it.
class TProgressLine {
public:
    TProgressLine(bool Enabled, bool Terminal, std::FILE* Out = stderr)
        : m_enabled(Enabled), m_terminal(Terminal), m_out(Out) {
        m_sinceLast.start();
    }
    ~TProgressLine() { Clear(); }
    TProgressLine(const TProgressLine&) = delete;
    TProgressLine& operator=(const TProgressLine&) = delete;

    void Show(const std::string& Text);
    // Removes the line so that a message or the shell prompt starts on a clean line.
    void Clear();

private:
    bool m_enabled;
    bool m_terminal;
    std::FILE* m_out;
    bool m_shown = false;
    QElapsedTimer m_sinceLast;
};

class TCrawlSession : public QObject {
    Q_OBJECT
public:
    TCrawlSession(THttpScan& Scan, std::vector<std::string> StartUrls, TProgressLine& Progress,
                  THarvestSink& Sink);
    ~TCrawlSession() override;

    // Starts the first run from the event loop; Finished follows after the last one.
    void Begin();
    // The crawler's journal is open: each start URL's position is noted in it before its run.
    void NoteEntriesInJournal() { m_journal = true; }
    // Goes on from a journal: at start URL Entry, whose run Run (if not null) is continued
    // rather than begun, after PagesBefore pages and the skipped URLs of the earlier runs.
    void ResumeAt(std::size_t Entry, const TJournalRun* Run, int PagesBefore,
                  std::vector<TSkippedUrl> SkippedBefore);
    // The first SIGINT, SIGTERM or SIGHUP: stops the current run and skips the remaining start
    // URLs.
    void Interrupt(int Signal);

    // The URLs not fetched, in the order met: those robots.txt kept out and those whose download
    // failed, each with its reason. After ResumeAt, the earlier runs' robots.txt refusals first.
    const std::vector<TSkippedUrl>& Skipped() const { return m_skipped; }
    // Keep every run's link decisions; Explained() then holds the --explain lines of all runs.
    void KeepExplanations();
    const QByteArray& Explained() const { return m_explained; }
    int RefusedStarts() const { return m_refused; }
    bool Interrupted() const { return m_signal != 0; }
    int Signal() const { return m_signal; }
    // Pages fetched over all runs.
    int PagesFetched() const { return m_pages; }
    // The output, the crawler's results file, its file of waiting links or its journal could
    // not be written; the reason is on standard error and the crawl was stopped.
    bool WriteFailed() const { return m_writeFailed; }

signals:
    void Finished();

private:
    void StartNext();
    void OnStats(int InQueue, int Downloading, int ToAnalyze, int Done, int Retries, int Errors);
    void OnError(const std::string& Message);
    // Url is the current run's start page (as given, or as the crawler holds it).
    bool IsStartUrl(const std::string& Url) const;
    void RunEnded();
    void ScheduleNext();
    void FlushOutput();
    void StopForWriteError(const std::string& Message);
    void Say(const std::string& Text);

    THttpScan& m_scan;
    std::vector<std::string> m_urls;
    TProgressLine& m_progress;
    THarvestSink& m_sink;
    QTimer m_flushTimer;
    std::vector<TSkippedUrl> m_skipped;
    std::unique_ptr<TLinkDecisionLog> m_decisions;  // only with KeepExplanations
    QByteArray m_explained;
    std::size_t m_next = 0;
    int m_refused = 0;
    int m_messages = 0;
    int m_pages = 0;
    int m_runPages = 0;        // pages of the current run
    std::string m_startError;  // why the current run's start page failed, if it did
    int m_signal = 0;
    bool m_writeFailed = false;
    bool m_finished = false;
    bool m_journal = false;
    const TJournalRun* m_resumeRun = nullptr;  // continued by the next run, then cleared
    QElapsedTimer m_runClock;
};
