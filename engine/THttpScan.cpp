#include "THttpScan.h"

#include <QCoreApplication>
#include <QDir>
#include <QThread>

#include "AsciiCase.h"
#include "EngineMessage.h"
#include "FollowKeywords.h"
#include "TDwnldThread.h"
#include "THttpGet.h"
#include "TImpl.h"
#include "UrlEncoding.h"

THttpScan::THttpScan(QObject* Owner) : QObject(Owner), m_impl(std::make_unique<TImpl>(*this)) {}

THttpScan::~THttpScan() {
    TImpl& d = *m_impl;
    if (d.Running) {
        d.Dwnld.StopAll();
        while (d.Running) {
            QThread::msleep(20);
            QCoreApplication::processEvents();
        }
    }
}

void THttpScan::ClearEvents() {
    OnError = nullptr;
    OnLinkFound = nullptr;
    OnLog = nullptr;
    OnMetaTag = nullptr;
    OnPageReceived = nullptr;
    OnUpdatedStats = nullptr;
    OnWorking = nullptr;
    OnSkipped = nullptr;
    OnServerWait = nullptr;
    OnLinkDecision = nullptr;
    OnFetchFailed = nullptr;
    WithholdLink = nullptr;
}

bool THttpScan::Start(const std::string& Url) {
    if (m_impl->Running) return false;
    if (!Url.empty()) m_impl->StartingUrl = Url;
    return Start();
}

bool THttpScan::Start() {
    TImpl& d = *m_impl;
    if (d.Running || d.StartGuard) return false;
    d.StartGuard = true;
    bool failed = false;
    bool result = false;
    if (!d.ResultsFile && !d.ResultsPath.empty() && !d.OpenResultsFile()) {
        ShowEngineMessage("unable to create file: " + d.ResultsPath);
        failed = true;
    }
    if (!failed && d.StartingUrl.empty()) {
        ShowEngineMessage("no URL specified");
        failed = true;
    }
    // The start page is visited under the same name as a link to it.
    if (!failed && !d.StartUrlParts.Crack(NormalizeUrl(d.StartingUrl))) {
        ShowEngineMessage("Invalid Url : " + d.StartingUrl);
        failed = true;
    }
    if (!failed) {
        const std::string full = d.StartUrlParts.Url;
        // The user's credentials are meant for the site they start on, not for what it links to.
        d.Dwnld.Connection.CredentialOrigin = OriginKey(full);
        int index = -1;
        int insertPos = -1;
        if (!d.FindVisited(full, index, insertPos, true)) {
            d.JournalRunBegins();
            TVisit visit{.Flags = TVisit::kFollowedPage, .Depth = 1};
            d.VisitedUrls.SetObject(insertPos, visit.Value());
            d.JournalVisited(full, visit.JournalFlag());
            if (d.Dwnld.AddUrl(full, {.Referrer = full, .Depth = 1})) {
                d.Ledger.Queued(1);
                visit.State = TVisitState::Waiting;
                visit.Entry = static_cast<std::uint32_t>(d.Dwnld.LastEntryId);
                d.VisitedUrls.SetObject(insertPos, visit.Value());
                d.NoteSitemapServer(full, 1);
            }
            d.JournalCommit();
            d.StartDriver();
            d.Running = true;
            result = true;
        }
    }
    d.StartGuard = false;
    return result;
}

bool THttpScan::Stop() {
    TImpl& d = *m_impl;
    if (d.StopGuard || d.Dwnld.Stopping) return false;
    d.StopGuard = true;
    if (!d.Running) {
        d.StopGuard = false;
        return false;
    }
    d.Dwnld.StopAll();
    d.StopGuard = false;
    return true;
}

bool THttpScan::Running() const {
    return m_impl->Running;
}

bool THttpScan::ShareServersWith(THttpScan& Other) {
    if (Running()) return false;
    m_impl->Dwnld.Policy.ShareWith(Other.m_impl->Dwnld.Policy);
    return true;
}

const std::string& THttpScan::ResultsFileError() const {
    return m_impl->ResultsError;
}

const std::string& THttpScan::SpillFileError() const {
    return m_impl->SpillError;
}

namespace {
void LoadLowerCaseLines(TQuickSortStringList& list, const std::string& text) {
    list.SetText(AsciiLowerCase(text));
    list.Sort();
}
}  // namespace

