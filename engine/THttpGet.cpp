#include "THttpGet.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "THttpThread.h"
#include "TRobotsTxt.h"

namespace {
std::atomic<int> gMaxConnectionsPerServer{6};
std::atomic<int> gMaxConnectionsPer1_0Server{8};
}  // namespace

THttpGet::THttpGet() = default;

THttpGet::~THttpGet() {
    if (m_worker) m_worker->DetachSlot();
    if (m_control) m_control->Terminate();
}

void THttpGet::StartFetch(unsigned char NewKind) {
    if (!UrlParts.Valid) {
        SlotState = slotIdle;
        return;
    }
    SlotState = slotDownloading;
    Kind = NewKind;
    Skipped = false;
    Succeeded = false;
    StatusCode = 0;
    RetryAfterMs = -1;
    if (WorkerActive) return;
    ContentLength = 0;
    Body.clear();
    Headers.clear();
    FinalUrl.clear();

    TFetchRequest request;
    request.Url = UrlParts.Url;
    request.Connection = Connection;
    request.Referrer = Referrer;
    request.KeepBody = FetchMode == 1 || FetchMode == kFetchRobots;
    request.RobotsRules = FetchMode == kFetchRobots;
    request.Deadline = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<long long>(TimeOut) * 1000);
    request.Limits = FetchLimits();
    if (request.RobotsRules) {
        // RFC 9309: five redirects at most, and 500 KiB are enough to read.
        request.Limits.MaxRedirects = std::min(request.Limits.MaxRedirects, 5L);
        request.Limits.MaxBodyBytes = TRobotsTxt::kMaxBytes;
    }

    m_control = std::make_shared<TFetchControl>();
    // The worker deletes itself after its end notice (Qt's deleteLater).
    // A worker that was stopped may still hold the connections; this one then starts afresh.
    m_worker = new THttpThread(this, std::move(request), m_control, std::move(m_connections));
    WorkerActive = true;
    m_worker->start();
}

void THttpGet::StopFetch() {
    if (!WorkerActive) return;
    if (m_control) m_control->Terminate();
    WorkerActive = false;
}

void THttpGet::StatusNotice(int Status, int RetryAfter) {
    StatusCode = Status;
    RetryAfterMs = RetryAfter;
}

void THttpGet::HeaderNotice(const std::string& RawHeaders, int Status,
                            const std::string& ContentType, int Length, bool& Accept,
                            THttpThread& /*Worker*/) {
    ContentLength = Length;
    Headers = RawHeaders;
    if (OnHeader)
        OnHeader(*this, UrlParts.Url, CountArea, Accept, Depth, ContentLength, ContentType, Status,
                 Headers);
}

void THttpGet::EndNotice(THttpThread* Worker, bool Success, bool WasSkipped, TCurlMulti Multi,
                         std::string* Page, std::string* PageFinalUrl) {
    if (!m_connections) m_connections = std::move(Multi);
    if (Worker != m_worker) return;  // a stopped worker that a newer download replaced
    if (Page) Body = std::move(*Page);
    if (PageFinalUrl) FinalUrl = std::move(*PageFinalUrl);
    m_worker = nullptr;
    m_control.reset();
    Succeeded = Success;
    Skipped = WasSkipped;
    WorkerActive = false;
    SlotState = slotFinished;
    if (OnEnd) OnEnd(*this);
}

void SetConnectionLimit(int Count) {
    if (Count <= 0) return;
    gMaxConnectionsPerServer = Count;
    gMaxConnectionsPer1_0Server = Count + 2;
}

int MaxConnectionsPerServer() {
    return gMaxConnectionsPerServer;
}
int MaxConnectionsPer1_0Server() {
    return gMaxConnectionsPer1_0Server;
}
