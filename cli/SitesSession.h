#pragma once
// Crawls the start URLs of a TStartList, up to K sites at once: each site is a run of its own
// crawler (its own scope, depth, filters and downloads), and all crawlers share their servers,
// so each server's robots.txt, gaps, pauses and per-server limit hold for the crawl as a whole.
// When a site ends, the next start URL begins on its crawler. A site that fails ends with its
// reason and the others go on. Everything is on the GUI thread.

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CrawlSession.h"
#include "HarvestOutput.h"

class THttpScan;
class TLinkDecisionLog;
class TStartList;
struct TJournalContents;
struct TJournalRun;

// A site a crawler had begun and not finished when its crawl was cut off: the Ordinal-th start
// URL of the list, and its run as the crawler's journal kept it (null when none had begun).
struct TSiteResume {
    std::size_t Ordinal = 0;
    std::string Url;
    const TJournalRun* Run = nullptr;
};

class TSitesSession : public QObject {
    Q_OBJECT
public:
    // Configure sets a new crawler up as the options ask; it is called once per crawler.
    TSitesSession(int Sites, TStartList& Starts, std::function<void(THttpScan&)> Configure,
                  TProgressLine& Progress, THarvestSink& Sink);
    ~TSitesSession() override;

    // Starts the first sites from the event loop; Finished follows after the last one.
    void Begin();
    // The first SIGINT, SIGTERM or SIGHUP: stops every running site and begins no other.
    void Interrupt(int Signal);
    // Keep every site's link decisions; Explained() then holds the --explain lines of all.
    void KeepExplanations() { m_explain = true; }
    // Each crawler keeps a journal: the first at Path, crawler N (from 1) at Path.N; before each
    // site's run its ordinal among the start URLs is noted in it. Resumed: the journals read, by
    // crawler, which are continued (null: all begin anew). Call before Begin.
    void UseJournals(std::string Path, const std::vector<TJournalContents>* Resumed);
    // Goes on from the journals: the first NextOrdinal start URLs were begun; Pending (by
    // crawler) are those to go on with; the earlier sites fetched PagesBefore pages.
    void ResumeAt(std::size_t NextOrdinal, std::vector<std::optional<TSiteResume>> Pending,
                  int PagesBefore, std::vector<TSkippedUrl> SkippedBefore);
    // A note of the owner in the first crawler's journal (after Begin).
    void NoteInJournal(const std::vector<std::string>& Fields);
    // Marks every journal done; false with the reason on standard error when one cannot be.
    bool FinishJournals();
    static std::string JournalOf(const std::string& Path, std::size_t Crawler);

    const std::vector<TSkippedUrl>& Skipped() const { return m_skipped; }
    const QByteArray& Explained() const { return m_explained; }
    int RefusedStarts() const { return m_refused; }
    bool Interrupted() const { return m_signal != 0; }
    int Signal() const { return m_signal; }
    int PagesFetched() const { return m_pages; }
    bool WriteFailed() const { return m_writeFailed; }
    // "N sites done, M failed (reason: count, ...)" over the sites that ended.
    std::string Summary() const;
    // The crawlers made, at most K: what the memory per running site is measured by.
    std::size_t Crawlers() const { return m_sites.size(); }

signals:
    void Finished();

private:
    struct TSite;
    TSite& MakeSite();
    bool OpenJournal(TSite& Site, std::size_t Index);
    void Listen(TSite& Site);
    void StartNext(TSite& Site);
    void ScheduleNext(TSite& Site);
    void SiteEnded(TSite& Site);
    void FinishIfIdle();
    void ShowProgress();
    void FlushOutput();
    void StopForWriteError(const std::string& Message);
    void StopAll();
    void Say(const std::string& Text);

    int m_width;
    TStartList& m_starts;
    std::function<void(THttpScan&)> m_configure;
    TProgressLine& m_progress;
    THarvestSink& m_sink;
    std::vector<std::unique_ptr<TSite>> m_sites;
    QTimer m_flushTimer;
    QTimer m_progressTimer;
    std::vector<TSkippedUrl> m_skipped;
    QByteArray m_explained;
    bool m_explain = false;
    bool m_listEnded = false;
    bool m_finished = false;
    bool m_writeFailed = false;
    int m_signal = 0;
    int m_refused = 0;
    int m_messages = 0;
    int m_pages = 0;
    std::size_t m_begun = 0;                // start URLs handed to a crawler
    std::size_t m_ended = 0;                // sites ended (refused ones included)
    std::map<std::string, int> m_failures;  // sites without a page, by reason
    std::string m_journal;                  // the first crawler's journal; empty: none
    const std::vector<TJournalContents>* m_resumed = nullptr;
    std::vector<std::optional<TSiteResume>> m_pending;  // by crawler, from ResumeAt
    std::size_t m_nextOrdinal = 0;                      // of the next start URL handed out
    std::uint64_t m_bytesReceived = 0;                  // of the sites that ended
    std::uint64_t m_bytesDecoded = 0;
};
