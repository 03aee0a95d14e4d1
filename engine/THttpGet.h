#pragma once
// A download slot: the scheduler keeps a pool of them and reuses each for one queue entry after
// another. It holds the settings of the next download, starts and stops the worker
// (THttpThread), and receives the worker's results. Everything here runs on the GUI thread; the
// worker reaches the slot only through notices that run there too.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "CurlSupport.h"
#include "EngineTypes.h"
#include "FetchFailure.h"
#include "TBodyBudget.h"
#include "TCrackUrl.h"
#include "TMarkedPage.h"
#include "TUrlInQueue.h"

class THttpGet;
class THttpThread;
struct TFetchControl;

// The body bytes of one download: as they came over the wire (compressed, where the server
// compressed them) and as decoded.
struct TTransferBytes {
    std::uint64_t Received = 0;
    std::uint64_t Decoded = 0;
};

// What a successful download delivers to its slot with the end notice.
struct TDeliveredPage {
    std::string Body;      // the page's text as UTF-8 (a robots.txt: its bytes)
    std::string FinalUrl;  // empty when nothing redirected it
    std::string Encoding;  // the WHATWG name of the encoding the page was read in
    TBodyBudget::TPlace Place;
    TMarkedPage Marked;  // the page made ready for the link scan, unless it is large
};

// Called once per download when the response headers have arrived, before any body byte is
// kept. Setting Accept to false ends the download without its body, as skipped.
using THeaderCallback = std::function<void(
    THttpGet& Sender, const std::string& Url, int CountArea, bool& Accept, int Depth,
    int ContentLength, const std::string& ContentType, int StatusCode, const std::string& Headers)>;

class THttpGet {
public:
    THttpGet();
    // Never waits for a worker: a worker still running is told to stop and finishes alone.
    ~THttpGet();
    THttpGet(const THttpGet&) = delete;
    THttpGet& operator=(const THttpGet&) = delete;

    // Starts a download of UrlParts; a slot whose UrlParts are not Valid goes back to idle.
    void StartFetch();
    // Aborts the running download, if any; its end is still reported through SlotState.
    void StopFetch();

    // Settings of the next download, set per queue entry.
    TConnectionSettings Connection;
    int CountArea = 0;
    // The URL of the entry, which the page is credited to, also when it was redirected.
    TCrackUrl UrlParts;
    // A hop of a redirect that the scheduler follows: the address requested instead of
    // UrlParts, and the chain so far. Empty for the entry's own request.
    std::string HopUrl;
    TRedirectChain Chain;
    int Depth = 1;
    TFetchMode FetchMode = fetchPage;
    TTagKind TagKind = tagNone;
    std::string Referrer;
    int RetryCount = 0;
    std::uint64_t EntryId = 0;  // the queue entry being fetched; 0 for a server's robots.txt
    int TimeOut = 300;          // seconds, counted from the start of the download
    THeaderCallback OnHeader;
    // Whether OnHeader may refuse an HTML answer. Only then does the download wait for it
    // before reading the body; without, OnHeader still runs, before the end of the download.
    bool HeaderMayRefuse = true;
    // Called after the end of a download has been recorded (SlotState is slotFinished).
    std::function<void(THttpGet&)> OnEnd;

    // Outcome of the last download, readable once SlotState is slotFinished. Body is the page's
    // text, decoded into UTF-8 from its character set (a robots.txt's bytes as they came).
    std::string Body;
    // Body made ready for the link scan by the worker, where it did.
    TMarkedPage Marked;
    // The WHATWG name of the encoding the page was read in; empty for no page.
    std::string Encoding;
    TTransferBytes Transferred;
    std::string Headers;
    std::string ContentType;  // of the answer whose headers were read
    // Where the body came from after HTTP redirects; empty when nothing redirected it.
    std::string FinalUrl;
    // The address a redirect answer (301, 302, 303, 307, 308 with a Location) leads to, for the
    // scheduler to follow; empty for any other end. A robots.txt's redirects are followed within
    // the download.
    std::string RedirectTo;
    int ContentLength = 0;
    int StatusCode = 0;
    int RetryAfterMs = -1;  // what a 429 or 503 asked for with Retry-After; -1 without one
    // When the server was last in touch with the download: the later of its last request going
    // out and that request's answer beginning; unset when no request went out. A server's gap
    // counts from here.
    std::chrono::steady_clock::time_point ContactAt;
    bool Succeeded = false;
    bool Skipped = false;
    // Why the download failed: None when it succeeded, was skipped or was stopped.
    TFetchFailure Failure = TFetchFailure::None;

    TSlotState SlotState = slotRetired;
    bool WorkerActive = false;

    // Frees the body once it has been used, and with it its share of the engine's body budget.
    void ReleaseBody();
    // Ends the slot's download with an answer that an earlier request got, without a request of
    // its own: Body is the page's text as decoded.
    void DeliverWithoutRequest(int Status, std::string RawHeaders, std::string Type,
                               std::string PageText, std::string PageEncoding, bool WasSkipped);
    // The address the download asks: the hop, else the entry's URL.
    const std::string& RequestUrl() const { return HopUrl.empty() ? UrlParts.Url : HopUrl; }

private:
    friend class THttpThread;
    void StatusNotice(int Status, int RetryAfter);
    // A robots.txt's answer: its status and headers.
    void RobotsNotice(int Status, std::string RawHeaders, std::string Type);
    void HeaderNotice(const std::string& RawHeaders, int Status, const std::string& Type,
                      int Length, bool& Accept);
    // Page is what the download delivers, or null when it delivers none.
    void EndNotice(THttpThread* Worker, bool Success, bool WasSkipped, TFetchFailure Why,
                   TDeliveredPage* Page, TTransferBytes Bytes, std::string Redirect,
                   std::chrono::steady_clock::time_point Contact);

    // The slot's worker, kept from one download to the next. Not owned: told to quit, the
    // worker frees itself.
    std::shared_ptr<THttpThread> m_worker;
    std::shared_ptr<TFetchControl> m_control;
    TBodyBudget::TPlace m_bodyPlace;  // held while Body is a large one
};

// The per-server connection limits of the engine. Every accepted ConcurrentDownloads value sets
// them: Count for HTTP/1.1 servers and Count + 2 for HTTP/1.0 servers.
void SetConnectionLimit(int Count);
int MaxConnectionsPerServer();
int MaxConnectionsPer1_0Server();
