#include "SitesSession.h"

#include <QCoreApplication>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <utility>

#include "EngineMessage.h"
#include "ExplainOutput.h"
#include "HarvestText.h"
#include "StartList.h"
#include "THttpScan.h"
#include "TJournalReader.h"
#include "TLinkDecisionLog.h"

namespace {
constexpr int kFlushIntervalMs = 1000;
constexpr int kProgressIntervalMs = 250;
}  // namespace

struct TSitesSession::TSite {
    explicit TSite(std::size_t Index_) : Index(Index_) {}
    const std::size_t Index;  // among the crawlers, in the order made
    THttpScan Scan;
    std::string Start;  // the start URL as the list gives it
    bool Busy = false;  // a start URL is handed to it and has not ended
    int Pages = 0;
    std::string StartError;  // why its start page failed, if it did
    QElapsedTimer Clock;
    std::unique_ptr<TLinkDecisionLog> Decisions;

    bool IsStartUrl(const std::string& Url) const {
        return Url == Start || Url == Scan.StartingUrl();
    }
};

TSitesSession::TSitesSession(int Sites, TStartList& Starts,
                             std::function<void(THttpScan&)> Configure, TProgressLine& Progress,
                             THarvestSink& Sink)
    : m_width(Sites),
      m_starts(Starts),
      m_configure(std::move(Configure)),
      m_progress(Progress),
      m_sink(Sink) {
    SetEngineMessageHook([this](const std::string& message) {
        ++m_messages;
        Say(message);
    });
    connect(&m_flushTimer, &QTimer::timeout, this, &TSitesSession::FlushOutput);
    m_flushTimer.start(kFlushIntervalMs);
    connect(&m_progressTimer, &QTimer::timeout, this, &TSitesSession::ShowProgress);
    m_progressTimer.start(kProgressIntervalMs);
}

TSitesSession::~TSitesSession() {
    SetEngineMessageHook(nullptr);
    for (auto& site : m_sites) site->Scan.ClearEvents();
}

TSitesSession::TSite& TSitesSession::MakeSite() {
    m_sites.push_back(std::make_unique<TSite>(m_sites.size()));
    TSite& site = *m_sites.back();
    m_configure(site.Scan);
    if (!m_journal.empty()) OpenJournal(site, site.Index);
    // The first crawler keeps its servers from run to run; every other one joins it.
    site.Scan.ShareServersWith(m_sites.front()->Scan);
    Listen(site);
    return site;
}

void TSitesSession::Listen(TSite& Site) {
    THttpScan& scan = Site.Scan;
    scan.OnLinkFound = [this, &Site](THttpScan&, const std::string& UrlFound,
                                     const std::string& TypeLink, const std::string& FromUrl,
                                     const std::string&, const std::string&, const std::string&,
                                     const std::string&, std::string&, char, int, bool&) {
        m_sink.Add({TypeLink, ResultText(TypeLink, UrlFound), FromUrl, Site.Start});
    };
    scan.OnPageReceived = [&Site](THttpScan&, const std::string&, const std::string&,
                                  const std::string&, const std::string&) { ++Site.Pages; };
    scan.OnError = [this](THttpScan& s, const std::string&, unsigned, const std::string& Message) {
        // Results, waiting links or a journal that cannot be kept end the crawl as a failure. A
        // page's failure is told by OnFetchFailed, with its reason.
        if (!s.ResultsFileError().empty() || !s.SpillFileError().empty() ||
            !s.JournalError().empty())
            StopForWriteError(Message);
    };
    // The engine reads page heads, and so follows meta refresh redirects, only for a listener.
    scan.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::string&,
                        const std::string&, const std::string&, const std::string&) {};
    scan.OnSkipped = [this, &Site](THttpScan&, const std::string& Url, const std::string&,
                                   const std::string& Reason, TFetchFailure Cause, int Status) {
        const bool forbidden = Reason == "robots";
        // An unread robots.txt is named with what its request met: that is what to act on.
        const std::string cause = FetchFailureText(Cause, Status);
        m_skipped.push_back(
            {Url, cause.empty() ? Reason : Reason + " (" + cause + ")", Site.Start});
        if (Site.Decisions)
            Site.Decisions->NoteNotFetched(
                Url, forbidden ? TLinkReason::Robots : TLinkReason::RobotsUnreachable, Cause,
                Status);
        if (Site.IsStartUrl(Url))
            Site.StartError = forbidden       ? "robots.txt forbids it"
                              : cause.empty() ? "its robots.txt could not be read"
                                              : "its robots.txt could not be read: " + cause;
    };
    scan.OnFetchFailed = [this, &Site](THttpScan&, const std::string& Url, const std::string&,
                                       TFetchFailure Reason, int Status) {
        const std::string why = FetchFailureText(Reason, Status);
        m_skipped.push_back({Url, why, Site.Start});
        if (Site.Decisions) Site.Decisions->NoteFailed(Url, Reason, Status);
        // Only the start page's failure is named: further pages fail often and harmlessly.
        if (Site.IsStartUrl(Url)) Site.StartError = why;
    };
    // No OnUpdatedStats: the progress line counts what it shows itself, and a crawler without a
    // listener ends its run right after its last page instead of holding a report back.
    scan.OnWorking = [this, &Site](THttpScan&, bool Working) {
        // The crawler empties its visited lists only after this handler returns, so its next
        // run must start from the event loop.
        if (!Working) SiteEnded(Site);
    };
    if (m_explain) {
        Site.Decisions = std::make_unique<TLinkDecisionLog>();
        scan.OnLinkDecision = [&Site](THttpScan&, const TLinkDecision& Decision,
                                      const std::string& FromUrl, int Depth) {
            Site.Decisions->Note(Decision, FromUrl, Depth);
        };
    }
}

