#include "THttpDwnld.h"

#include <algorithm>
#include <utility>

#include "AsciiCase.h"
#include "CurlSupport.h"
#include "PageCharset.h"
#include "PlainUrl.h"
#include "THttpThread.h"

namespace {
constexpr std::chrono::milliseconds kStatsInterval{50};

// What the worker met, else the answer's status (a 5xx page, a 429).
TFetchFailure FailureOf(const THttpGet& Slot) {
    return Slot.Failure != TFetchFailure::None ? Slot.Failure : TFetchFailure::HttpStatus;
}

// A mend: a login that the credentials could not answer is refused again on every attempt, so
// unlike every other failure it is not retried; a retry would only repeat the refusal.
bool RetryIsFutile(TFetchFailure Reason) {
    return Reason == TFetchFailure::LoginRequired || Reason == TFetchFailure::LoginRefused ||
           Reason == TFetchFailure::ProxyLoginRefused;
}

// The URL a queue entry stands for: its own, also while it waits as the hop of a redirect.
const std::string& CreditedUrl(const TUrlInQueue::Entry& Entry) {
    return Entry.Chain.AskedUrl.empty() ? Entry.Url : Entry.Chain.AskedUrl;
}
}  // namespace

const char* EntryOutcomeText(TEntryOutcome Outcome) {
    switch (Outcome) {
        case TEntryOutcome::Fetched:
            return "fetched";
        case TEntryOutcome::Error:
            return "error";
        case TEntryOutcome::Failed:
            return "failed";
        case TEntryOutcome::Retried:
            return "retried";
        case TEntryOutcome::Robots:
            return "robots";
        case TEntryOutcome::RobotsUnreachable:
            return "robots-unreachable";
        case TEntryOutcome::NotHtml:
            return "not-html";
        case TEntryOutcome::Dropped:
            return "dropped";
        case TEntryOutcome::SitemapRead:
            return "sitemap";
        case TEntryOutcome::SitemapFailed:
            return "sitemap-failed";
    }
    return "";
}

THttpDwnld::THttpDwnld() {
    // Another crawler of the same servers ended a download or learned a robots.txt: URLs of
    // ours may wait for that server, so the next tick looks again, and soon.
    Policy.OnServerFreed = [this](const std::string& Server, bool RobotsKnown) {
        if (!Working || Stopping) return;
        m_noneReady = false;
        if (RobotsKnown) m_robotsLearned.push_back(Server);
        if (OnSlotEnded) OnSlotEnded();
    };
}

// Slots free themselves from their workers: a worker still running finishes alone.
THttpDwnld::~THttpDwnld() = default;

bool THttpDwnld::AddUrl(const std::string& Url, TUrlObject Entry) {
    if (Stopping) return true;
    if (!Working) {
        ResetRun();
        SetWorking(true);
    }
    if (Entry.Priority) PriorityPending = true;
    m_active = true;
    if (Entry.Id == 0) {
        Entry.Id = ++LastEntryId;
        if (OnQueued) OnQueued(Url, Entry);
    }
    if (Overflow.Empty() && m_queue.Count() < MaxQueueSize) {
        m_queue.Add(Url, std::move(Entry));
    } else if (!Overflow.Add({Url, std::move(Entry)})) {
        OverflowFailed();
        return false;
    }
    m_noneReady = false;
    return true;
}

void THttpDwnld::StopAll() {
    Stopping = true;
    for (auto& slot : m_slots) slot->StopFetch();
}

void THttpDwnld::ResetRun() {
    Done = 0;
    Errors = 0;
    RetriesCount = 0;
    Transferred = {};
    LastEntryId = 0;
    PriorityPending = false;
    IdleCountdown = 10;
    m_last.reset();
    m_statsHeld = false;
    // The zero report opens the run's 50 ms spacing like any other report.
    m_lastReport = std::chrono::steady_clock::now();
    m_lastDeferred = 0;
    if (OnStats) OnStats(*this, Kind, 0, 0, 0, 0, 0, 0);
    m_queue.Clear();
    Overflow.Clear();
    // robots.txt files and pauses belong to one run, unless other crawlers share them.
    Policy.NewRun();
    m_robotsLearned.clear();
    m_keptRobots.clear();
    Policy.Settings.Agent = Connection.Agent;
    m_waitServer.clear();
}

