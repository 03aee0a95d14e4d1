#pragma once
// The download scheduler: the queue of URLs still to fetch, a pool of download slots and the
// run's counters. It advances in ticks (Tick, then CheckProgress) that run on the GUI thread.
// It never looks into pages or links; it reports through callbacks that the crawler's state
// object connects, and link analysis feeds new URLs back through AddUrl.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "EngineTypes.h"
#include "THttpGet.h"
#include "TServerPolicy.h"
#include "TUrlInQueue.h"
#include "TUrlOverflow.h"

// The run's counters, in the order OnStats passes them.
struct TRunStats {
    int InQueue = 0;
    int Downloading = 0;
    int ToAnalyze = 0;
    int Done = 0;
    int Retries = 0;
    int Errors = 0;
    bool operator==(const TRunStats&) const = default;
};

// How the scheduler finished with a queue entry.
enum class TEntryOutcome : unsigned char {
    Fetched,            // a page arrived and was analysed
    Error,              // an answer that is not retried, such as 404
    Failed,             // its last allowed attempt failed
    Retried,            // it failed and was queued again, as a new entry
    Robots,             // robots.txt refuses it
    RobotsUnreachable,  // its server's robots.txt could not be read
    NotHtml,            // the answer was no HTML page, so its body was not read
    Dropped,            // its URL could not be split
    SitemapRead,        // a sitemap file arrived and was read
    SitemapFailed,      // a sitemap file could not be had (told in the log only)
};
const char* EntryOutcomeText(TEntryOutcome Outcome);

class THttpDwnld {
public:
    THttpDwnld();
    ~THttpDwnld();
    THttpDwnld(const THttpDwnld&) = delete;
    THttpDwnld& operator=(const THttpDwnld&) = delete;

    // Queues Url at the end. The first call of a run resets the counters and the queue and
    // reports the run as working. Nothing is queued while stopping; duplicates and depth are the
    // callers' business. While the queue holds MaxQueueSize entries, or anything waits in
    // Overflow, the entry goes to the end of Overflow instead, so the order stays that of one
    // long queue. False only when Overflow could not take it: OnOverflowFailed has been told
    // and the run is stopping.
    bool AddUrl(const std::string& Url, TUrlObject Entry);
    int QueueCount() const { return m_queue.Count(); }
    // Entries waiting in Overflow for room in the queue.
    int DeferredCount() const { return Overflow.Count(); }
    // Marks the scheduler stopping and aborts every running download.
    void StopAll();
    void ResetRun();
    void SetWorking(bool Value);

    // One step: resize the pool, start idle slots, and move each slot on by one state.
    void Tick();
    // Reports changed counters; false once the run has been quiet for eleven ticks in a row.
    bool CheckProgress();

    // Whether the last Tick moved anything on: a slot changed state (a page analysed among
    // them), the queue changed or the pool was resized. Cheap; read after Tick.
    bool TickWasActive() const { return m_active; }
    // The pause an adaptive driver should take after this tick, in ms: none after an active
    // tick or during the quiet countdown, until a held report is due, else up to 50 ms (a
    // worker's end notice is expected to cut it short).
    int AdaptiveDelayMs() const;

    bool Stopping = false;
    bool Working = false;
    bool PriorityPending = false;
    bool LeavesFirst = false;  // the oldest entry is taken either way
    int ConcurrentDownloads = 3;
    int DepthLimit = 2;
    int Retries = 3;
    // False: a failed download is not tried again, whatever Retries says.
    bool RetriesEnabled = true;
    int TimeOut = 300;
    TSchedulerKind Kind = kindHtmlPages;
    // The queue in memory never grows beyond this; later entries wait in Overflow and move up,
    // oldest first, as the queue drains.
    int MaxQueueSize = 5000;
    TUrlOverflow Overflow;
    TConnectionSettings Connection;  // handed to every slot
    // Whether OnHeader may refuse an HTML answer (set Continue to false). A caller whose handler
    // never does clears it, and downloads then read the body without waiting for the handler.
    bool HeaderMayRefuse = true;
    // Consideration for servers (robots.txt, gaps, per-server limit, pauses). While it is not
    // Active the queue is taken in order, as ever.
    TServerPolicy Policy;
    // A server's robots.txt, once read for its rules, is also the answer of a queued page entry
    // of that URL: the file is requested once.
    bool ServeRobotsPages = false;

    int Done = 0;                // pages fetched with status 200 in this run
    int Errors = 0;              // downloads that failed on their last allowed attempt
    int RetriesCount = 0;        // entries put back into the queue for another attempt
    TTransferBytes Transferred;  // body bytes of this run's ended downloads
    int IdleCountdown = 10;
    // Holds changed counters back until 50 ms have passed since the last report, for drivers
    // that tick faster than that; the held change is reported by a later tick.
    bool ThrottleStats = false;

