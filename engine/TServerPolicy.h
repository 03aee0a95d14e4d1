#pragma once
// Consideration for the servers of a crawl: each server's robots.txt, the gap between two request
// starts to one server, the number of parallel downloads to one server, and the pauses that 429
// and 503 answers ask for. A server is a scheme, host and port ("http://example.org:80"). The
// scheduler asks Judge before it starts a queued URL and reports starts, ends and answers back.
// GUI thread only. Times are passed in, so the rules are tested without waiting.
//
// Several policies of one thread may share their servers (ShareWith): each keeps its own
// settings and verdict, but a server's robots.txt, gap, pause and running downloads are one
// for all of them, so that crawlers working side by side treat each server as one crawler would.

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "FetchFailure.h"
#include "TRobotsTxt.h"

using TPolicyClock = std::chrono::steady_clock;

struct TServerPolicySettings {
    bool ObeyRobotsTxt = false;
    int DelayMs = 0;       // the user's own minimum gap between two requests to one server
    int MaxPerServer = 0;  // parallel downloads to one server; 0: no limit of its own
    std::string Agent;     // its product token chooses the robots.txt group
};

enum class TServerVerdict {
    Start,        // may be fetched now
    Wait,         // its server waits: robots.txt on its way, a gap, a pause or the limit
    FetchRobots,  // its server's robots.txt must be fetched first
    Refuse,       // robots.txt forbids it (or could not be read: nothing is allowed then)
};

// Why a server waits or a URL is refused, for the owner's messages.
enum class TServerReason {
    None,
    RobotsPending,
    Delay,
    CrawlDelay,
    RetryAfter,
    Backoff,
    Limit,
    RobotsDisallowed,
    RobotsUnreachable
};
const char* ServerReasonText(TServerReason Reason);

class TServerPolicy {
public:
    TServerPolicy();
    ~TServerPolicy();
    TServerPolicy(const TServerPolicy&) = delete;
    TServerPolicy& operator=(const TServerPolicy&) = delete;

    // A Retry-After longer than this is taken as this.
    static constexpr int kMaxRetryAfterMs = 120 * 1000;
    // A 429 without Retry-After pauses 1 s, then twice as long each time, up to this.
    static constexpr int kMaxBackoffMs = 60 * 1000;

    TServerPolicySettings Settings;

    // False while nothing can hold a URL back: no setting in force and no server paused. The
    // scheduler then takes its queue in order without asking.
    bool Active() const;

    TServerVerdict Judge(const std::string& Server, const std::string& Url,
                         TPolicyClock::time_point Now);
    // The reason of the last Wait or Refuse verdict, and for a Wait the time it lasts (ms).
    TServerReason LastReason() const { return m_lastReason; }
    int LastWaitMs() const { return m_lastWaitMs; }
    // For a RobotsUnreachable refusal: what the robots.txt request met (connection refused, a
    // time-out, or HttpStatus with the status of a server error).
    TFetchFailure LastFailure() const { return m_lastFailure; }
    int LastFailureStatus() const { return m_lastFailureStatus; }

    // The gap to a server's next download counts from Now, and once the download has ended from
    // the server's last contact with it (Contact: when its last request went out or, later, its
    // answer began; unset when unknown): a request leaves at no fixed time after its start, and a
    // server notes it at no fixed time after that.
    void DownloadStarted(const std::string& Server, TPolicyClock::time_point Now);
    void DownloadEnded(const std::string& Server, TPolicyClock::time_point Contact = {});
    void RobotsFetchStarted(const std::string& Server);
    // The robots.txt answer: Status 0 when the server could not be reached, and Why what the
    // request met then; Complete when the body arrived whole (or cut at its size limit).
    // Contact as for DownloadEnded; the user's delay (not a Crawl-delay) counts from there.
    void RobotsArrived(const std::string& Server, int Status, bool Complete, std::string_view Body,
                       TFetchFailure Why = TFetchFailure::None,
                       TPolicyClock::time_point Contact = {});
    // Server's robots.txt rules once they are known; null before, and when its robots.txt
    // could not be read.
    const TRobotsTxt* RulesOf(const std::string& Server) const;

    // Any answer of Server. A 429 or 503 pauses it for RetryAfterMs (-1: no header); without the
    // header a 429 pauses by the back-off, a 503 not at all. Another answer ends a back-off.
    // Returns the pause in ms, 0 for none.
    int Answered(const std::string& Server, int Status, int RetryAfterMs,
                 TPolicyClock::time_point Now);
    bool HasBackoff() const { return m_shared->Backoffs > 0; }

    // ms until the first waiting server may start again, -1 when none waits.
    int MsUntilReady(TPolicyClock::time_point Now) const;
    // A new run: forgets every server unless they are shared, since other crawlers (or later
    // runs of the owner) still count on them.
    void NewRun();

    // From now on this policy works on Other's servers (its own are forgotten), and neither
    // clears them at a new run. Other may be this policy itself: it then keeps its servers from
    // run to run. Call it while this policy's owner has no download running.
    void ShareWith(TServerPolicy& Other);
    bool Shared() const;
    // Told to every other policy of the same servers when this one ends a download of Server, or
    // learns its robots.txt (RobotsKnown): URLs waiting there may go on. Never told to the policy
    // that caused it.
    std::function<void(const std::string& Server, bool RobotsKnown)> OnServerFreed;
    // A robots.txt request given up before its answer (its run stopped): the server is as if
    // never asked, rather than unreachable for every crawler that shares it.
    void RobotsAbandoned(const std::string& Server);

private:
    enum class TRobotsState { Unknown, Fetching, Known };
    struct TServer {
        TRobotsState Robots = TRobotsState::Unknown;
        TRobotsTxt Rules;
        bool Unreachable = false;
        TFetchFailure UnreachableWhy = TFetchFailure::None;
        int UnreachableStatus = 0;
        TPolicyClock::time_point NextStart{};
        TPolicyClock::time_point PausedUntil{};
        TServerReason PauseReason = TServerReason::None;
        int Running = 0;
        int BackoffMs = 0;
    };
    // What sharing policies have in common.
    struct TServers {
        std::unordered_map<std::string, TServer> Map;
        bool Paused = false;  // some server was paused in this run
        int Backoffs = 0;     // servers in a 429 back-off
        bool Kept = false;    // shared: a new run clears nothing
        std::vector<TServerPolicy*> Members;
    };
    int GapMs(const TServer& Server) const;
    void Leave();
    void TellOthers(const std::string& Server, bool RobotsKnown);

    std::shared_ptr<TServers> m_shared;
    TServerReason m_lastReason = TServerReason::None;
    int m_lastWaitMs = 0;
    TFetchFailure m_lastFailure = TFetchFailure::None;
    int m_lastFailureStatus = 0;
};

// The server of an absolute URL: lower-case scheme and host with the port, written or default
// ("http://example.org:80"). Empty when the text has no "://".
std::string ServerOf(std::string_view Url);

// The time a Retry-After value asks for, in ms: delay-seconds or an HTTP date (taken against
// Now, the wall clock in seconds); -1 when the value is neither.
int RetryAfterMs(std::string_view Value, long long NowSeconds);