void THttpDwnld::SetWorking(bool Value) {
    Working = Value;
    // The spill file belongs to the run.
    if (!Value) Overflow.Clear();
    if (OnWorking) OnWorking(*this, Value);
}

void THttpDwnld::EntryDone(std::uint64_t Id, TEntryOutcome Outcome, const std::string& Url) {
    if (OnEntryDone && !Stopping && Id != 0) OnEntryDone(Id, Outcome, Url);
}

void THttpDwnld::Log(const std::string& Text) {
    if (OnLog && !Stopping) OnLog(*this, Text);
}

void THttpDwnld::ResizePool() {
    const auto wanted = static_cast<std::size_t>(std::max(ConcurrentDownloads, 0));
    // A slot is made when a queue entry waits for one, not the whole pool at once: a large
    // concurrency costs nothing until there is work for it.
    const auto idle = std::count_if(m_slots.begin(), m_slots.end(),
                                    [](const auto& slot) { return slot->SlotState == slotIdle; });
    const auto needed = Stopping ? 0 : std::max<std::ptrdiff_t>(m_queue.Count() - idle, 0);
    const std::size_t grown = std::min(wanted, m_slots.size() + static_cast<std::size_t>(needed));
    while (m_slots.size() < grown) {
        auto slot = std::make_unique<THttpGet>();
        slot->SlotState = slotIdle;
        slot->OnHeader = [this](THttpGet&, const std::string& url, int countArea, bool& accept,
                                int depth, int contentLength, const std::string& contentType,
                                int status, const std::string& headers) {
            HeaderArrived(url, countArea, accept, depth, contentLength, contentType, status,
                          headers);
        };
        slot->OnEnd = [this](THttpGet&) {
            if (OnSlotEnded) OnSlotEnded();
        };
        m_slots.push_back(std::move(slot));
        m_slotServer.emplace_back();
        m_active = true;
    }
    if (m_slots.size() <= wanted) return;
    // A busy slot beyond the wanted size keeps the shrink waiting for a later tick.
    bool allRetired = true;
    for (std::size_t i = wanted; i < m_slots.size(); ++i) {
        THttpGet& slot = *m_slots[i];
        if (slot.SlotState == slotIdle) {
            slot.SlotState = slotRetired;
            m_active = true;
        }
        if (slot.SlotState != slotRetired) allRetired = false;
    }
    if (allRetired) {
        m_slots.resize(wanted);
        m_slotServer.resize(wanted);
        m_active = true;
    }
}

void THttpDwnld::Tick() {
    m_active = false;
    m_noneReady = false;
    if (m_slots.size() != static_cast<std::size_t>(std::max(ConcurrentDownloads, 0))) ResizePool();
    if (Stopping) {
        if (m_queue.Count() > 0 || !Overflow.Empty()) m_active = true;
        m_queue.Clear();
        Overflow.Clear();
    } else {
        TellRobotsLearned();
        Refill();
        const int active = std::min(SlotCount(), ConcurrentDownloads);
        for (int i = 0; i < active && !Stopping; ++i) StartSlot(i);
    }
    // The pool may not change size during the walk, but re-reading it costs nothing.
    for (int i = 0; i < SlotCount(); ++i) StepSlot(i);
}

void THttpDwnld::TellRobotsLearned() {
    if (m_robotsLearned.empty()) return;
    m_active = true;
    for (const std::string& server : std::exchange(m_robotsLearned, {}))
        if (OnRobotsKnown && !Stopping) OnRobotsKnown(server);
}

