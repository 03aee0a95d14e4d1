#include "THttpDwnld.h"

#include <algorithm>

namespace {
constexpr std::chrono::milliseconds kStatsInterval{50};
}

THttpDwnld::THttpDwnld() = default;

// Slots free themselves from their workers: a worker still running finishes alone.
THttpDwnld::~THttpDwnld() = default;

bool THttpDwnld::AddUrl(const std::string& Url, const std::string& Referrer, int Depth,
                        int RetryCount, unsigned char TagKind, unsigned char FetchMode,
                        int CountArea, bool Priority) {
    if (Stopping) return true;
    if (!Working) {
        ResetRun();
        SetWorking(true);
    }
    if (Priority) PriorityPending = true;
    TUrlObject object;
    object.CountArea = CountArea;
    object.RetryCount = RetryCount;
    object.Depth = Depth;
    object.FetchMode = FetchMode;
    object.TagKind = TagKind;
    object.Priority = Priority;
    object.Referrer = Referrer;
    m_queue.Add(Url, std::move(object));
    m_active = true;
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
    PriorityPending = false;
    IdleCountdown = 10;
    std::fill(std::begin(m_last), std::end(m_last), 99999);
    m_statsHeld = false;
    // The zero report opens the run's 50 ms spacing like any other report.
    m_lastReport = std::chrono::steady_clock::now();
    if (OnStats) OnStats(*this, Kind, 0, 0, 0, 0, 0, 0);
    m_queue.Clear();
}

void THttpDwnld::SetWorking(bool Value) {
    Working = Value;
    if (OnWorking) OnWorking(*this, Value);
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
        m_active = true;
    }
}

void THttpDwnld::Tick() {
    m_active = false;
    if (m_slots.size() != static_cast<std::size_t>(std::max(ConcurrentDownloads, 0))) ResizePool();
    if (Stopping) {
        if (m_queue.Count() > 0) m_active = true;
        m_queue.Clear();
    } else {
        const int active = std::min(SlotCount(), ConcurrentDownloads);
        for (int i = 0; i < active && !Stopping; ++i) StartSlot(i);
    }
    // The pool may not change size during the walk, but re-reading it costs nothing.
    for (int i = 0; i < SlotCount(); ++i) StepSlot(i);
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
            if (slot.Succeeded)
                slot.SlotState = slotReceived;
            else
                slot.SlotState = slot.Skipped ? slotIdle : slotFailed;
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
    const int status = slot.StatusCode;
    if (status == 200) {
        ++Done;
        if (!Stopping && OnPageReceived) OnPageReceived(*this, slot);
    } else if ((status >= 201 && status <= 299) || (status >= 500 && status <= 599)) {
        slot.SlotState = slotFailed;
    } else if (!Stopping && OnError) {
        OnError(*this, Kind, slot.UrlParts.Url, status, "ERROR", slot.Referrer);
    }
}

void THttpDwnld::FinishFailed(THttpGet& slot) {
    slot.SlotState = slotIdle;
    if (Stopping) return;
    if (slot.RetryCount >= Retries) {
        if (OnError) OnError(*this, Kind, slot.UrlParts.Url, slot.StatusCode, "", slot.Referrer);
        Log("GetHttp_Error " + slot.UrlParts.Url);
        ++Errors;
        return;
    }
    // A retry goes behind everything already queued.
    AddUrl(slot.UrlParts.Url, slot.Referrer, slot.Depth, slot.RetryCount + 1, slot.TagKind,
           slot.FetchMode, slot.CountArea, false);
    ++RetriesCount;
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
    if (m_queue.Count() == 0) {
        slot.SlotState = slotIdle;
        return false;
    }
    TUrlInQueue::Entry entry = m_queue.Take(ChooseEntry());
    m_active = true;
    slot.UrlParts.Crack(entry.Url);
    slot.TimeOut = TimeOut;
    slot.RetryCount = entry.Object.RetryCount;
    slot.Depth = entry.Object.Depth;
    slot.CountArea = entry.Object.CountArea;
    slot.TagKind = entry.Object.TagKind;
    slot.FetchMode = entry.Object.FetchMode;
    slot.Connection = Connection;
    slot.Referrer = entry.Object.Referrer;
    if (Stopping) {
        slot.SlotState = slotIdle;
        return false;
    }
    Log("starting download for " + entry.Url);
    // An entry whose URL cannot be split puts the slot back to idle: it is dropped silently.
    slot.StartFetch(static_cast<unsigned char>(Kind));
    return true;
}

void THttpDwnld::HeaderArrived(const std::string& Url, int CountArea, bool& Accept, int Depth,
                               int ContentLength, const std::string& ContentType, int StatusCode,
                               const std::string& Headers) {
    if (Stopping) return;
    if (ContentType.find("htm") == std::string::npos) {
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
    const int now[6] = {inQueue, downloading, toAnalyze, Done, RetriesCount, Errors};
    const bool changed = !std::equal(std::begin(now), std::end(now), std::begin(m_last));
    // A held change keeps the run from counting as quiet, so it is reported before the end.
    m_statsHeld = changed && ThrottleStats && !StatsDue();
    if (changed && !m_statsHeld) ReportStats(now);
    m_quiet = inQueue == 0 && downloading == 0 && !busy;
    if (m_quiet && !changed) {
        if (IdleCountdown == 0) return false;
        --IdleCountdown;
        return true;
    }
    IdleCountdown = 10;
    return true;
}

void THttpDwnld::ReportStats(const int (&Now)[6]) {
    std::copy(std::begin(Now), std::end(Now), std::begin(m_last));
    m_lastReport = std::chrono::steady_clock::now();
    if (OnStats) OnStats(*this, Kind, Now[0], Now[1], Now[2], Now[3], Now[4], Now[5]);
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
    return static_cast<int>(kStatsInterval.count());
}
