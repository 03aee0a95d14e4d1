#pragma once
// The fetch worker: a thread of its own per download slot, which performs one download after
// another, each the whole HTTP exchange with libcurl through the worker's multi handle, so that
// a stop request wakes it at once. The multi handle keeps the worker's idle connections, so the
// next download to the same server needs no new connection, and the thread outlives each
// download, so that no thread is started or ended per page.
// The header notice is a blocking call to the slot on the GUI thread (through the notice queue);
// the body travels with the end notice, a page's body decoded and, unless it is large, marked
// for the link scan (TMarkedPage), so that the GUI thread only reads the links out. The object
// is shared by its slot, its thread and the notices on their way, and goes with the last of
// them. The slot ends the thread with End, which waits for it, or lets a busy one finish its
// stopped download alone with Retire.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "CurlSupport.h"
#include "EngineTypes.h"
#include "FetchFailure.h"
#include "TBodyBudget.h"
#include "THttpGet.h"

class THttpGet;
class TNoticeQueue;

// The referrer a request for Target sends, as browsers send it by default: the whole Referrer
// (without user name and password) to the same origin (scheme, host and port), the origin alone
// ("https://host/") to another one, and nothing from https to http, or when either URL does not
// split.
std::string ReferrerFor(const std::string& Referrer, const std::string& Target);

// Whether an answer's Content-Type is a page whose body is read: it holds "text/html" or
// "application/xhtml+xml", in any case ("TEXT/HTML; charset=UTF-8").
bool IsPageContentType(std::string_view ContentType);

// Shared between a slot and its worker: the abort flag and the multi handle to wake.
struct TFetchControl {
    std::mutex Lock;
    CURLM* Multi = nullptr;  // set and cleared by the worker under Lock
    std::atomic<bool> Terminated{false};

    // GUI thread: marks the worker terminated and wakes a blocking wait.
    void Terminate();
};

// Everything one download needs, copied from the slot when it starts.
struct TFetchRequest {
    std::string Url;
    TConnectionSettings Connection;
    std::string Referrer;
    // A robots.txt: its body is kept whatever its type, only after a 2xx, and cut at the size
    // limit instead of failing.
    bool RobotsRules = false;
    // A sitemap file: its bytes are kept whatever its type, as they came, only after a 2xx, and
    // cut at the page size limit instead of failing (its reader reads at most 50 MB anyway).
    bool Sitemap = false;
    bool CutAtLimit() const { return RobotsRules || Sitemap; }
    // The slot may refuse an HTML answer after its headers: the worker waits for the verdict
    // before it reads the body. Without that, the header notice is sent on and the body read
    // at once.
    bool HeaderMayRefuse = true;
    // libcurl follows redirects itself (a robots.txt). Otherwise a redirect ends the download
    // with the address it leads to, and the scheduler requests that hop as a download of its own.
    bool FollowRedirects = false;
    // For such a hop: the URL its chain began with. Its origin alone may get the user name and
    // password written in it, or answer a 401 with the login. Empty for a first request.
    std::string ChainStart;
    std::chrono::steady_clock::time_point Deadline;
    TFetchLimits Limits;
};

class THttpThread : public std::enable_shared_from_this<THttpThread> {
public:
    // GUI thread. Made through std::make_shared: the thread holds the object while it runs.
    explicit THttpThread(THttpGet* Slot);
    THttpThread(const THttpThread&) = delete;
    THttpThread& operator=(const THttpThread&) = delete;

    // GUI thread: hands the next download to an idle worker (one that is not Busy). The thread
    // starts with the first one; if it cannot, the download ends as failed.
    void Give(TFetchRequest Request, std::shared_ptr<TFetchControl> Control);
    // GUI thread: a download was given and its end notice has not run yet.
    bool Busy() const { return m_busy; }
    // GUI thread: the slot is gone; no notice reaches it any more. The thread ends after the
    // download it runs, if any, which its slot has stopped; End waits for that, up to Bound
    // (a name lookup that libcurl cannot cut short may hold a thread longer: that one is left
    // to end alone). Retire does not wait at all.
    void End(std::chrono::milliseconds Bound);
    void Retire();
    ~THttpThread();

private:
    void Quit();
    void Run();
    void RunExchange();
    void ResetOutcome();
    // The transfer's result; CURLE_OPERATION_TIMEDOUT at the download's deadline and
    // CURLE_ABORTED_BY_CALLBACK when stopped.
    CURLcode Perform(CURL* easy);
    // Names why the exchange failed, unless a callback already did or the body was not wanted.
    void NoteFailure(CURL* easy, CURLcode Code);
    void NoteRedirect();
    // The end of a redirect that the scheduler follows: where it leads.
    void TakeRedirect(CURL* easy);
    // The user name and password written in ChainStart, for a hop back to its origin.
    void ApplyChainCredentials(CURL* easy) const;
    void EndOfWork();
    bool ApplyProxy(CURL* easy) const;
    size_t OnHeaderLine(const char* data, size_t size);
    size_t OnBodyData(const char* data, size_t size);
    // A body about to grow beyond the small ones takes a large place of the budget, waiting for
    // one; false when the download was stopped or ran out of time meanwhile.
    bool MakeRoom(std::size_t Size);
    // Frees the body that no one takes over, and its place of the budget.
    void DropBody();
    // The page as the slot gets it: decoded from its character set (a robots.txt as it came).
    void FinishBody(CURL* easy);
    bool GateResponse();
    bool GateSitemap();
    std::string RedirectedUrl(CURL* easy) const;
    bool MaySendCredentials(CURL* easy) const;
    long RemainingMs() const;
    void ResetAttempt();
    // Runs Notice with the slot on the GUI thread (not at all once the slot is gone), in the
    // order sent and before the end notice; Wait: returns after it has run.
    void Notify(std::function<void(THttpGet&)> Notice, bool Wait);