void THttpDwnld::StepSlot(int Index) {
    THttpGet& slot = *m_slots[static_cast<std::size_t>(Index)];
    if (slot.SlotState >= slotFinished) m_active = true;
    switch (slot.SlotState) {
        case slotIdle:
            StartSlot(Index);
            break;
        case slotFinished:
            Log("thread done: " + slot.UrlParts.Url);
            Transferred.Received += slot.Transferred.Received;
            Transferred.Decoded += slot.Transferred.Decoded;
            if (FinishWithServer(Index)) break;
            if (!slot.RedirectTo.empty()) {
                FollowRedirect(slot);
            } else if (slot.Succeeded) {
                slot.SlotState = slotReceived;
            } else if (slot.Skipped) {
                slot.SlotState = slotIdle;
                EntryDone(slot.EntryId, TEntryOutcome::NotHtml, slot.UrlParts.Url);
            } else {
                slot.SlotState = slotFailed;
            }
            break;
        case slotReceived:
            FinishReceived(slot);
            break;
        case slotFailed:
            FinishFailed(slot);
            break;
        default:
            break;
    }
}

void THttpDwnld::FinishReceived(THttpGet& slot) {
    slot.SlotState = slotIdle;
    if (slot.FetchMode == fetchSitemap) {
        FinishSitemap(slot);
        return;
    }
    const int status = slot.StatusCode;
    if (status == 200) {
        // A page fetched once more for a shorter path was counted the first time.
        if (slot.FetchMode != fetchAgain) ++Done;
        if (!Stopping && OnPageReceived) OnPageReceived(*this, slot);
        // Analysed: its memory goes back to the budget of the bodies held at once.
        slot.ReleaseBody();
        // A page whose analysis a stop cut short stays unfinished.
        EntryDone(slot.EntryId, TEntryOutcome::Fetched, slot.UrlParts.Url);
        return;
    }
    slot.ReleaseBody();
    if ((status >= 201 && status <= 299) || (status >= 500 && status <= 599)) {
        slot.SlotState = slotFailed;
    } else if (!Stopping) {
        if (OnError) OnError(*this, Kind, slot.UrlParts.Url, status, "ERROR", slot.Referrer);
        if (OnFailed)
            OnFailed(*this, slot.UrlParts.Url, slot.Referrer, TFetchFailure::HttpStatus, status);
        EntryDone(slot.EntryId, TEntryOutcome::Error, slot.UrlParts.Url);
    }
}

void THttpDwnld::FinishSitemap(THttpGet& slot) {
    // Not a page: neither counted as done nor handed to the page analysis.
    if (!Stopping && OnSitemapReceived) OnSitemapReceived(*this, slot);
    slot.ReleaseBody();
    EntryDone(slot.EntryId, TEntryOutcome::SitemapRead, slot.UrlParts.Url);
}

void THttpDwnld::SitemapFailed(const std::string& Url, std::uint64_t Id, const std::string& Why) {
    Log("sitemap not read (" + Why + "): " + Url);
    EntryDone(Id, TEntryOutcome::SitemapFailed, Url);
}

void THttpDwnld::FollowRedirect(THttpGet& slot) {
    TRedirectChain chain = std::move(slot.Chain);
    if (chain.AskedUrl.empty()) chain.AskedUrl = slot.UrlParts.Url;
    const std::string& from = slot.RequestUrl();
    chain.Loop =
        chain.Loop || std::find(chain.Trail.begin(), chain.Trail.end(), from) != chain.Trail.end();
    chain.Trail.push_back(from);
    ++chain.Hops;
    // What libcurl's own following refused: another scheme, or one hop too many. A redirect that
    // failed has no status of its own.
    if (!IsWebUrl(slot.RedirectTo) || chain.Hops > FetchLimits().MaxRedirects) {
        slot.Failure = !IsWebUrl(slot.RedirectTo) ? TFetchFailure::RefusedScheme
                       : chain.Loop               ? TFetchFailure::RedirectLoop
                                                  : TFetchFailure::TooManyRedirects;
        slot.StatusCode = 0;
        slot.SlotState = slotFailed;
        return;
    }
    slot.SlotState = slotIdle;
    if (Stopping) return;
    Log("redirected to " + slot.RedirectTo + ": " + chain.AskedUrl);
    m_queue.AddFirst(slot.RedirectTo,
                     {.Referrer = slot.Referrer,
                      .Depth = slot.Depth,
                      .RetryCount = slot.RetryCount,
                      .TagKind = slot.TagKind,
                      .FetchMode = slot.FetchMode,
                      .CountArea = slot.CountArea,
                      .Id = slot.EntryId},
                     std::move(chain));
    m_noneReady = false;
}