void THttpScan::SetTypeList(const std::string& Text) {
    LoadLowerCaseLines(m_impl->Rules.TypeList, Text);
}
void THttpScan::SetExcludeKeywords(const std::string& Text) {
    LoadLowerCaseLines(m_impl->Rules.ExcludeKeywords, Text);
}
void THttpScan::SetIncludeKeywords(const std::string& Text) {
    LoadLowerCaseLines(m_impl->Rules.IncludeKeywords, Text);
}
bool THttpScan::FollowKeywordsEnabled() const {
    return m_impl->Rules.FollowKeywordsEnabled;
}
void THttpScan::SetFollowKeywordsEnabled(bool Value) {
    m_impl->Rules.FollowKeywordsEnabled = Value;
}
void THttpScan::SetFollowKeywords(const std::string& Text) {
    LoadFollowKeywords(m_impl->Rules.FollowKeywords, Text);
}
std::string THttpScan::FollowKeywords() const {
    return m_impl->Rules.FollowKeywords.Text();
}
std::string THttpScan::TypeList() const {
    return m_impl->Rules.TypeList.Text();
}
std::string THttpScan::ExcludeKeywords() const {
    return m_impl->Rules.ExcludeKeywords.Text();
}
std::string THttpScan::IncludeKeywords() const {
    return m_impl->Rules.IncludeKeywords.Text();
}

TImpl& ImplOf(THttpScan& Scan) {
    return *Scan.m_impl;
}

const std::string& THttpScan::Agent() const {
    return m_impl->Dwnld.Connection.Agent;
}
void THttpScan::SetAgent(const std::string& Value) {
    m_impl->Dwnld.Connection.Agent = Value;
}

bool THttpScan::AllowRedirect() const {
    return m_impl->AllowRedirect;
}
void THttpScan::SetAllowRedirect(bool Value) {
    m_impl->AllowRedirect = Value;
}

bool THttpScan::AdaptiveTicks() const {
    return m_impl->AdaptiveTicks;
}
void THttpScan::SetAdaptiveTicks(bool Value) {
    m_impl->SetAdaptiveTicks(Value);
}

int THttpScan::ConcurrentDownloads() const {
    return m_impl->Dwnld.ConcurrentDownloads;
}
void THttpScan::SetConcurrentDownloads(int Value) {
    if (Value <= 0) return;
    m_impl->Dwnld.ConcurrentDownloads = Value;
    SetConnectionLimit(Value);
}

int THttpScan::DepthSearchLevel() const {
    return m_impl->Dwnld.DepthLimit;
}
void THttpScan::SetDepthSearchLevel(int Value) {
    if (Value > 0) m_impl->Dwnld.DepthLimit = Value;
}

const std::string& THttpScan::FileOfResults() const {
    return m_impl->ResultsPath;
}
void THttpScan::SetFileOfResults(const std::string& Value) {
    if (!Value.empty() && Value.find('/') == std::string::npos)
        m_impl->ResultsPath = QDir::currentPath().toStdString() + "/Download/" + Value;
    else
        m_impl->ResultsPath = Value;
}

int THttpScan::HttpPort() const {
    return m_impl->HttpPort;
}
void THttpScan::SetHttpPort(int Value) {
    m_impl->HttpPort = Value;
}

bool THttpScan::KeywordsFilterEnabled() const {
    return m_impl->Rules.ExcludeEnabled;
}
void THttpScan::SetKeywordsFilterEnabled(bool Value) {
    m_impl->Rules.ExcludeEnabled = Value;
}
bool THttpScan::KeywordsLimiterEnabled() const {
    return m_impl->Rules.IncludeEnabled;
}
void THttpScan::SetKeywordsLimiterEnabled(bool Value) {
    m_impl->Rules.IncludeEnabled = Value;
}

bool THttpScan::LeavesFirst() const {
    return m_impl->Dwnld.LeavesFirst;
}
void THttpScan::SetLeavesFirst(bool Value) {
    m_impl->Dwnld.LeavesFirst = Value;
}

TLinkReport THttpScan::LinkReport() const {
    return m_impl->Rules.LinkReport;
}
void THttpScan::SetLinkReport(TLinkReport Value) {
    m_impl->Rules.LinkReport = Value;
}
TLinkScan THttpScan::LinkScan() const {
    return m_impl->Rules.LinkScan;
}
void THttpScan::SetLinkScan(TLinkScan Value) {
    m_impl->Rules.LinkScan = Value;
}

bool THttpScan::LogsEnabled() const {
    return m_impl->LogsEnabled;
}
void THttpScan::SetLogsEnabled(bool Value) {
    TImpl& d = *m_impl;
    d.LogsEnabled = Value;
    if (Value)
        d.Dwnld.OnLog = [&d](THttpDwnld&, const std::string& text) { d.Log("HTML: " + text); };
    else
        d.Dwnld.OnLog = nullptr;
}

int THttpScan::MaxQueueSize() const {
    return m_impl->Dwnld.MaxQueueSize;
}
void THttpScan::SetMaxQueueSize(int Value) {
    if (Value > 9) m_impl->Dwnld.MaxQueueSize = Value;
}

int THttpScan::DeferredCount() const {
    return m_impl->Dwnld.DeferredCount();
}

std::uint64_t THttpScan::BytesReceived() const {
    return m_impl->Dwnld.Transferred.Received;
}

std::uint64_t THttpScan::BytesDecoded() const {
    return m_impl->Dwnld.Transferred.Decoded;
}