std::string TSitesSession::JournalOf(const std::string& Path, std::size_t Crawler) {
    return Crawler == 0 ? Path : Path + "." + std::to_string(Crawler);
}

void TSitesSession::UseJournals(std::string Path, const std::vector<TJournalContents>* Resumed) {
    m_journal = std::move(Path);
    m_resumed = Resumed;
}

bool TSitesSession::OpenJournal(TSite& Site, std::size_t Index) {
    const std::string path = JournalOf(m_journal, Index);
    const bool resumable =
        m_resumed && Index < m_resumed->size() && (*m_resumed)[Index].Resumable();
    if (resumable ? Site.Scan.ContinueJournal(path, (*m_resumed)[Index])
                  : Site.Scan.OpenJournal(path))
        return true;
    StopForWriteError(Site.Scan.JournalError());
    return false;
}

void TSitesSession::ResumeAt(std::size_t NextOrdinal,
                             std::vector<std::optional<TSiteResume>> Pending, int PagesBefore,
                             std::vector<TSkippedUrl> SkippedBefore) {
    m_nextOrdinal = NextOrdinal;
    m_pending = std::move(Pending);
    m_pages = PagesBefore;
    m_skipped = std::move(SkippedBefore);
}

void TSitesSession::NoteInJournal(const std::vector<std::string>& Fields) {
    if (!m_sites.empty()) m_sites.front()->Scan.JournalNote(Fields);
}

bool TSitesSession::FinishJournals() {
    bool finished = true;
    for (auto& site : m_sites)
        if (!site->Scan.FinishJournal()) {
            Say(site->Scan.JournalError());
            finished = false;
        }
    return finished;
}

void TSitesSession::Begin() {
    // A crawler is made only for a start URL: a short list costs no more than it needs.
    const std::size_t crawlers = std::max(
        std::min(static_cast<std::size_t>(m_width), std::max<std::size_t>(m_starts.Entries(), 1)),
        m_pending.size());
    while (m_sites.size() < crawlers) MakeSite();
    // A resumed crawl passes over the start URLs begun before, and learns the URL of each
    // pending site whose run had not begun.
    std::string url;
    for (std::size_t ordinal = 0; ordinal < m_nextOrdinal && m_starts.Next(url); ++ordinal)
        for (auto& pending : m_pending)
            if (pending && pending->Ordinal == ordinal && pending->Url.empty()) pending->Url = url;
    for (auto& site : m_sites) ScheduleNext(*site);
}

void TSitesSession::ScheduleNext(TSite& Site) {
    QTimer::singleShot(0, this, [this, &Site] { StartNext(Site); });
}

void TSitesSession::Say(const std::string& Text) {
    m_progress.Clear();
    std::fprintf(stderr, "tarnwick-crawl: %s\n", Text.c_str());
}

void TSitesSession::Interrupt(int Signal) {
    if (m_signal != 0) return;
    m_signal = Signal;
    Say(InterruptNotice(Signal));
    StopAll();
    FinishIfIdle();
}

void TSitesSession::StopAll() {
    for (auto& site : m_sites) site->Scan.Stop();
}