void THttpDwnld::FinishFailed(THttpGet& slot) {
    slot.SlotState = slotIdle;
    if (Stopping) return;
    const TFetchFailure reason = FailureOf(slot);
    // A missing sitemap (a 404 for the usual /sitemap.xml, most often) is not asked for again.
    const int status = slot.StatusCode;
    const bool sitemapGone =
        slot.FetchMode == fetchSitemap && status != 0 && status != 429 && status < 500;
    if (!RetriesEnabled || slot.RetryCount >= Retries || RetryIsFutile(reason) || sitemapGone) {
        if (slot.FetchMode == fetchSitemap) {
            SitemapFailed(slot.UrlParts.Url, slot.EntryId, FetchFailureText(reason, status));
            return;
        }
        if (OnError) OnError(*this, Kind, slot.UrlParts.Url, slot.StatusCode, "", slot.Referrer);
        Log("GetHttp_Error " + slot.UrlParts.Url);
        ++Errors;
        if (OnFailed) OnFailed(*this, slot.UrlParts.Url, slot.Referrer, reason, slot.StatusCode);
        EntryDone(slot.EntryId, TEntryOutcome::Failed, slot.UrlParts.Url);
        return;
    }
    Log("retrying (" + FetchFailureText(reason, slot.StatusCode) + "): " + slot.UrlParts.Url);
    // A retry goes behind everything already queued.
    const bool queued = AddUrl(slot.UrlParts.Url, {.Referrer = slot.Referrer,
                                                   .Depth = slot.Depth,
                                                   .RetryCount = slot.RetryCount + 1,
                                                   .TagKind = slot.TagKind,
                                                   .FetchMode = slot.FetchMode,
                                                   .CountArea = slot.CountArea});
    ++RetriesCount;
    if (queued) EntryDone(slot.EntryId, TEntryOutcome::Retried, slot.UrlParts.Url);
}

int THttpDwnld::ChooseEntry() {
    if (PriorityPending) {
        for (int i = 0; i < m_queue.Count(); ++i)
            if (m_queue.At(i).Object.Priority) return i;
        PriorityPending = false;
    }
    return 0;
}

bool THttpDwnld::StartSlot(int Index) {
    THttpGet& slot = *m_slots[static_cast<std::size_t>(Index)];
    if (slot.SlotState != slotIdle) return false;
    slot.SlotState = slotAssigning;
    if (m_queue.Count() == 0 || m_noneReady) {
        slot.SlotState = slotIdle;
        return false;
    }
    std::string server;
    const int chosen = Policy.Active() ? ChooseReadyEntry(Index, server) : ChooseEntry();
    if (chosen < 0) {
        if (slot.SlotState == slotAssigning) slot.SlotState = slotIdle;
        return false;
    }
    TUrlInQueue::Entry entry = TakeEntry(chosen);
    m_active = true;
    if (ServeKeptAnswer(slot, entry, server)) return true;
    if (!server.empty()) {
        Policy.DownloadStarted(server, TPolicyClock::now());
        m_slotServer[static_cast<std::size_t>(Index)] = server;
    }
    // A hop is requested in the name of the entry: the page is credited to the URL asked for.
    const std::string credited = CreditedUrl(entry);
    slot.UrlParts.Crack(credited);
    slot.HopUrl = entry.Chain.AskedUrl.empty() ? std::string() : entry.Url;
    slot.Chain = std::move(entry.Chain);
    slot.TimeOut = TimeOut;
    slot.RetryCount = entry.Object.RetryCount;
    slot.Depth = entry.Object.Depth;
    slot.CountArea = entry.Object.CountArea;
    slot.TagKind = entry.Object.TagKind;
    slot.FetchMode = entry.Object.FetchMode;
    slot.Connection = Connection;
    slot.HeaderMayRefuse = HeaderMayRefuse;
    slot.Referrer = entry.Object.Referrer;
    slot.EntryId = entry.Object.Id;
    if (Stopping) {
        slot.SlotState = slotIdle;
        return false;
    }
    Log(slot.HopUrl.empty() ? "starting download for " + entry.Url
                            : "following the redirect to " + entry.Url + ": " + slot.UrlParts.Url);
    // An entry whose URL cannot be split puts the slot back to idle: it is dropped silently.
    slot.StartFetch();
    if (slot.SlotState == slotIdle) EntryDone(slot.EntryId, TEntryOutcome::Dropped, credited);
    return true;
}

