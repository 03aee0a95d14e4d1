#include "CrawlSession.h"

#include <QTimer>

#include "EngineMessage.h"
#include "ExplainOutput.h"
#include "HarvestText.h"
#include "THttpScan.h"
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

TCrawlSession::TCrawlSession(THttpScan& Scan, std::vector<std::string> StartUrls,
                             TProgressLine& Progress)
    : m_scan(Scan), m_urls(std::move(StartUrls)), m_progress(Progress) {
    SetEngineMessageHook([this](const std::string& message) {
        ++m_messages;
        m_progress.Clear();
        std::fprintf(stderr, "tarnwick-crawl: %s\n", message.c_str());
    });
    m_scan.OnLinkFound = [this](THttpScan&, const std::string& UrlFound,
                                const std::string& TypeLink, const std::string& FromUrl,
                                const std::string&, const std::string&, const std::string&,
                                const std::string&, std::string&, char, int, bool&) {
        m_items.push_back({TypeLink, ResultText(TypeLink, UrlFound), FromUrl});
    };
    // The engine reads page heads, and so follows meta refresh redirects, only for a listener.
    m_scan.OnMetaTag = [](THttpScan&, const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&,
                          const std::string&, const std::string&, const std::string&) {};
    m_scan.OnSkipped = [this](THttpScan&, const std::string& Url, const std::string&,
                              const std::string& Reason) {
        m_skipped.push_back({Url, Reason});
        if (m_decisions) m_decisions->NoteNotFetched(Url, TLinkReason::Robots);
    };
    m_scan.OnUpdatedStats = [this](THttpScan&, int q, int d, int a, int done, int r, int e) {
        OnStats(q, d, a, done, r, e);
    };
    m_scan.OnWorking = [this](THttpScan&, bool working) {
        // The crawler empties its visited lists only after this handler returns, so the next
        // run must start from the event loop.
        if (working) return;
        if (m_decisions) {
            m_explained += FormatExplained(*m_decisions);
            m_decisions->Clear();
        }
        ScheduleNext();
    };
}

TCrawlSession::~TCrawlSession() {
    SetEngineMessageHook(nullptr);
    m_scan.OnLinkFound = nullptr;
    m_scan.OnMetaTag = nullptr;
    m_scan.OnSkipped = nullptr;
    m_scan.OnUpdatedStats = nullptr;
    m_scan.OnWorking = nullptr;
    m_scan.OnLinkDecision = nullptr;
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

void TCrawlSession::ScheduleNext() {
    QTimer::singleShot(0, this, &TCrawlSession::StartNext);
}

void TCrawlSession::Interrupt() {
    if (m_interrupted) return;
    m_interrupted = true;
    m_progress.Clear();
    std::fputs("tarnwick-crawl: interrupted, stopping (Ctrl-C again quits without writing)\n",
               stderr);
    // When no run is active, the pending zero-timer finds the flag and finishes.
    m_scan.Stop();
}

void TCrawlSession::StartNext() {
    if (m_finished || m_scan.Running()) return;
    if (m_interrupted || m_next >= m_urls.size()) {
        m_finished = true;
        m_progress.Clear();
        emit Finished();
        return;
    }
    const std::string& url = m_urls[m_next++];
    const int messagesBefore = m_messages;
    m_runClock.start();
    if (m_decisions) m_decisions->NoteStart(url);
    if (!m_scan.Start(url)) {
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
    char line[256];
    std::snprintf(line, sizeof line,
                  "[%zu/%zu] queue %d  loading %d  analysing %d  done %d  retries %d  errors %d  "
                  "skipped %zu  "
                  "found %zu  %.1f pages/s",
                  m_next, m_urls.size(), InQueue, Downloading, ToAnalyze, Done, Retries, Errors,
                  m_skipped.size(), m_items.size(), rate);
    m_progress.Show(line);
}
