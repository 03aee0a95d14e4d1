#include "CrawlSession.h"

#include <csignal>
#include <cstdio>
#include <iterator>
#include <utility>

#include "EngineMessage.h"
#include "ExplainOutput.h"
#include "HarvestText.h"
#include "THttpScan.h"
#include "TJournalReader.h"
#include "TLinkDecisionLog.h"

void TProgressLine::Show(const std::string& Text) {
    if (!m_enabled) return;
    if (!m_terminal) {
        if (m_sinceLast.elapsed() < 1000) return;
        m_sinceLast.restart();
        std::fprintf(m_out, "%s\n", Text.c_str());
        std::fflush(m_out);
        return;
    }
    // Carriage return and erase-to-end redraw the line in place on a terminal.
    std::fprintf(m_out, "\r%s\x1b[K", Text.c_str());
    std::fflush(m_out);
    m_shown = true;
}

void TProgressLine::Clear() {
    if (!m_shown || !m_terminal) return;
    std::fputs("\r\x1b[K", m_out);
    std::fflush(m_out);
    m_shown = false;
}

namespace {
constexpr int kFlushIntervalMs = 1000;
}

std::string InterruptNotice(int Signal) {
    if (Signal == SIGINT) return "interrupted, stopping (Ctrl-C again quits without writing)";
    return std::string(Signal == SIGTERM ? "terminated (SIGTERM)" : "hung up (SIGHUP)") +
           ", stopping and writing the results (a second signal quits without writing)";
}