TUrlInQueue::Entry THttpDwnld::TakeEntry(int Index) {
    TUrlInQueue::Entry entry = m_queue.Take(Index);
    Refill();
    return entry;
}

void THttpDwnld::Refill() {
    TUrlInQueue::Entry entry;
    while (m_queue.Count() < MaxQueueSize && !Overflow.Empty()) {
        if (!Overflow.Take(entry)) {
            OverflowFailed();
            return;
        }
        m_queue.Add(std::move(entry.Url), std::move(entry.Object));
        m_active = true;
    }
}

void THttpDwnld::OverflowFailed() {
    if (Stopping) return;
    if (OnOverflowFailed) OnOverflowFailed(*this);
    StopAll();
}

int THttpDwnld::ChooseReadyEntry(int SlotIndex, std::string& Server) {
    const TPolicyClock::time_point now = TPolicyClock::now();
    bool waitNoted = false;
    for (int i = 0; i < m_queue.Count();) {
        const std::string& url = m_queue.At(i).Url;
        Server = ServerOf(url);
        switch (Policy.Judge(Server, url, now)) {
            case TServerVerdict::Start:
                return i;
            case TServerVerdict::FetchRobots:
                StartRobots(SlotIndex, Server);
                return -1;
            case TServerVerdict::Refuse: {
                const TServerReason reason = Policy.LastReason();
                const bool forbidden = reason == TServerReason::RobotsDisallowed;
                TUrlInQueue::Entry refused = TakeEntry(i);
                m_active = true;
                if (refused.Object.FetchMode == fetchSitemap) {
                    SitemapFailed(refused.Url, refused.Object.Id, ServerReasonText(reason));
                    break;
                }
                // A server that did not answer has failed this URL; its rules forbade nothing.
                if (!forbidden) ++Errors;
                // A refused hop ends its redirect: the URL asked for is what was not fetched.
                const std::string& credited = CreditedUrl(refused);
                if (credited != refused.Url)
                    Log("redirect refused by the robots.txt of its server: " + refused.Url);
                EntryDone(refused.Object.Id,
                          forbidden ? TEntryOutcome::Robots : TEntryOutcome::RobotsUnreachable,
                          credited);
                if (OnSkipped)
                    OnSkipped(*this, credited, refused.Object.Referrer, reason,
                              forbidden ? TFetchFailure::None : Policy.LastFailure(),
                              forbidden ? 0 : Policy.LastFailureStatus());
                if (Stopping) return -1;
                break;
            }
            case TServerVerdict::Wait:
                if (!waitNoted) NoteWait(Server);
                waitNoted = true;
                ++i;
                break;
        }
    }
    // Nothing may start before the next tick; the other idle slots need not look again.
    m_noneReady = true;
    return -1;
}

void THttpDwnld::NoteWait(const std::string& Server) {
    const int ms = Policy.LastWaitMs();
    if (ms < 1000 || !OnServerWait) return;
    const TPolicyClock::time_point until = TPolicyClock::now() + std::chrono::milliseconds(ms);
    // One notice per pause or gap, not one per tick.
    if (Server == m_waitServer && until <= m_waitUntil + std::chrono::milliseconds(100)) return;
    m_waitServer = Server;
    m_waitUntil = until;
    OnServerWait(*this, Server, ms, Policy.LastReason());
}

