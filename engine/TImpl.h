#pragma once
// The crawler component's private state: the scheduler, the start URL's parts, the visited and
// filter lists, the results file and every property value. It turns the scheduler's callbacks
// into the component's events and runs the page analysis. GUI thread only.

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "EngineTypes.h"
#include "LinkDecision.h"
#include "TCrackUrl.h"
#include "TDepthLedger.h"
#include "THttpDwnld.h"
#include "TQuickSortStringList.h"
#include "TRunJournal.h"

class THttpScan;
class TDwnldThread;
struct TTickPace;
class THttpGet;
class TMarkedPage;
struct TJournalRun;

// The state behind a component, for the engine's own code and its internal tests and benchmarks.
struct TImpl;
TImpl& ImplOf(THttpScan& Scan);

struct TFileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Settings that the scheduler reads (connection, retries, time-out, concurrency, depth) live in
// Dwnld only; the component reads them back from there.
struct TImpl {
    explicit TImpl(THttpScan& Owner);
    ~TImpl();

    // Scheduler callbacks.
    void PageReceived(THttpGet& Page);
    void Stats(int InQueue, int Downloading, int ToAnalyze, int Done, int Retries, int Errors);
    void WorkingChanged(bool Working);
    void Error(const std::string& Url, int Status, const std::string& Message);
    void Failed(const std::string& Url, const std::string& Referrer, TFetchFailure Reason,
                int Status);
    void HeaderArrived(const std::string& Url, int Status);
    void Log(const std::string& Text);

    // Driver thread: one tick on the GUI thread, and its end. TickStep tells the driver how to
    // pause before the next tick.
    TTickPace TickStep();
    void DriverEnded();
    void StartDriver();
    void SetAdaptiveTicks(bool Value);

    // Page analysis. FirstFetch is false for a page fetched once more for a shorter path: its
    // head and page events were told the first time.
    // A redirected page: its links resolve against FinalUrl, which also counts as visited.
    void UseFinalUrl(TPageContext& Page, const std::string& FinalUrl);
    // Marked is the page as its fetch worker marked it, if it did.
    void AnalysePage(TPageContext& Page, const std::string& Body, bool FirstFetch = true,
                     TMarkedPage* Marked = nullptr);
    // Tells the head's tags to OnMetaTag and follows its refresh, while a listener is assigned,
    // and sets Page.NoFollow from its meta robots while robots rules are obeyed.
    void ParseHeadOf(TPageContext& Page, const std::string& Body, bool FirstFetch);
    bool ObeysRobots() const { return Dwnld.Policy.Settings.ObeyRobotsTxt; }
    void FollowRefresh(const TPageContext& Page, const std::string& Target);
    // Decides about one link value of the page and applies the decision; Decision is the
    // page's scratch record, reused from link to link. Each address of a mailto value is a link
    // of its own: decided, applied and told in the order of the value.
    void ProcessLink(TPageContext& Page, const std::string& Value, TTagKind TagKind,
                     TLinkDecision& Decision);
    void ApplyDecision(TPageContext& Page, TTagKind TagKind, TLinkDecision& Decision);
    // Its results-file line when the link was written ("" when the handler wrote none, "x" for
    // the usual line of DefaultResultLine).
    std::optional<std::string> ApplyLink(const TPageContext& Page, TTagKind TagKind,
                                         TLinkDecision& Decision);
    void ApplyAgain(const TPageContext& Page, TTagKind TagKind, TLinkDecision& Decision);
    std::optional<std::string> ReportLink(const TPageContext& Page, TTagKind TagKind,
                                          const TLinkDecision& D, bool& Go);
    TLinkState LinkState() const;
    // Looks Url up in VisitedUrls under its key, as VisitedUrls.Find does with the key.
    bool FindVisited(std::string_view Url, int& Index, int& InsertPos, bool AddIfMissing = false);

    // Shortest-path depths (TImplDepth.cpp). A page's depth is that of the shortest path to it
    // found so far, kept in its VisitedUrls entry (TVisit).
    struct TShorterPath {
        std::string Url;       // as VisitedUrls has it
        int Depth = 0;         // its depth by this path
        std::string Referrer;  // the page the path comes through
        int PageDepth = 0;     // that page's depth
        TTagKind TagKind = tagHref;
    };
    // Brings the page of Path.Url, and whatever was found from it, down to the shorter depth:
    // a page not queued for the depth limit is queued, a waiting one waits at the new depth, an
    // analysed one has its kept links followed from there (or, with none kept, is fetched once
    // more). OnLinkDecision tells each page it changes, but the first when Told says that its
    // caller tells it.
    void Shorten(TShorterPath Path, bool Told);
    // Queues a page to follow, after its host's robots.txt when SeekRobots asks for that and it
    // was not asked for yet, and counts it as waiting at its depth. Parts: the page's URL parts,
    // when at hand. False when the scheduler could not keep it.
    bool QueuePage(const std::string& Url, TUrlObject Entry, const TCrackUrl* Parts);
    // The depth a page fetched by Page is analysed at (the shortest path found meanwhile), and
    // where its page links are kept when a shorter path may still turn up; null when not.
    std::vector<TKeptLink>* BeginPage(const THttpGet& Page, int& Depth);
    void KeepLink(const std::string& Url, unsigned char Step, TTagKind TagKind);
    // The scheduler is done with an entry.
    void EntryDone(std::uint64_t Id, TEntryOutcome Outcome, const std::string& Url);