    // Callbacks, each optional.
    std::function<void(THttpDwnld&, THttpGet& Page)> OnPageReceived;
    std::function<void(THttpDwnld&, TSchedulerKind Kind, const std::string& Url, int Status,
                       const std::string& Message, const std::string& Referrer)>
        OnError;
    // Beside every OnError of a download: why the URL was not fetched.
    std::function<void(THttpDwnld&, const std::string& Url, const std::string& Referrer,
                       TFetchFailure Reason, int Status)>
        OnFailed;
    std::function<void(THttpDwnld&, const std::string& Text)> OnLog;
    std::function<void(THttpDwnld&, TSchedulerKind Kind, const std::string& Url,
                       const std::string& Headers, int Status, const std::string& ContentType,
                       int ContentLength, int Depth, bool& Continue, int CountArea)>
        OnHeader;
    std::function<void(THttpDwnld&, bool Working)> OnWorking;
    std::function<void(THttpDwnld&, TSchedulerKind Kind, int InQueue, int Downloading,
                       int ToAnalyze, int Done, int Retries, int Errors)>
        OnStats;
    // Overflow could not keep an entry (Overflow.Error() says why); the run is stopped after it.
    std::function<void(THttpDwnld&)> OnOverflowFailed;
    // An entry was queued (Entry.Id set), and the scheduler is done with an entry. Neither is
    // told while stopping: a stopped entry stays unfinished.
    std::function<void(const std::string& Url, const TUrlObject& Entry)> OnQueued;
    std::function<void(std::uint64_t Id, TEntryOutcome Outcome, const std::string& Url)>
        OnEntryDone;
    // The number of the last entry queued in this run; the next gets one more.
    std::uint64_t LastEntryId = 0;
    // Called whenever a slot's download has ended, or a crawler sharing Policy's servers freed
    // one (lets a driver wake up early).
    std::function<void()> OnSlotEnded;
    // A queued URL left unfetched because its server's robots.txt refuses it, or could not be
    // read (Cause and Status: what the robots.txt request met; None for a refusal by its rules).
    // For a hop of a redirect, the URL is the entry's own, and the hop's server decided.
    std::function<void(THttpDwnld&, const std::string& Url, const std::string& Referrer,
                       TServerReason Reason, TFetchFailure Cause, int Status)>
        OnSkipped;
    // A sitemap file arrived (any 2xx); its body is released after the call.
    std::function<void(THttpDwnld&, THttpGet& Sitemap)> OnSitemapReceived;
    // Server's robots.txt has been read (or found missing or unreadable): Policy knows its rules.
    std::function<void(const std::string& Server)> OnRobotsKnown;
    // Queued work waits a second or more for Server (once per pause or gap).
    std::function<void(THttpDwnld&, const std::string& Server, int Ms, TServerReason Reason)>
        OnServerWait;

    // The pool, readable for tests and statistics. It grows as queue entries wait for a slot, up
    // to ConcurrentDownloads.
    int SlotCount() const { return static_cast<int>(m_slots.size()); }
    const THttpGet& Slot(int Index) const { return *m_slots[static_cast<std::size_t>(Index)]; }

private:
    bool StartSlot(int Index);
    TUrlInQueue::Entry TakeEntry(int Index);
    void Refill();
    void OverflowFailed();
    void ResizePool();
    void StepSlot(int Index);
    // Tells OnRobotsKnown of the robots.txt files that crawlers sharing the servers have read.
    void TellRobotsLearned();
    void FinishReceived(THttpGet& slot);
    // A redirect answer: its next hop goes to the front of the queue, to wait for its server's
    // robots.txt and pause like any URL, or the download fails (too many hops, not http(s)).
    void FollowRedirect(THttpGet& slot);
    void FinishFailed(THttpGet& slot);
    void FinishSitemap(THttpGet& slot);
    // A sitemap is an extra: one that cannot be had is logged, never reported or counted.
    void SitemapFailed(const std::string& Url, std::uint64_t Id, const std::string& Why);
    void HeaderArrived(const std::string& Url, int CountArea, bool& Accept, int Depth,
                       int ContentLength, const std::string& ContentType, int StatusCode,
                       const std::string& Headers);
    void Log(const std::string& Text);
    // Tells OnEntryDone, unless stopping or the entry has no number (a server's robots.txt).
    void EntryDone(std::uint64_t Id, TEntryOutcome Outcome, const std::string& Url);
    int ChooseEntry();
    int ChooseReadyEntry(int SlotIndex, std::string& Server);
    void StartRobots(int SlotIndex, const std::string& Server);
    bool FinishWithServer(int SlotIndex);
    void NoteWait(const std::string& Server);
    void ReportStats(const TRunStats& Now);
    bool StatsDue() const;

    // A robots.txt answer kept for the page entry of its URL (ServeRobotsPages).
    struct TKeptAnswer {
        int Status = 0;
        std::string Headers, ContentType, Body;
    };
    void KeepRobotsAnswer(const std::string& Server, THttpGet& Slot);
    // Serves the entry from the robots.txt answer kept for its URL; false when there is none.
    bool ServeKeptAnswer(THttpGet& Slot, const TUrlInQueue::Entry& Entry,
                         const std::string& Server);
    std::unordered_map<std::string, TKeptAnswer> m_keptRobots;  // by server

    std::vector<std::unique_ptr<THttpGet>> m_slots;
    std::vector<std::string> m_slotServer;     // the server each slot's download counts against
    bool m_noneReady = false;                  // this tick found no queued URL that may start
    std::vector<std::string> m_robotsLearned;  // servers whose robots.txt another crawler read
    std::string m_waitServer;                  // the last wait reported, so it is told once
    TPolicyClock::time_point m_waitUntil{};
    TUrlInQueue m_queue;
    std::optional<TRunStats> m_last;  // none since the run's zero report: the next one is due
    int m_lastDeferred = 0;
    bool m_active = false;
    bool m_quiet = false;      // the last CheckProgress saw no queue and no busy slot
    bool m_statsHeld = false;  // a change waits for its report
    std::chrono::steady_clock::time_point m_lastReport{};
};