void THttpDwnld::StartRobots(int SlotIndex, const std::string& Server) {
    THttpGet& slot = *m_slots[static_cast<std::size_t>(SlotIndex)];
    Policy.RobotsFetchStarted(Server);
    m_slotServer[static_cast<std::size_t>(SlotIndex)] = Server;
    m_active = true;
    TCrackUrl parts;
    parts.Crack(Server + "/robots.txt");
    // Asked for under the server's usual name: no default port in the request.
    slot.UrlParts.Crack(OriginOf(parts) + "/robots.txt");
    slot.HopUrl.clear();
    slot.Chain = {};
    slot.TimeOut = TimeOut;
    slot.RetryCount = Retries;
    slot.EntryId = 0;
    slot.Depth = 0;
    slot.CountArea = 0;
    slot.TagKind = tagNone;
    slot.FetchMode = fetchRobots;
    slot.Connection = Connection;
    slot.HeaderMayRefuse = HeaderMayRefuse;
    slot.Referrer.clear();
    Log("starting download for " + slot.UrlParts.Url);
    slot.StartFetch();
    // A server whose address cannot be split has no rules to read.
    if (slot.SlotState == slotIdle) {
        Policy.RobotsArrived(Server, 0, false, "");
        m_slotServer[static_cast<std::size_t>(SlotIndex)].clear();
    }
}

// A finished download's answer for its server: the end of a robots.txt (true: handled here),
// the end of a counted download, and the pauses of 429 and 503 answers, which are retried.
bool THttpDwnld::FinishWithServer(int SlotIndex) {
    THttpGet& slot = *m_slots[static_cast<std::size_t>(SlotIndex)];
    std::string& server = m_slotServer[static_cast<std::size_t>(SlotIndex)];
    if (slot.FetchMode == fetchRobots && Stopping && slot.StatusCode == 0) {
        // Cut off by the stop, not refused by the server: crawlers sharing it ask again.
        Policy.RobotsAbandoned(server);
        server.clear();
        slot.ReleaseBody();
        slot.SlotState = slotIdle;
        return true;
    }
    if (slot.FetchMode == fetchRobots) {
        Policy.RobotsArrived(server, slot.StatusCode, slot.Succeeded, slot.Body, slot.Failure,
                             slot.ContactAt);
        if (ServeRobotsPages) KeepRobotsAnswer(server, slot);
        const TRobotsTxt* rules = Policy.RulesOf(server);
        if (rules && rules->CrawlDelayCapped())
            Log("Crawl-delay of " + server + " capped at " +
                std::to_string(TRobotsTxt::kMaxCrawlDelayMs / 1000) + " s");
        slot.ReleaseBody();
        const std::string known = std::exchange(server, {});
        slot.SlotState = slotIdle;
        if (!Stopping && OnRobotsKnown) OnRobotsKnown(known);
        return true;
    }
    if (!server.empty()) {
        Policy.DownloadEnded(server, slot.ContactAt);
        server.clear();
    }
    const int status = slot.StatusCode;
    if (status != 429 && status != 503 && !Policy.HasBackoff()) return false;
    const std::string answered = ServerOf(slot.RequestUrl());
    const int pauseMs = Policy.Answered(answered, status, slot.RetryAfterMs, TPolicyClock::now());
    if (status != 429 && status != 503) return false;
    if (pauseMs > 0) Log("pausing " + answered + " for " + std::to_string(pauseMs) + " ms");
    // An HTML 503 is retried as any 5xx page is; otherwise the server asked to be asked again
    // later, whatever the answer's type, and the entry goes back to the queue.
    if (status == 503 && slot.Succeeded) return false;
    slot.SlotState = slotFailed;
    return true;
}

void THttpDwnld::KeepRobotsAnswer(const std::string& Server, THttpGet& Slot) {
    const int status = Slot.StatusCode;
    // An answer that a page request would meet alike: a file from the server asked (a redirect
    // of a page request checks its hops first), or its 4xx. Errors and 429 are asked again.
    const bool file = status >= 200 && status < 300 && Slot.Succeeded && Slot.FinalUrl.empty();
    if (!file && !(status >= 400 && status < 500 && status != 429)) return;
    m_keptRobots[Server] = {status, Slot.Headers, Slot.ContentType, file ? Slot.Body : ""};
}

