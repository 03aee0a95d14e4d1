// The run journal of the crawler's state object: what it records as a run goes, and how a run
// is put back from it.

#include <charconv>
#include <type_traits>
#include <utility>

#include "EngineMessage.h"
#include "TDwnldThread.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TJournalReader.h"
#include "UrlEncoding.h"

namespace {

std::string ToText(const std::string& Value) {
    return Value;
}
std::string ToText(bool Value) {
    return Value ? "1" : "0";
}
template <typename T>
std::string ToText(T Value) {
    return std::to_string(static_cast<int>(Value));
}

bool FromText(const std::string& Text, std::string& Out) {
    Out = Text;
    return true;
}
template <typename T>
bool FromText(const std::string& Text, T& Out) {
    int number = 0;
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, number);
    if (Text.empty() || ec != std::errc() || ptr != end) return false;
    if constexpr (std::is_same_v<T, bool>)
        Out = number != 0;
    else
        Out = static_cast<T>(number);
    return true;
}

// One recorded property: its name, how it is read as text and how it is set from text. A value
// that no longer fits its setter's rule is ignored by the setter, as any other.
struct TSettingRow {
    const char* Key;
    std::string (*Get)(THttpScan&);
    void (*Set)(THttpScan&, const std::string&);
};

template <auto Getter, auto Setter>
TSettingRow Row(const char* Key) {
    return {Key, [](THttpScan& scan) { return ToText((scan.*Getter)()); },
            [](THttpScan& scan, const std::string& text) {
                std::decay_t<decltype((scan.*Getter)())> value{};
                if (FromText(text, value)) (scan.*Setter)(value);
            }};
}

