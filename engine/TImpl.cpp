#include "TImpl.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>
#include <utility>

#include "LinkExtractor.h"
#include "MetaRobots.h"
#include "TDwnldThread.h"
#include "THttpGet.h"
#include "THttpScan.h"
#include "TNoticeQueue.h"
#include "UrlIdentity.h"

TImpl::TImpl(THttpScan& OwnerScan) : Owner(OwnerScan) {
    VisitedHosts.SetCapacity(10000);
    VisitedUrls.SetCapacity(32000);
    Rules.ExcludeKeywords.SetText("track\nhitbox\nreferer\nstat\ncount");
    Rules.ExcludeKeywords.Sort();
    Rules.TypeList.SetText("gif");
    Rules.TypeList.Sort();
    PageHook = [](std::string& text) { CloseOpenAreas(text); };

    Dwnld.ConcurrentDownloads = 6;
    Dwnld.DepthLimit = 3;
    Dwnld.LeavesFirst = false;
    Dwnld.Kind = kindHtmlPages;
    Dwnld.OnPageReceived = [this](THttpDwnld&, THttpGet& page) { PageReceived(page); };
    Dwnld.OnStats = [this](THttpDwnld&, int, int inQueue, int downloading, int toAnalyze, int done,
                           int retries, int errors) {
        Stats(inQueue, downloading, toAnalyze, done, retries, errors);
    };
    // The crawler's header handler only logs: downloads need not wait for it.
    Dwnld.HeaderMayRefuse = false;
    Dwnld.OnHeader = [this](THttpDwnld&, int, const std::string& url, const std::string&,
                            int status, const std::string&, int, int, bool&,
                            int) { HeaderArrived(url, status); };
    Dwnld.OnError = [this](THttpDwnld&, int, const std::string& url, int status,
                           const std::string& message,
                           const std::string&) { Error(url, status, message); };
    Dwnld.OnFailed = [this](THttpDwnld&, const std::string& url, const std::string& referrer,
                            TFetchFailure reason,
                            int status) { Failed(url, referrer, reason, status); };
    Dwnld.OnWorking = [this](THttpDwnld&, bool working) { WorkingChanged(working); };
    Dwnld.OnSkipped = [this](THttpDwnld&, const std::string& url, const std::string& referrer,
                             TServerReason reason, TFetchFailure cause, int status) {
        if (reason == TServerReason::RobotsDisallowed) ++SkippedByRobots;
        const std::string why = FetchFailureText(cause, status);
        Log("skipped (" + std::string(ServerReasonText(reason)) + (why.empty() ? "" : ": " + why) +
            "): " + url);
        if (Owner.OnSkipped)
            Owner.OnSkipped(Owner, url, referrer, ServerReasonText(reason), cause, status);
    };
    Dwnld.OnServerWait = [this](THttpDwnld&, const std::string& server, int ms,
                                TServerReason reason) {
        if (Owner.OnServerWait && !Dwnld.Stopping)
            Owner.OnServerWait(Owner, server, ms, ServerReasonText(reason));
    };
    Dwnld.OnOverflowFailed = [this](THttpDwnld&) { OverflowFailed(); };
    Dwnld.OnQueued = [this](const std::string& url, const TUrlObject& entry) {
        JournalQueued(url, entry);
    };
    Dwnld.OnEntryDone = [this](std::uint64_t id, TEntryOutcome outcome, const std::string& url) {
        EntryDone(id, outcome, url);
    };
    Dwnld.OnSitemapReceived = [this](THttpDwnld&, THttpGet& sitemap) { SitemapReceived(sitemap); };
    Dwnld.OnRobotsKnown = [this](const std::string& server) { RobotsKnown(server); };
    Dwnld.OnSlotEnded = [this] {
        if (Driver && AdaptiveTicks) Driver->Wake();
    };
}

TImpl::~TImpl() {
    if (Driver) Driver->Detach();
}

void TImpl::Stats(int InQueue, int Downloading, int ToAnalyze, int Done, int RetriesCount,
                  int Errors) {
    if (Owner.OnUpdatedStats)
        Owner.OnUpdatedStats(Owner, InQueue, Downloading, ToAnalyze, Done, RetriesCount, Errors);
}