    static size_t HeaderThunk(char* data, size_t size, size_t count, void* self);
    static size_t WriteThunk(char* data, size_t size, size_t count, void* self);
    static int SentThunk(void* self, char* remoteIp, char* localIp, int remotePort, int localPort);

    THttpGet* m_slot;      // GUI thread only
    bool m_busy = false;   // GUI thread only
    std::thread m_thread;  // GUI thread only: joined or detached when the slot lets go
    std::shared_ptr<TNoticeQueue> m_queue;

    // The next download, handed over under m_jobLock.
    std::mutex m_jobLock;
    std::condition_variable m_jobReady;
    bool m_hasJob = false;  // guarded by m_jobLock
    bool m_quit = false;    // guarded by m_jobLock
    bool m_ended = false;   // guarded by m_jobLock: the thread has left its work
    std::condition_variable m_endedSignal;
    TFetchRequest m_nextRequest;
    std::shared_ptr<TFetchControl> m_nextControl;

    // The download being run: worker thread only while it runs.
    TFetchRequest m_request;
    std::shared_ptr<TFetchControl> m_control;
    TCurlMulti m_multi;      // the worker's connections, kept from one download to the next
    TCurlEasy m_easyHandle;  // emptied and used again for each download: no handle made per page

    // Worker-thread state of the exchange.
    std::string m_headers;
    std::string m_contentType;  // of the answer whose body is read
    std::string m_body;
    TBodyBudget::TPlace m_place;  // a large place of the body budget, once the body needs one
    int m_status = 0;
    bool m_hasLocation = false;
    bool m_gated = false;        // the final response's headers were judged
    bool m_authPending = false;  // a 401/407 was met; the exchange is repeated with credentials
    CURL* m_easy = nullptr;      // the transfer that Perform drives, for the redirect notes
    std::vector<std::string> m_hops;  // the addresses that answered with a followed redirect
    bool m_redirectLoop = false;      // a redirect came back to one of them
    bool m_redirectPending = false;   // the last answer was a redirect that libcurl follows
    bool m_redirect = false;          // the answer is a redirect for the scheduler to follow
    std::size_t m_bytesRead = 0;

    // A notice the worker waits for: the GUI thread counts the notices it has run.
    std::mutex m_noticeLock;
    std::condition_variable m_noticeDone;
    std::uint64_t m_noticesSent = 0;  // worker thread only
    std::uint64_t m_noticesRun = 0;   // guarded by m_noticeLock
    bool m_released = false;          // guarded by m_noticeLock: the slot waits for no notice

    // Outcome, read on the GUI thread in the end notice, before the next download is given; the
    // notice queue's lock carries it over.
    bool m_success = true;
    bool m_skipped = false;
    TFetchFailure m_failure = TFetchFailure::None;  // why it failed, when it did
    bool m_bodyReady = false;  // m_body is the page to hand over with the end notice
    bool m_cut = false;        // a robots.txt body reached its size limit
    std::string m_finalUrl;    // the page's address after redirects, empty without any
    std::string m_redirectTo;  // where a redirect answer leads, for the scheduler
    std::string m_encoding;    // the encoding the page was decoded from
    TMarkedPage m_marked;      // the page made ready for the link scan, when it is small
    TTransferBytes m_transferred;
    // When the server was last in touch with the exchange: a request going out, then its answer
    // beginning. A server's gap counts from the latest, as its log notes the request by then.
    std::chrono::steady_clock::time_point m_contactAt;
};