// Every property that shapes a run, except the two passwords: the journal is a plain file.
const std::vector<TSettingRow>& SettingRows() {
    using S = THttpScan;
    static const std::vector<TSettingRow> rows{
        Row<&S::StartingUrl, &S::SetStartingUrl>("StartingUrl"),
        Row<&S::Agent, &S::SetAgent>("Agent"),
        Row<&S::AllowRedirect, &S::SetAllowRedirect>("AllowRedirect"),
        Row<&S::AdaptiveTicks, &S::SetAdaptiveTicks>("AdaptiveTicks"),
        Row<&S::ConcurrentDownloads, &S::SetConcurrentDownloads>("ConcurrentDownloads"),
        Row<&S::DepthSearchLevel, &S::SetDepthSearchLevel>("DepthSearchLevel"),
        Row<&S::FileOfResults, &S::SetFileOfResults>("FileOfResults"),
        Row<&S::HttpPort, &S::SetHttpPort>("HttpPort"),
        Row<&S::KeywordsFilterEnabled, &S::SetKeywordsFilterEnabled>("KeywordsFilterEnabled"),
        Row<&S::KeywordsLimiterEnabled, &S::SetKeywordsLimiterEnabled>("KeywordsLimiterEnabled"),
        Row<&S::LeavesFirst, &S::SetLeavesFirst>("LeavesFirst"),
        Row<&S::LinkReport, &S::SetLinkReport>("LinkReport"),
        Row<&S::LinkScan, &S::SetLinkScan>("LinkScan"),
        Row<&S::LogsEnabled, &S::SetLogsEnabled>("LogsEnabled"),
        Row<&S::MaxQueueSize, &S::SetMaxQueueSize>("MaxQueueSize"),
        Row<&S::SpillFolder, &S::SetSpillFolder>("SpillFolder"),
        Row<&S::ObeyRobotsTxt, &S::SetObeyRobotsTxt>("ObeyRobotsTxt"),
        Row<&S::HostDelayMs, &S::SetHostDelayMs>("HostDelayMs"),
        Row<&S::MaxPerHost, &S::SetMaxPerHost>("MaxPerHost"),
        Row<&S::ProxyAddress, &S::SetProxyAddress>("ProxyAddress"),
        Row<&S::ProxyPort, &S::SetProxyPort>("ProxyPort"),
        Row<&S::ProxyType, &S::SetProxyType>("ProxyType"),
        Row<&S::ProxyUser, &S::SetProxyUser>("ProxyUser"),
        Row<&S::Referer, &S::SetReferer>("Referer"),
        Row<&S::Retries, &S::SetRetries>("Retries"),
        Row<&S::SeekRobotsTxt, &S::SetSeekRobotsTxt>("SeekRobotsTxt"),
        Row<&S::SeekSitemaps, &S::SetSeekSitemaps>("SeekSitemaps"),
        Row<&S::TimeOut, &S::SetTimeOut>("TimeOut"),
        Row<&S::TypeFilterEnabled, &S::SetTypeFilterEnabled>("TypeFilterEnabled"),
        Row<&S::UserName, &S::SetUserName>("UserName"),
        Row<&S::TypeList, &S::SetTypeList>("TypeList"),
        Row<&S::ExcludeKeywords, &S::SetExcludeKeywords>("ExcludeKeywords"),
        Row<&S::IncludeKeywords, &S::SetIncludeKeywords>("IncludeKeywords"),
        Row<&S::FollowKeywordsEnabled, &S::SetFollowKeywordsEnabled>("FollowKeywordsEnabled"),
        Row<&S::FollowKeywords, &S::SetFollowKeywords>("FollowKeywords"),
    };
    return rows;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TImpl::JournalSettings() const {
    std::vector<std::pair<std::string, std::string>> settings;
    for (const TSettingRow& row : SettingRows()) settings.emplace_back(row.Key, row.Get(Owner));
    return settings;
}

void TImpl::ApplyJournalSettings(const TJournalRun& Run) {
    for (const auto& [key, value] : Run.Settings)
        for (const TSettingRow& row : SettingRows())
            if (key == row.Key) row.Set(Owner, value);
}

void TImpl::JournalRunBegins() {
    if (!Journal.IsOpen()) return;
    std::vector<std::string> fields;
    for (auto& [key, value] : JournalSettings()) {
        fields.push_back(key);
        fields.push_back(std::move(value));
    }
    Journal.Add('B', fields);
}

void TImpl::JournalVisited(std::string_view Url, int Flag) {
    if (Journal.IsOpen() && !Restoring) Journal.Add('V', {std::to_string(Flag), Url});
}

void TImpl::JournalHost(const std::string& Host, bool RobotsAsked) {
    if (!Journal.IsOpen() || Restoring) return;
    if (RobotsAsked)
        Journal.Add('H', {Host, "robots"});
    else
        Journal.Add('H', {Host});
}

void TImpl::JournalQueued(const std::string& Url, const TUrlObject& E) {
    if (!Journal.IsOpen() || Restoring) return;
    Journal.Add('Q', {std::to_string(E.Id), std::to_string(E.Depth), std::to_string(E.RetryCount),
                      std::to_string(E.CountArea), std::to_string(E.TagKind),
                      std::to_string(E.FetchMode), E.Priority ? "1" : "0", Url, E.Referrer});
}

void TImpl::JournalDone(std::uint64_t Id, TEntryOutcome Outcome) {
    // A page's analysis and its end go into the journal together, or not at all. A failure
    // keeps its reason, so that a resumed run can still name it.
    const std::string failure = std::exchange(FailureText, {});
    if (!Journal.IsOpen()) return;
    if (!failure.empty() && (Outcome == TEntryOutcome::Failed || Outcome == TEntryOutcome::Error))
        Journal.Add('D', {std::to_string(Id), EntryOutcomeText(Outcome), failure});
    else
        Journal.Add('D', {std::to_string(Id), EntryOutcomeText(Outcome)});
    JournalCommit();
}

void TImpl::JournalReport(const TLinkDecision& D, const std::string& FromUrl, char HrefOrSrc,
                          const std::string& Line, int Flag) {
    if (!Journal.IsOpen()) return;
    // The URL's parts are those of the URL itself, and most lines are the usual one: both are
    // worked out again when the journal is read, which keeps it small.
    const std::string flags = std::string(D.Reported ? "R" : "") + (D.Web ? "W" : "");
    Journal.Add(
        'R',
        {D.TypeLink, D.Resolved, FromUrl, std::string(1, HrefOrSrc), flags, std::to_string(Flag),
         Line == "x" || Line == DefaultResultLine(D.TypeLink, D.Resolved) ? "x" : Line});
}

void TImpl::JournalCommit() {
    if (!Journal.IsOpen()) return;
    Journal.Commit();
    if (!Journal.Error().empty()) JournalFailed();
}

void TImpl::JournalTick() {
    if (Journal.IsOpen() && !Journal.Sync(false)) JournalFailed();
}

void TImpl::JournalRunEnds(bool Finished) {
    if (!Journal.IsOpen()) return;
    // What a stop cut short (a page half analysed) is fetched again when the run is resumed.
    Journal.Abort();
    Journal.Add('E', {Finished ? "finished" : "stopped"});
    Journal.Commit();
    if (!Journal.Sync(true)) JournalFailed();
}

void TImpl::JournalFailed() {
    if (!JournalError.empty()) return;
    JournalError = Journal.Error();
    // The journal is only worth its cost if it can be trusted: the run stops with it.
    if (Owner.OnError) Owner.OnError(Owner, Journal.Path(), 0, JournalError);
    if (Owner.OnLog) Owner.OnLog(Owner, JournalError);
    if (Running)
        Dwnld.StopAll();
    else
        JournalFailedIdle = true;
}

bool TImpl::RestoreRun(const TJournalRun& Run) {
    ApplyJournalSettings(Run);
    if (StartingUrl.empty() || !StartUrlParts.Crack(NormalizeUrl(StartingUrl))) {
        ShowEngineMessage("Invalid Url : " + StartingUrl);
        return false;
    }
    if (!ResultsPath.empty()) {
        ResultsFile.reset();
        if (!OpenResultsFile()) {
            ShowEngineMessage("unable to create file: " + ResultsPath);
            return false;
        }
        for (const TJournalReport& report : Run.Reports)
            if (!report.ResultLine.empty()) WriteResultLine(report.ResultLine);
    }
    Dwnld.Connection.CredentialOrigin = OriginKey(StartUrlParts.Url);
    VisitedUrls.Clear();
    VisitedHosts.Clear();
    int index = -1;
    int insertPos = -1;
    // Journals of earlier versions kept URLs as found: each is keyed anew here.
    for (const auto& [url, flag] : Run.Visited) {
        if (!FindVisited(url, index, insertPos, true)) index = insertPos;
        VisitedUrls.SetObject(index, flag);
    }
    for (const auto& [host, robotsAsked] : Run.Hosts) {
        if (!VisitedHosts.Find(host, index, insertPos, false)) {
            VisitedHosts.Insert(insertPos, host);
            index = insertPos;
        }
        if (robotsAsked) VisitedHosts.SetObject(index, 1);
    }

    Restoring = true;
    Dwnld.ResetRun();
    Dwnld.SetWorking(true);
    Dwnld.Done = Run.Fetched;
    Dwnld.Errors = Run.Errors;
    Dwnld.RetriesCount = Run.Retries;
    SkippedByRobots = Run.Skipped;
    Dwnld.LastEntryId = Run.LastId;
    for (const TJournalEntry& e : Run.Pending) {
        // A page waits under its entry's number, at the shortest depth found for it.
        bool page = false;
        if (FindVisited(e.Url, index, insertPos)) {
            TVisit visit = TVisit::Of(VisitedUrls.Objects(index));
            page = visit.State == TVisitState::Waiting && visit.Depth > 0 && visit.Entry == 0;
            if (page) {
                visit.Entry = static_cast<std::uint32_t>(e.Id);
                VisitedUrls.SetObject(index, visit.Value());
                Ledger.Queued(visit.Depth);
            }
        }
        if (!page) Ledger.QueuedOther(static_cast<std::uint32_t>(e.Id), e.Depth);
        Dwnld.AddUrl(e.Url, {.Referrer = e.Referrer,
                             .Depth = e.Depth,
                             .RetryCount = e.RetryCount,
                             .TagKind = e.TagKind,
                             .FetchMode = e.FetchMode,
                             .CountArea = e.CountArea,
                             .Priority = e.Priority,
                             .Id = e.Id});
    }
    Restoring = false;
    if (Journal.IsOpen()) {
        Journal.Add('C', {});
        JournalCommit();
    }
    return true;
}

// The component's journal calls.

bool THttpScan::OpenJournal(const std::string& Path) {
    TImpl& d = *m_impl;
    d.JournalFailedIdle = false;
    d.JournalError.clear();
    if (d.Journal.Create(Path)) return true;
    d.JournalError = d.Journal.Error();
    return false;
}

bool THttpScan::ContinueJournal(const std::string& Path, const TJournalContents& Contents) {
    TImpl& d = *m_impl;
    d.JournalFailedIdle = false;
    d.JournalError.clear();
    if (Contents.Error.empty() &&
        d.Journal.Continue(Path, Contents.SoundBytes, Contents.SoundBytes + Contents.DroppedBytes))
        return true;
    d.JournalError = Contents.Error.empty() ? d.Journal.Error() : Contents.Error;
    return false;
}

bool THttpScan::JournalInUse() const {
    return m_impl->Journal.InUse();
}

bool THttpScan::JournalFileInUse(const std::string& Path) {
    return TRunJournal::FileInUse(Path);
}

void THttpScan::JournalNote(const std::vector<std::string>& Fields) {
    // Kept whatever becomes of the page being analysed when it is made.
    m_impl->Journal.AddAlone('N', Fields);
    if (!m_impl->Running) m_impl->JournalTick();
}

bool THttpScan::FinishJournal() {
    TImpl& d = *m_impl;
    if (!d.Journal.IsOpen()) return d.JournalError.empty();
    d.Journal.Add('Z', {});
    d.Journal.Commit();
    const bool synced = d.Journal.Sync(true);
    if (!synced && d.JournalError.empty()) d.JournalError = d.Journal.Error();
    d.Journal.Close();
    return synced;
}

void THttpScan::CloseJournal() {
    m_impl->Journal.Close();
    m_impl->JournalFailedIdle = false;
}

const std::string& THttpScan::JournalFile() const {
    return m_impl->Journal.Path();
}

const std::string& THttpScan::JournalError() const {
    return m_impl->JournalError;
}

bool THttpScan::Resume(const TJournalRun& Run) {
    TImpl& d = *m_impl;
    if (d.Running || d.StartGuard || Run.Finished) return false;
    d.StartGuard = true;
    const bool restored = d.RestoreRun(Run);
    if (restored) {
        d.StartDriver();
        d.Running = true;
    }
    d.StartGuard = false;
    return restored;
}