void TSitesSession::StartNext(TSite& Site) {
    if (m_finished || Site.Busy) return;
    // Its last run is still winding down: the next begins once it has.
    if (Site.Scan.Running()) {
        QTimer::singleShot(10, this, [this, &Site] { StartNext(Site); });
        return;
    }
    std::optional<TSiteResume> pending;
    if (Site.Index < m_pending.size()) pending = std::exchange(m_pending[Site.Index], std::nullopt);
    const bool goesOn = m_signal == 0 && !m_writeFailed;
    std::string url;
    std::size_t ordinal = 0;
    if (pending && goesOn) {
        url = pending->Url;
        ordinal = pending->Ordinal;
    } else if (!goesOn || m_listEnded || !m_starts.Next(url)) {
        m_listEnded = true;
        if (!m_starts.Error().empty() && !m_writeFailed) StopForWriteError(m_starts.Error());
        FinishIfIdle();
        return;
    } else {
        ordinal = m_nextOrdinal++;
    }
    const TJournalRun* run = pending ? pending->Run : nullptr;
    ++m_begun;
    Site.Busy = true;
    Site.Start = url;
    Site.Pages = run ? run->Fetched : 0;
    Site.StartError.clear();
    Site.Clock.start();
    if (Site.Decisions) Site.Decisions->NoteStart(url);
    const int messagesBefore = m_messages;
    // A site is noted before its run begins, so that a journal read later knows whose run
    // follows.
    if (!m_journal.empty() && !run)
        Site.Scan.JournalNote({"tarnwick-crawl", "site", std::to_string(ordinal)});
    if (run ? Site.Scan.Resume(*run) : Site.Scan.Start(url)) return;
    Site.Busy = false;
    ++m_ended;
    ++m_refused;
    ++m_failures["refused to start"];
    if (Site.Decisions) Site.Decisions->Clear();
    // The engine explains most refusals itself; the rest get a line of their own.
    if (m_messages == messagesBefore) Say("the crawler refused to start " + url);
    ScheduleNext(Site);
}

void TSitesSession::SiteEnded(TSite& Site) {
    Site.Busy = false;
    ++m_ended;
    m_pages += Site.Pages;
    m_bytesReceived += Site.Scan.BytesReceived();
    m_bytesDecoded += Site.Scan.BytesDecoded();
    if (Site.Decisions) {
        m_explained += FormatExplained(*Site.Decisions, Site.Start);
        Site.Decisions->Clear();
    }
    if (Site.Pages == 0 && m_signal == 0 && !m_writeFailed) {
        ++m_failures[Site.StartError.empty() ? "no page" : Site.StartError];
        Say("no page could be fetched from " + Site.Start +
            (Site.StartError.empty() ? std::string() : " (" + Site.StartError + ")"));
    }
    ScheduleNext(Site);
}

void TSitesSession::FinishIfIdle() {
    if (m_finished) return;
    for (const auto& site : m_sites)
        if (site->Busy || site->Scan.Running()) return;
    if (!m_listEnded && m_signal == 0 && !m_writeFailed) return;
    m_finished = true;
    m_progress.Clear();
    emit Finished();
}

void TSitesSession::FlushOutput() {
    if (!m_sink.Flush()) StopForWriteError(m_sink.Error());
}

void TSitesSession::StopForWriteError(const std::string& Message) {
    if (m_writeFailed) return;
    m_writeFailed = true;
    Say(Message);
    StopAll();
}

std::string TSitesSession::Summary() const {
    int failed = 0;
    std::string reasons;
    for (const auto& [reason, count] : m_failures) {
        failed += count;
        reasons += (reasons.empty() ? "" : ", ") + reason + ": " + std::to_string(count);
    }
    std::string text = std::to_string(m_ended - static_cast<std::size_t>(failed)) +
                       (m_ended - static_cast<std::size_t>(failed) == 1 ? " site" : " sites") +
                       " done, " + std::to_string(failed) + " failed";
    if (!reasons.empty()) text += " (" + reasons + ")";
    if (m_starts.Repeats() > 0)
        text += ", " + std::to_string(m_starts.Repeats()) + " repeated start URL" +
                (m_starts.Repeats() == 1 ? "" : "s") + " left out";
    return text;
}

void TSitesSession::ShowProgress() {
    int pages = m_pages, running = 0;
    std::uint64_t received = m_bytesReceived, decoded = m_bytesDecoded;
    const TSite* slowest = nullptr;
    for (const auto& site : m_sites) {
        if (!site->Busy) continue;
        ++running;
        pages += site->Pages;
        received += site->Scan.BytesReceived();
        decoded += site->Scan.BytesDecoded();
        if (!slowest || site->Clock.elapsed() > slowest->Clock.elapsed()) slowest = site.get();
    }
    char line[512];
    std::snprintf(line, sizeof line,
                  "[%zu/%zu sites] running %d  pages %d  found %zu  skipped %zu  received %s  "
                  "decoded %s",
                  m_ended + m_starts.Repeats(), m_starts.Entries(), running, pages, m_sink.Count(),
                  m_skipped.size(), ByteCountText(received).c_str(),
                  ByteCountText(decoded).c_str());
    std::string text = line;
    if (slowest) {
        char figures[64];
        std::snprintf(figures, sizeof figures, " (%.1f s, %d pages)",
                      static_cast<double>(slowest->Clock.elapsed()) / 1000.0, slowest->Pages);
        text += "  slowest " + slowest->Start + figures;
    }
    m_progress.Show(text);
}