void TImpl::WorkingChanged(bool Working) {
    if (Working) {
        SkippedByRobots = 0;
        SpillError.clear();
    }
    Ledger.Clear();
    SitemapServers.clear();
    SitemapFiles.clear();
    SitemapFilesPerServer.clear();
    if (Owner.OnWorking) Owner.OnWorking(Owner, Working);
    if (!Working) {
        VisitedUrls.Clear();
        VisitedHosts.Clear();
    }
}

void TImpl::Error(const std::string& Url, int Status, const std::string& Message) {
    if (Owner.OnError) Owner.OnError(Owner, Url, static_cast<unsigned>(Status), Message);
}

void TImpl::Failed(const std::string& Url, const std::string& Referrer, TFetchFailure Reason,
                   int Status) {
    FailureText = FetchFailureText(Reason, Status);
    Log("failed (" + FailureText + "): " + Url);
    if (Owner.OnFetchFailed) Owner.OnFetchFailed(Owner, Url, Referrer, Reason, Status);
}

void TImpl::HeaderArrived(const std::string& Url, int Status) {
    Log("html head complete (" + std::to_string(Status) + "):" + Url);
}

void TImpl::Log(const std::string& Text) {
    if (LogsEnabled && Owner.OnLog && !Dwnld.Stopping) Owner.OnLog(Owner, Text);
}

void TImpl::StartDriver() {
    Driver =
        std::make_shared<TDwnldThread>([this] { return TickStep(); }, [this] { DriverEnded(); });
    std::string why;
    if (Driver->Start(why)) {
        // A journal that failed since the last run leaves this one nothing to keep it in.
        if (std::exchange(JournalFailedIdle, false)) Dwnld.StopAll();
        return;
    }
    // Without its driver the run cannot go on: it ends at once, as stopped, and says why.
    Driver.reset();
    const std::string message = "cannot start the download thread: " + why;
    Error(StartUrlParts.Url, 0, message);
    Log(message);
    Dwnld.Stopping = true;
    TNoticeQueue::Main()->Post([this] { DriverEnded(); });
}

void TImpl::SetAdaptiveTicks(bool Value) {
    AdaptiveTicks = Value;
}

TTickPace TImpl::TickStep() {
    if (!Dwnld.Working) return {};
    Dwnld.Tick();
    FlushResultsFile();
    JournalTick();
    // Reports are held back for a listener's sake; with none, holding one would only keep the
    // run from ending right after its last page.
    Dwnld.ThrottleStats = AdaptiveTicks && Owner.OnUpdatedStats;
    const bool goesOn = Dwnld.CheckProgress();
    if (!goesOn) {
        CloseResultsFile();
        if (Driver) Driver->RequestInterruption();
        return {};
    }
    const TTickPace pace = AdaptiveTicks ? TTickPace{Dwnld.AdaptiveDelayMs(), true} : TTickPace{};
    // User actions (Stop) and the workers' notices are handled between ticks. Nothing of this
    // object is touched after it: a handler may have destroyed the component meanwhile.
    QCoreApplication::processEvents();
    return pace;
}

void TImpl::DriverEnded() {
    JournalRunEnds(!Dwnld.Stopping);
    Driver = nullptr;
    Running = false;
    Dwnld.Stopping = false;
    Dwnld.SetWorking(false);
}

bool TImpl::OpenResultsFile() {
    ResultsError.clear();
    ResultsUnflushed = false;
    ResultsFile.reset(std::fopen(ResultsPath.c_str(), "wb"));
    return ResultsFile != nullptr;
}

void TImpl::CloseResultsFile() {
    std::FILE* file = ResultsFile.release();
    if (file && std::fclose(file) != 0) ResultsWriteFailed(errno);
}

void TImpl::WriteResultLine(const std::string& Line) {
    if (!ResultsFile) return;
    if (std::fwrite(Line.data(), 1, Line.size(), ResultsFile.get()) != Line.size() ||
        std::fwrite("\r\n", 1, 2, ResultsFile.get()) != 2) {
        ResultsWriteFailed(errno);
        return;
    }
    ResultsUnflushed = true;
}