bool THttpDwnld::ServeKeptAnswer(THttpGet& Slot, const TUrlInQueue::Entry& Entry,
                                 const std::string& Server) {
    if (Server.empty() || Entry.Object.FetchMode != fetchPage || !Entry.Chain.AskedUrl.empty() ||
        PathAndQueryOf(Entry.Url) != "/robots.txt")
        return false;
    const auto kept = m_keptRobots.find(Server);
    if (kept == m_keptRobots.end()) return false;
    TKeptAnswer answer = std::move(kept->second);
    m_keptRobots.erase(kept);
    Slot.UrlParts.Crack(Entry.Url);
    Slot.HopUrl.clear();
    Slot.Chain = {};
    Slot.RetryCount = Entry.Object.RetryCount;
    Slot.Depth = Entry.Object.Depth;
    Slot.CountArea = Entry.Object.CountArea;
    Slot.TagKind = Entry.Object.TagKind;
    Slot.FetchMode = Entry.Object.FetchMode;
    Slot.Referrer = Entry.Object.Referrer;
    Slot.EntryId = Entry.Object.Id;
    Log("robots.txt as read for the rules: " + Entry.Url);
    // As a page request would have: only an HTML answer has its body read.
    bool accept = IsPageContentType(answer.ContentType);
    if (accept)
        HeaderArrived(Entry.Url, Slot.CountArea, accept, Slot.Depth,
                      static_cast<int>(answer.Body.size()), answer.ContentType, answer.Status,
                      answer.Headers);
    TPageText page;
    if (accept) page = DecodePage(std::move(answer.Body), answer.ContentType);
    Slot.DeliverWithoutRequest(answer.Status, std::move(answer.Headers),
                               std::move(answer.ContentType), std::move(page.Text),
                               std::move(page.Encoding), !accept);
    return true;
}

void THttpDwnld::HeaderArrived(const std::string& Url, int CountArea, bool& Accept, int Depth,
                               int ContentLength, const std::string& ContentType, int StatusCode,
                               const std::string& Headers) {
    if (Stopping) return;
    if (AsciiLowerCase(ContentType).find("htm") == std::string::npos) {
        Accept = false;
        return;
    }
    if (OnHeader)
        OnHeader(*this, Kind, Url, Headers, StatusCode, ContentType, ContentLength, Depth, Accept,
                 CountArea);
}

bool THttpDwnld::CheckProgress() {
    bool busy = false;
    int downloading = 0;
    int toAnalyze = 0;
    for (const auto& slot : m_slots) {
        if (slot->SlotState > slotIdle) busy = true;
        if (slot->SlotState == slotDownloading) ++downloading;
        if (slot->SlotState == slotReceived) ++toAnalyze;
    }
    const int inQueue = QueueCount();
    const TRunStats now{inQueue, downloading, toAnalyze, Done, RetriesCount, Errors};
    const int deferred = DeferredCount();
    const bool changed = m_last != now || deferred != m_lastDeferred;
    // A held change keeps the run from counting as quiet, so it is reported before the end.
    m_statsHeld = changed && ThrottleStats && !StatsDue();
    if (changed && !m_statsHeld) ReportStats(now);
    m_quiet = inQueue == 0 && deferred == 0 && downloading == 0 && !busy;
    if (m_quiet && !changed) {
        if (IdleCountdown == 0) return false;
        --IdleCountdown;
        return true;
    }
    IdleCountdown = 10;
    return true;
}

void THttpDwnld::ReportStats(const TRunStats& Now) {
    m_last = Now;
    m_lastDeferred = DeferredCount();
    m_lastReport = std::chrono::steady_clock::now();
    if (OnStats)
        OnStats(*this, Kind, Now.InQueue, Now.Downloading, Now.ToAnalyze, Now.Done, Now.Retries,
                Now.Errors);
}

bool THttpDwnld::StatsDue() const {
    return std::chrono::steady_clock::now() - m_lastReport >= kStatsInterval;
}

int THttpDwnld::AdaptiveDelayMs() const {
    if (m_statsHeld) {
        const auto left = kStatsInterval - (std::chrono::steady_clock::now() - m_lastReport);
        // Rounded up, so that the tick after the pause finds the report due.
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        return m_active ? 0 : static_cast<int>(std::clamp<long long>(ms, 1, 50));
    }
    if (m_active || m_quiet) return 0;
    // A server that waits is ready again at a known time: the driver wakes then.
    const int ready = Policy.Active() ? Policy.MsUntilReady(TPolicyClock::now()) : -1;
    if (ready >= 0) return std::clamp(ready, 1, static_cast<int>(kStatsInterval.count()));
    return static_cast<int>(kStatsInterval.count());
}