    // Sitemaps (TImplSitemaps.cpp), while SeekSitemaps. A server's sitemaps hang below the first
    // page queued for it: their pages lie one level deeper, so the depth limit bounds them as it
    // bounds links (the start page's server: depth 2). A page of a new server is noted here;
    // its sitemaps are sought at once when robots.txt is not obeyed, else once it is read.
    void NoteSitemapServer(const std::string& Url, int Depth);
    void RobotsKnown(const std::string& Server);
    void SeekSitemapsOf(const std::string& Server);
    // Queues a sitemap file at Depth, once per run and within the files allowed per server.
    void QueueSitemap(const std::string& Url, const std::string& Referrer, int Depth);
    void SitemapReceived(THttpGet& Sitemap);
    // One page location of a sitemap: followed as a link of the sitemap would be, but not
    // reported (a link to it met later still is). True when it was queued or brought nearer.
    bool FollowSitemapPage(const TPageContext& Sitemap, const std::string& Location,
                           TLinkDecision& Decision);

    // Results file.
    bool OpenResultsFile();
    // Closes the file; a write that fails at the close is reported like any other.
    void CloseResultsFile();
    void WriteResultLine(const std::string& Line);
    // Pushes buffered lines to the file, so a full disk is noticed while the run goes on.
    void FlushResultsFile();
    // A write failed: the run stops, and OnError and OnLog name the file and the system's reason.
    void ResultsWriteFailed(int ErrorNumber);
    // The scheduler's overflow failed: OnError and OnLog tell why; the scheduler stops the run.
    void OverflowFailed();

    // Run journal (see THttpScan::OpenJournal). Each records one change while a journal is
    // open, except while a resumed run is being restored.
    void JournalRunBegins();
    void JournalVisited(std::string_view Url, int Flag);
    // A host met, or (RobotsAsked) one whose robots.txt is queued.
    void JournalHost(const std::string& Host, bool RobotsAsked);
    void JournalQueued(const std::string& Url, const TUrlObject& Entry);
    void JournalDone(std::uint64_t Id, TEntryOutcome Outcome);
    // A written link, with its visited flag.
    void JournalReport(const TLinkDecision& Decision, const std::string& FromUrl, char HrefOrSrc,
                       const std::string& Line, int Flag);
    void JournalCommit();
    // Once a tick: writes what is committed, and syncs once a second.
    void JournalTick();
    void JournalRunEnds(bool Finished);
    // A journal write failed: OnError and OnLog tell why, and the run stops.
    void JournalFailed();
    // The settings a journal records, and their restoration.
    std::vector<std::pair<std::string, std::string>> JournalSettings() const;
    void ApplyJournalSettings(const TJournalRun& Run);
    // Restores the visited lists, counters, results file and queue of Run; see THttpScan::Resume.
    bool RestoreRun(const TJournalRun& Run);

    THttpScan& Owner;
    bool AllowRedirect = true;
    // Tick as fast as there is work instead of every 50 ms; see TickStep.
    bool AdaptiveTicks = false;
    TCrackUrl StartUrlParts;
    std::shared_ptr<TDwnldThread> Driver;  // until its end handler has run
    bool Running = false;
    std::string ResultsPath = "thttpscan_results.txt";
    TQuickSortStringList VisitedHosts;  // value 1: its robots.txt was queued (SeekRobots)
    std::unique_ptr<std::FILE, TFileCloser> ResultsFile;
    bool ResultsUnflushed = false;  // lines written since the last flush
    std::string ResultsError;  // why the results file failed in this run; empty when it did not
    std::string SpillError;    // why the overflow file failed in this run; empty when it did not
    THttpDwnld Dwnld;
    bool LogsEnabled = false;
    // Runs on the marked page text just before link extraction.
    std::function<void(std::string& Text)> PageHook;
    int HttpPort = 80;
    std::string Referer;
    int SkippedByRobots = 0;
    std::string StartingUrl;
    bool StartGuard = false;
    bool StopGuard = false;
    // Every URL and address met, under its key (VisitedKey), compared exactly; values: TVisit.
    TQuickSortStringList VisitedUrls{TListOrder::Exact};
    TDepthLedger Ledger;
    std::vector<TKeptLink>* KeptLinks = nullptr;  // of the page being analysed, while kept
    // Keyword, type, report and scan settings of the link decision.
    TLinkRules Rules;
    TRunJournal Journal;
    // Why the entry about to be done with failed, for its journal record; told by Failed.
    std::string FailureText;
    std::string JournalError;  // why the journal failed; empty when it did not
    // The journal failed between runs (a note of the owner): the next run stops as it begins.
    bool JournalFailedIdle = false;
    bool Restoring = false;  // a resumed run is being put back: nothing to record
    bool SeekSitemaps = false;
    // The sitemap files one server may give a run (the protocol's bound for a site); an index
    // that names itself, or a ring of indexes, ends here too.
    int MaxSitemapFiles = 1000;
    // Of the current run: the depth of each server's first queued page while its sitemaps are
    // still to be sought (-1 once sought), the sitemap files queued (by VisitedKey) and the
    // count of files queued per server.
    std::unordered_map<std::string, int> SitemapServers;
    std::unordered_set<std::string> SitemapFiles;
    std::unordered_map<std::string, int> SitemapFilesPerServer;
};