std::string ByteCountText(std::uint64_t Bytes) {
    static const char* const kUnits[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    if (Bytes < 1024) return std::to_string(Bytes) + " B";
    double value = static_cast<double>(Bytes);
    std::size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < std::size(kUnits)) {
        value /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

TCrawlSession::TCrawlSession(THttpScan& Scan, std::vector<std::string> StartUrls,
                             TProgressLine& Progress, THarvestSink& Sink)
    : m_scan(Scan), m_urls(std::move(StartUrls)), m_progress(Progress), m_sink(Sink) {
    SetEngineMessageHook([this](const std::string& message) {
        ++m_messages;
        Say(message);
    });
    m_scan.OnLinkFound = [this](THttpScan&, const std::string& UrlFound,
                                const std::string& TypeLink, const std::string& FromUrl,
                                const std::string&, const std::string&, const std::string&,
                                const std::string&, std::string&, char, int, bool&) {
        m_sink.Add({TypeLink, ResultText(TypeLink, UrlFound), FromUrl, m_scan.StartingUrl()});
    };
    m_scan.OnPageReceived = [this](THttpScan&, const std::string&, const std::string&,
                                   const std::string&, const std::string&) { ++m_runPages; };
    m_scan.OnError = [this](THttpScan&, const std::string&, unsigned, const std::string& Message) {
        OnError(Message);
    };
    // The engine reads page heads, and so follows meta refresh redirects, only for a listener.
    m_scan.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&) {};
    m_scan.OnSkipped = [this](THttpScan&, const std::string& Url, const std::string&,
                              const std::string& Reason, TFetchFailure Cause, int Status) {
        const bool forbidden = Reason == "robots";
        // An unread robots.txt is named with what its request met: that is what to act on.
        const std::string cause = FetchFailureText(Cause, Status);
        m_skipped.push_back(
            {Url, cause.empty() ? Reason : Reason + " (" + cause + ")", m_scan.StartingUrl()});
        if (m_decisions)
            m_decisions->NoteNotFetched(
                Url, forbidden ? TLinkReason::Robots : TLinkReason::RobotsUnreachable, Cause,
                Status);
        // A start page that robots.txt keeps out is named with that reason at the run's end.
        if (IsStartUrl(Url))
            m_startError = forbidden       ? "robots.txt forbids it"
                           : cause.empty() ? "its robots.txt could not be read"
                                           : "its robots.txt could not be read: " + cause;
    };
    m_scan.OnFetchFailed = [this](THttpScan&, const std::string& Url, const std::string&,
                                  TFetchFailure Reason, int Status) {
        const std::string why = FetchFailureText(Reason, Status);
        m_skipped.push_back({Url, why, m_scan.StartingUrl()});
        if (m_decisions) m_decisions->NoteFailed(Url, Reason, Status);
        // Only the start page's failure is named: further pages fail often and harmlessly.
        if (IsStartUrl(Url)) m_startError = why;
    };
    m_scan.OnUpdatedStats = [this](THttpScan&, int q, int d, int a, int done, int r, int e) {
        OnStats(q, d, a, done, r, e);
    };
    m_scan.OnWorking = [this](THttpScan&, bool working) {
        // The crawler empties its visited lists only after this handler returns, so the next
        // run must start from the event loop.
        if (working) return;
        if (m_decisions) {
            m_explained += FormatExplained(*m_decisions, m_scan.StartingUrl());
            m_decisions->Clear();
        }
        RunEnded();
    };
    connect(&m_flushTimer, &QTimer::timeout, this, &TCrawlSession::FlushOutput);
    m_flushTimer.start(kFlushIntervalMs);
}

TCrawlSession::~TCrawlSession() {
    SetEngineMessageHook(nullptr);
    m_scan.ClearEvents();
}

void TCrawlSession::KeepExplanations() {
    m_decisions = std::make_unique<TLinkDecisionLog>();
    m_scan.OnLinkDecision = [this](THttpScan&, const TLinkDecision& Decision,
                                   const std::string& FromUrl,
                                   int Depth) { m_decisions->Note(Decision, FromUrl, Depth); };
}

void TCrawlSession::Begin() {
    ScheduleNext();
}

void TCrawlSession::ResumeAt(std::size_t Entry, const TJournalRun* Run, int PagesBefore,
                             std::vector<TSkippedUrl> SkippedBefore) {
    m_next = Entry;
    m_resumeRun = Run;
    m_pages = PagesBefore;
    m_skipped = std::move(SkippedBefore);
}

void TCrawlSession::ScheduleNext() {
    QTimer::singleShot(0, this, &TCrawlSession::StartNext);
}

void TCrawlSession::Say(const std::string& Text) {
    m_progress.Clear();
    std::fprintf(stderr, "tarnwick-crawl: %s\n", Text.c_str());
}

void TCrawlSession::Interrupt(int Signal) {
    if (m_signal != 0) return;
    m_signal = Signal;
    Say(InterruptNotice(Signal));
    // When no run is active, the pending zero-timer finds the flag and finishes.
    m_scan.Stop();
}

void TCrawlSession::OnError(const std::string& Message) {
    // Results, waiting links or a journal that cannot be kept end the crawl as a failure. A
    // page's failure is told by OnFetchFailed, with its reason.
    if (!m_scan.ResultsFileError().empty() || !m_scan.SpillFileError().empty() ||
        !m_scan.JournalError().empty())
        StopForWriteError(Message);
}

bool TCrawlSession::IsStartUrl(const std::string& Url) const {
    return m_next > 0 && (Url == m_urls[m_next - 1] || Url == m_scan.StartingUrl());
}

void TCrawlSession::RunEnded() {
    m_pages += m_runPages;
    if (m_runPages == 0 && m_signal == 0 && !m_writeFailed && m_next > 0)
        Say("no page could be fetched from " + m_urls[m_next - 1] +
            (m_startError.empty() ? std::string() : " (" + m_startError + ")"));
    ScheduleNext();
}

void TCrawlSession::FlushOutput() {
    if (!m_sink.Flush()) StopForWriteError(m_sink.Error());
}

void TCrawlSession::StopForWriteError(const std::string& Message) {
    if (m_writeFailed) return;
    m_writeFailed = true;
    Say(Message);
    m_scan.Stop();
}

void TCrawlSession::StartNext() {
    if (m_finished || m_scan.Running()) return;
    if (m_signal != 0 || m_writeFailed || m_next >= m_urls.size()) {
        m_finished = true;
        m_progress.Clear();
        emit Finished();
        return;
    }
    const std::string& url = m_urls[m_next];
    const int messagesBefore = m_messages;
    const TJournalRun* resumed = std::exchange(m_resumeRun, nullptr);
    m_runPages = resumed ? resumed->Fetched : 0;
    m_startError.clear();
    m_runClock.start();
    if (m_decisions) m_decisions->NoteStart(url);
    // A run is noted before it begins, so that a journal read later knows whose run follows.
    if (m_journal && !resumed)
        m_scan.JournalNote({"tarnwick-crawl", "entry", std::to_string(m_next)});
    ++m_next;
    if (!(resumed ? m_scan.Resume(*resumed) : m_scan.Start(url))) {
        if (m_decisions) m_decisions->Clear();
        ++m_refused;
        // The engine explains most refusals itself; the rest get a line of their own.
        if (m_messages == messagesBefore) {
            m_progress.Clear();
            std::fprintf(stderr, "tarnwick-crawl: the crawler refused to start %s\n", url.c_str());
        }
        ScheduleNext();
    }
}

void TCrawlSession::OnStats(int InQueue, int Downloading, int ToAnalyze, int Done, int Retries,
                            int Errors) {
    const double seconds = static_cast<double>(m_runClock.elapsed()) / 1000.0;
    const double rate = seconds > 0.0 ? Done / seconds : 0.0;
    char line[320];
    std::snprintf(line, sizeof line,
                  "[%zu/%zu] queue %d  deferred %d  loading %d  analysing %d  done %d  "
                  "retries %d  errors %d  skipped %zu  found %zu  %.1f pages/s  received %s  "
                  "decoded %s",
                  m_next, m_urls.size(), InQueue, m_scan.DeferredCount(), Downloading, ToAnalyze,
                  Done, Retries, Errors, m_skipped.size(), m_sink.Count(), rate,
                  ByteCountText(m_scan.BytesReceived()).c_str(),
                  ByteCountText(m_scan.BytesDecoded()).c_str());
    m_progress.Show(line);
}
