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
    if (m_control) m_control->Terminate();
    // Its download is stopped, so the worker ends at once; waiting for it keeps its connections
    // and transfers from outliving the program's libcurl.
    if (m_worker) m_worker->End(std::chrono::seconds(2));
}

void THttpGet::StartFetch() {
    if (!UrlParts.Valid) {
        SlotState = slotIdle;
        return;
    }
    SlotState = slotDownloading;
    Skipped = false;
    Succeeded = false;
    Failure = TFetchFailure::None;
    StatusCode = 0;
    RetryAfterMs = -1;
    if (WorkerActive) return;
    ContentLength = 0;
    ReleaseBody();
    Headers.clear();
    FinalUrl.clear();
    RedirectTo.clear();
    ContentType.clear();
    Encoding.clear();
    Transferred = {};
    ContactAt = {};

    TFetchRequest request;
    request.Url = RequestUrl();
    if (!HopUrl.empty()) request.ChainStart = UrlParts.Url;
    request.Connection = Connection;
    request.Referrer = Referrer;
    request.RobotsRules = FetchMode == fetchRobots;
    request.Sitemap = FetchMode == fetchSitemap;
    // A robots.txt's hops need no rules of their own, so libcurl follows them; every other
    // redirect goes back to the scheduler, which checks each hop against its server's rules.
    request.FollowRedirects = request.RobotsRules;
    request.HeaderMayRefuse = HeaderMayRefuse;
    request.Deadline = std::chrono::steady_clock::now() +
                       std::chrono::milliseconds(static_cast<long long>(TimeOut) * 1000);
    request.Limits = FetchLimits();
    if (request.RobotsRules) {
        // RFC 9309: five redirects at most, and 500 KiB are enough to read.
        request.Limits.MaxRedirects = std::min(request.Limits.MaxRedirects, 5L);
        request.Limits.MaxBodyBytes = TRobotsTxt::kMaxBytes;
    }

    m_control = std::make_shared<TFetchControl>();
    // A worker still busy with a stopped download finishes it alone and ends; a new one, with
    // connections of its own, takes this download.
    if (m_worker && m_worker->Busy()) {
        m_worker->Retire();
        m_worker.reset();
    }
    if (!m_worker) m_worker = std::make_shared<THttpThread>(this);
    WorkerActive = true;
    m_worker->Give(std::move(request), m_control);
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

void THttpGet::RobotsNotice(int Status, std::string RawHeaders, std::string Type) {
    StatusCode = Status;
    Headers = std::move(RawHeaders);
    ContentType = std::move(Type);
}

void THttpGet::DeliverWithoutRequest(int Status, std::string RawHeaders, std::string Type,
                                     std::string PageText, std::string PageEncoding,
                                     bool WasSkipped) {
    ReleaseBody();
    StatusCode = Status;
    RetryAfterMs = -1;
    Headers = std::move(RawHeaders);
    ContentType = std::move(Type);
    ContentLength = 0;
    FinalUrl.clear();
    RedirectTo.clear();
    Transferred = {};
    ContactAt = {};
    Skipped = WasSkipped;
    // As a download of its own: an empty page is a failure; the body of an error answer is not
    // kept, and its status is what counts.
    const bool page = Status >= 200 && Status < 300;
    Succeeded = !WasSkipped && (!PageText.empty() || !page);
    Failure = Succeeded || WasSkipped ? TFetchFailure::None : TFetchFailure::EmptyBody;
    Body = std::move(PageText);
    Encoding = std::move(PageEncoding);
    SlotState = slotFinished;
}

void THttpGet::HeaderNotice(const std::string& RawHeaders, int Status, const std::string& Type,
                            int Length, bool& Accept) {
    ContentLength = Length;
    Headers = RawHeaders;
    ContentType = Type;
    if (OnHeader)
        OnHeader(*this, UrlParts.Url, CountArea, Accept, Depth, ContentLength, Type, Status,
                 Headers);
}

void THttpGet::ReleaseBody() {
    Body.clear();
    Body.shrink_to_fit();
    Marked.Clear();
    m_bodyPlace.Release();
}

void THttpGet::EndNotice(THttpThread* Worker, bool Success, bool WasSkipped, TFetchFailure Why,
                         TDeliveredPage* Page, TTransferBytes Bytes, std::string Redirect,
                         std::chrono::steady_clock::time_point Contact) {
    if (Worker != m_worker.get()) return;  // a stopped worker that a newer one replaced
    if (Page) {
        Body = std::move(Page->Body);
        Marked = std::move(Page->Marked);
        FinalUrl = std::move(Page->FinalUrl);
        Encoding = std::move(Page->Encoding);
        m_bodyPlace = std::move(Page->Place);
    }
    Transferred = Bytes;
    ContactAt = Contact;
    RedirectTo = std::move(Redirect);
    m_control.reset();
    Succeeded = Success;
    Skipped = WasSkipped;
    Failure = Why;
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