void TImpl::FlushResultsFile() {
    if (!ResultsFile || !ResultsUnflushed) return;
    ResultsUnflushed = false;
    if (std::fflush(ResultsFile.get()) != 0) ResultsWriteFailed(errno);
}

void TImpl::ResultsWriteFailed(int ErrorNumber) {
    // Results that cannot be kept are not worth crawling for: one report, then the run stops.
    ResultsFile.reset();
    if (!ResultsError.empty()) return;
    ResultsError = std::strerror(ErrorNumber != 0 ? ErrorNumber : EIO);
    const std::string message = "cannot write results file " + ResultsPath + ": " + ResultsError;
    if (Owner.OnError) Owner.OnError(Owner, ResultsPath, 0, message);
    if (Owner.OnLog) Owner.OnLog(Owner, message);
    Dwnld.StopAll();
}

void TImpl::OverflowFailed() {
    // Links that cannot be kept would make the harvest incomplete without a word: one report,
    // then the scheduler stops the run.
    SpillError = Dwnld.Overflow.Error();
    const std::string spillPath = Dwnld.Overflow.SpillPath();
    const std::string& where = spillPath.empty() ? Dwnld.Overflow.Folder : spillPath;
    if (Owner.OnError) Owner.OnError(Owner, where, 0, SpillError);
    if (Owner.OnLog) Owner.OnLog(Owner, SpillError);
}

void TImpl::PageReceived(THttpGet& Page) {
    const bool firstFetch = Page.FetchMode != fetchAgain;
    if (Owner.OnPageReceived && firstFetch)
        Owner.OnPageReceived(Owner, Page.UrlParts.HostName, Page.UrlParts.Url, Page.Headers,
                             Page.Body);
    TPageContext context;
    context.PageParts = Page.UrlParts;
    context.Referrer = Page.Referrer;
    context.Depth = Page.Depth;
    context.Encoding = Page.Encoding;
    context.NoFollow = ObeysRobots() && HeadersForbidFollowing(Page.Headers);
    Ledger.Hold();
    KeptLinks = BeginPage(Page, context.Depth);
    if (!Page.FinalUrl.empty()) UseFinalUrl(context, Page.FinalUrl);
    AnalysePage(context, Page.Body, firstFetch, &Page.Marked);
    KeptLinks = nullptr;
    Ledger.Release();
}

void TImpl::UseFinalUrl(TPageContext& Page, const std::string& FinalUrl) {
    TCrackUrl final;
    if (!final.Crack(FinalUrl)) return;
    Page.CreditedUrl = Page.PageParts.Url;
    Page.PageParts = std::move(final);
    // The page has been fetched under its final address too, at the page's depth: that address
    // is no new page, but the first link to it is still news, as for a refresh's target.
    int index = -1;
    int insertPos = -1;
    const bool met = FindVisited(FinalUrl, index, insertPos, true);
    TVisit visit = met ? TVisit::Of(VisitedUrls.Objects(index))
                       : TVisit{.Flags = kQueuedByRefresh, .State = TVisitState::Analysed};
    if (!met) {
        index = insertPos;
        visit.Depth = Page.Depth;
    } else if (visit.Depth > Page.Depth) {
        // Fetched under this name at the shorter depth: its links are this page's links.
        if (visit.State == TVisitState::Met) visit.State = TVisitState::Analysed;
        if (visit.State == TVisitState::Waiting) Ledger.Moved(visit.Depth, Page.Depth);
        visit.Depth = Page.Depth;
    } else {
        return;
    }
    VisitedUrls.SetObject(index, visit.Value());
    JournalVisited(VisitedUrls.Strings(index), visit.JournalFlag());
    // A shorter path to the final address is one to the page asked for.
    if (KeptLinks) Ledger.Keep(VisitedUrls.Strings(index), Page.Depth).push_back({Page.Url(), 0});
}

bool TImpl::FindVisited(std::string_view Url, int& Index, int& InsertPos, bool AddIfMissing) {
    return VisitedUrls.Find(VisitedKey(Url), Index, InsertPos, AddIfMissing);
}
