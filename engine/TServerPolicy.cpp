#include "TServerPolicy.h"

#include <curl/curl.h>

#include <algorithm>
#include <charconv>
#include <string>

#include "AsciiCase.h"

namespace {

int MsBetween(TPolicyClock::time_point From, TPolicyClock::time_point To) {
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(To - From).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, 24LL * 3600 * 1000));
}

}  // namespace

const char* ServerReasonText(TServerReason Reason) {
    switch (Reason) {
        case TServerReason::None:
            return "";
        case TServerReason::RobotsPending:
            return "robots.txt";
        case TServerReason::Delay:
            return "delay";
        case TServerReason::CrawlDelay:
            return "Crawl-delay";
        case TServerReason::RetryAfter:
            return "Retry-After";
        case TServerReason::Backoff:
            return "429";
        case TServerReason::Limit:
            return "limit";
        case TServerReason::RobotsDisallowed:
            return "robots";
        case TServerReason::RobotsUnreachable:
            return "robots-unreachable";
    }
    return "";
}

TServerPolicy::TServerPolicy() : m_shared(std::make_shared<TServers>()) {
    m_shared->Members.push_back(this);
}

TServerPolicy::~TServerPolicy() {
    Leave();
}

void TServerPolicy::Leave() {
    auto& members = m_shared->Members;
    members.erase(std::remove(members.begin(), members.end(), this), members.end());
}

void TServerPolicy::ShareWith(TServerPolicy& Other) {
    if (Other.m_shared != m_shared) {
        Leave();
        m_shared = Other.m_shared;
        m_shared->Members.push_back(this);
    }
    m_shared->Kept = true;
}

bool TServerPolicy::Shared() const {
    return m_shared->Kept;
}

void TServerPolicy::TellOthers(const std::string& Server, bool RobotsKnown) {
    // A copy: a listener may not change the members, but the walk must not depend on it.
    const std::vector<TServerPolicy*> members = m_shared->Members;
    for (TServerPolicy* member : members)
        if (member != this && member->OnServerFreed) member->OnServerFreed(Server, RobotsKnown);
}

bool TServerPolicy::Active() const {
    return Settings.ObeyRobotsTxt || Settings.DelayMs > 0 || Settings.MaxPerServer > 0 ||
           m_shared->Paused;
}

int TServerPolicy::GapMs(const TServer& Server) const {
    const int crawlDelay = Settings.ObeyRobotsTxt && Server.Robots == TRobotsState::Known
                               ? Server.Rules.CrawlDelayMs()
                               : 0;
    return std::max(Settings.DelayMs, crawlDelay);
}

TServerVerdict TServerPolicy::Judge(const std::string& Server, const std::string& Url,
                                    TPolicyClock::time_point Now) {
    TServer& server = m_shared->Map[Server];
    m_lastWaitMs = 0;
    const auto wait = [&](TServerReason Reason, TPolicyClock::time_point Until) {
        m_lastReason = Reason;
        m_lastWaitMs = MsBetween(Now, Until);
        return TServerVerdict::Wait;
    };
    if (Settings.ObeyRobotsTxt) {
        if (server.Robots == TRobotsState::Unknown) {
            m_lastReason = TServerReason::RobotsPending;
            return TServerVerdict::FetchRobots;
        }
        if (server.Robots == TRobotsState::Fetching) return wait(TServerReason::RobotsPending, Now);
        if (!server.Rules.Allows(PathAndQueryOf(Url))) {
            m_lastReason = server.Unreachable ? TServerReason::RobotsUnreachable
                                              : TServerReason::RobotsDisallowed;
            m_lastFailure = server.UnreachableWhy;
            m_lastFailureStatus = server.UnreachableStatus;
            return TServerVerdict::Refuse;
        }
    }
    if (Now < server.PausedUntil) return wait(server.PauseReason, server.PausedUntil);
    if (Now < server.NextStart) {
        const bool crawlDelay = GapMs(server) > Settings.DelayMs;
        return wait(crawlDelay ? TServerReason::CrawlDelay : TServerReason::Delay,
                    server.NextStart);
    }
    if (Settings.MaxPerServer > 0 && server.Running >= Settings.MaxPerServer)
        return wait(TServerReason::Limit, Now);
    m_lastReason = TServerReason::None;
    return TServerVerdict::Start;
}

void TServerPolicy::DownloadStarted(const std::string& Server, TPolicyClock::time_point Now) {
    TServer& server = m_shared->Map[Server];
    ++server.Running;
    server.NextStart = Now + std::chrono::milliseconds(GapMs(server));
}

void TServerPolicy::DownloadEnded(const std::string& Server, TPolicyClock::time_point Contact) {
    const auto found = m_shared->Map.find(Server);
    if (found == m_shared->Map.end() || found->second.Running == 0) return;
    TServer& server = found->second;
    --server.Running;
    if (Contact != TPolicyClock::time_point{})
        server.NextStart =
            std::max(server.NextStart, Contact + std::chrono::milliseconds(GapMs(server)));
    TellOthers(Server, false);
}

void TServerPolicy::RobotsFetchStarted(const std::string& Server) {
    m_shared->Map[Server].Robots = TRobotsState::Fetching;
}