const std::string& THttpScan::SpillFolder() const {
    return m_impl->Dwnld.Overflow.Folder;
}
void THttpScan::SetSpillFolder(const std::string& Value) {
    m_impl->Dwnld.Overflow.Folder = Value;
}

const std::string& THttpScan::Password() const {
    return m_impl->Dwnld.Connection.Password;
}
void THttpScan::SetPassword(const std::string& Value) {
    m_impl->Dwnld.Connection.Password = Value;
}

const std::string& THttpScan::ProxyAddress() const {
    return m_impl->Dwnld.Connection.ProxyAddress;
}
void THttpScan::SetProxyAddress(const std::string& Value) {
    m_impl->Dwnld.Connection.ProxyAddress = Value;
}
const std::string& THttpScan::ProxyPassword() const {
    return m_impl->Dwnld.Connection.ProxyPassword;
}
void THttpScan::SetProxyPassword(const std::string& Value) {
    m_impl->Dwnld.Connection.ProxyPassword = Value;
}
int THttpScan::ProxyPort() const {
    return m_impl->Dwnld.Connection.ProxyPort;
}
void THttpScan::SetProxyPort(int Value) {
    m_impl->Dwnld.Connection.ProxyPort = Value;
}
TProxyType THttpScan::ProxyType() const {
    return m_impl->Dwnld.Connection.ProxyType;
}
void THttpScan::SetProxyType(TProxyType Value) {
    m_impl->Dwnld.Connection.ProxyType = Value;
}
const std::string& THttpScan::ProxyUser() const {
    return m_impl->Dwnld.Connection.ProxyUser;
}
void THttpScan::SetProxyUser(const std::string& Value) {
    m_impl->Dwnld.Connection.ProxyUser = Value;
}

const std::string& THttpScan::Referer() const {
    return m_impl->Referer;
}
void THttpScan::SetReferer(const std::string& Value) {
    m_impl->Referer = Value;
}

int THttpScan::Retries() const {
    return m_impl->Dwnld.Retries;
}
void THttpScan::SetRetries(int Value) {
    if (Value <= 0) return;
    m_impl->Dwnld.Retries = Value;
}

bool THttpScan::RetriesEnabled() const {
    return m_impl->Dwnld.RetriesEnabled;
}
void THttpScan::SetRetriesEnabled(bool Value) {
    m_impl->Dwnld.RetriesEnabled = Value;
}

bool THttpScan::ObeyRobotsTxt() const {
    return m_impl->Dwnld.Policy.Settings.ObeyRobotsTxt;
}
void THttpScan::SetObeyRobotsTxt(bool Value) {
    m_impl->Dwnld.Policy.Settings.ObeyRobotsTxt = Value;
}

int THttpScan::HostDelayMs() const {
    return m_impl->Dwnld.Policy.Settings.DelayMs;
}
void THttpScan::SetHostDelayMs(int Value) {
    if (Value >= 0) m_impl->Dwnld.Policy.Settings.DelayMs = Value;
}

int THttpScan::MaxPerHost() const {
    return m_impl->Dwnld.Policy.Settings.MaxPerServer;
}
void THttpScan::SetMaxPerHost(int Value) {
    if (Value >= 0) m_impl->Dwnld.Policy.Settings.MaxPerServer = Value;
}

int THttpScan::SkippedByRobots() const {
    return m_impl->SkippedByRobots;
}

bool THttpScan::SeekSitemaps() const {
    return m_impl->SeekSitemaps;
}
void THttpScan::SetSeekSitemaps(bool Value) {
    m_impl->SeekSitemaps = Value;
}

bool THttpScan::SeekRobotsTxt() const {
    return m_impl->Rules.SeekRobots;
}
void THttpScan::SetSeekRobotsTxt(bool Value) {
    m_impl->Rules.SeekRobots = Value;
    // The robots.txt read for a server's rules then also serves as the page of its URL.
    m_impl->Dwnld.ServeRobotsPages = Value;
}

const std::string& THttpScan::StartingUrl() const {
    return m_impl->StartingUrl;
}
void THttpScan::SetStartingUrl(const std::string& Value) {
    m_impl->StartingUrl = Value;
}

int THttpScan::TimeOut() const {
    return m_impl->Dwnld.TimeOut;
}
void THttpScan::SetTimeOut(int Value) {
    if (Value <= 0) return;
    m_impl->Dwnld.TimeOut = Value;
}

bool THttpScan::TypeFilterEnabled() const {
    return m_impl->Rules.TypeFilterEnabled;
}
void THttpScan::SetTypeFilterEnabled(bool Value) {
    m_impl->Rules.TypeFilterEnabled = Value;
}

const std::string& THttpScan::UserName() const {
    return m_impl->Dwnld.Connection.UserName;
}
void THttpScan::SetUserName(const std::string& Value) {
    m_impl->Dwnld.Connection.UserName = Value;
}