void TServerPolicy::RobotsArrived(const std::string& Server, int Status, bool Complete,
                                  std::string_view Body, TFetchFailure Why,
                                  TPolicyClock::time_point Contact) {
    TServer& server = m_shared->Map[Server];
    server.Robots = TRobotsState::Known;
    server.Unreachable = false;
    server.UnreachableWhy = TFetchFailure::None;
    server.UnreachableStatus = 0;
    if (Status >= 200 && Status < 300 && Complete) {
        server.Rules = TRobotsTxt::Parse(Body, ProductTokenOf(Settings.Agent));
    } else if (Status >= 300 && Status < 500) {
        server.Rules = TRobotsTxt::AllowAll();  // no file (or redirected too often): no rules
    } else {
        server.Rules = TRobotsTxt::DisallowAll();  // the server cannot say what it allows
        server.Unreachable = true;
        // What the user can act on: no answer at all (and why), or the server's error status.
        server.UnreachableWhy = Why != TFetchFailure::None ? Why
                                                           : (Status > 0 ? TFetchFailure::HttpStatus
                                                                         : TFetchFailure::None);
        server.UnreachableStatus = Status;
    }
    // The user's own gap holds between any two requests; a Crawl-delay spaces pages only.
    if (Contact != TPolicyClock::time_point{})
        server.NextStart =
            std::max(server.NextStart, Contact + std::chrono::milliseconds(Settings.DelayMs));
    TellOthers(Server, true);
}

void TServerPolicy::RobotsAbandoned(const std::string& Server) {
    const auto found = m_shared->Map.find(Server);
    if (found == m_shared->Map.end() || found->second.Robots != TRobotsState::Fetching) return;
    found->second.Robots = TRobotsState::Unknown;
    TellOthers(Server, false);
}

const TRobotsTxt* TServerPolicy::RulesOf(const std::string& Server) const {
    const auto found = m_shared->Map.find(Server);
    if (found == m_shared->Map.end() || found->second.Robots != TRobotsState::Known ||
        found->second.Unreachable)
        return nullptr;
    return &found->second.Rules;
}

int TServerPolicy::Answered(const std::string& Server, int Status, int RetryAfter,
                            TPolicyClock::time_point Now) {
    TServer& server = m_shared->Map[Server];
    int pauseMs = 0;
    if ((Status == 429 || Status == 503) && RetryAfter >= 0) {
        pauseMs = std::min(RetryAfter, kMaxRetryAfterMs);
        server.PauseReason = TServerReason::RetryAfter;
    } else if (Status == 429) {
        if (server.BackoffMs == 0) ++m_shared->Backoffs;
        server.BackoffMs =
            server.BackoffMs == 0 ? 1000 : std::min(server.BackoffMs * 2, kMaxBackoffMs);
        pauseMs = server.BackoffMs;
        server.PauseReason = TServerReason::Backoff;
    }
    if (Status != 429 && server.BackoffMs > 0) {
        server.BackoffMs = 0;
        --m_shared->Backoffs;
    }
    if (pauseMs > 0) {
        server.PausedUntil = std::max(server.PausedUntil, Now + std::chrono::milliseconds(pauseMs));
        m_shared->Paused = true;
    }
    return pauseMs;
}

int TServerPolicy::MsUntilReady(TPolicyClock::time_point Now) const {
    int soonest = -1;
    for (const auto& [name, server] : m_shared->Map) {
        const TPolicyClock::time_point ready = std::max(server.NextStart, server.PausedUntil);
        if (ready <= Now) continue;
        const int ms = MsBetween(Now, ready);
        if (soonest < 0 || ms < soonest) soonest = ms;
    }
    return soonest;
}

void TServerPolicy::NewRun() {
    if (!Shared()) {
        m_shared->Map.clear();
        m_shared->Paused = false;
        m_shared->Backoffs = 0;
    }
    m_lastReason = TServerReason::None;
    m_lastWaitMs = 0;
}

std::string ServerOf(std::string_view Url) {
    const std::size_t separator = Url.find("://");
    if (separator == std::string_view::npos) return {};
    const std::string scheme = AsciiLowerCase(Url.substr(0, separator));
    std::string_view authority = Url.substr(separator + 3);
    authority = authority.substr(0, authority.find_first_of("/?#"));
    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);
    const std::size_t bracket = authority.rfind(']');
    const std::size_t colon = authority.rfind(':');
    std::string_view host = authority;
    std::string_view port;
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
        host = authority.substr(0, colon);
        port = authority.substr(colon + 1);
    }
    if (port.empty()) port = scheme == "https" ? "443" : "80";
    return scheme + "://" + AsciiLowerCase(host) + ":" + std::string(port);
}

int RetryAfterMs(std::string_view Value, long long NowSeconds) {
    while (!Value.empty() && (Value.front() == ' ' || Value.front() == '\t'))
        Value.remove_prefix(1);
    while (!Value.empty() && (Value.back() == ' ' || Value.back() == '\t' || Value.back() == '\r'))
        Value.remove_suffix(1);
    if (Value.empty()) return -1;
    long long seconds = 0;
    const auto [end, error] = std::from_chars(Value.data(), Value.data() + Value.size(), seconds);
    if (error == std::errc() && end == Value.data() + Value.size())
        return seconds < 0 ? -1 : static_cast<int>(std::min<long long>(seconds, 24 * 3600) * 1000);
    if (error == std::errc::result_out_of_range) return 24 * 3600 * 1000;
    const std::string date(Value);
    const time_t at = curl_getdate(date.c_str(), nullptr);
    if (at == -1) return -1;
    return static_cast<int>(std::clamp<long long>(at - NowSeconds, 0, 24 * 3600) * 1000);
}
