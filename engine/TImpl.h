#pragma once
// The crawler component's private state: the scheduler, the start URL's parts, the visited and
// filter lists, the results file and every property value. It turns the scheduler's callbacks
// into the component's events and runs the page analysis. GUI thread only.

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "EngineTypes.h"
#include "LinkDecision.h"
#include "TCrackUrl.h"
#include "THttpDwnld.h"
#include "TQuickSortStringList.h"
#include "TRunJournal.h"

class THttpScan;
class TDwnldThread;
struct TTickPace;
class THttpGet;
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

    // Page analysis.
    // A redirected page: its links resolve against FinalUrl, which also counts as visited.
    void UseFinalUrl(TPageContext& Page, const std::string& FinalUrl);
    void AnalysePage(TPageContext& Page, const std::string& Body);
    void ParseHeadOf(const TPageContext& Page, const std::string& Body);
    void FollowRefresh(const TPageContext& Page, const std::string& Target);
    // Decides about one link value of the page and applies the decision; Decision is the
    // page's scratch record, reused from link to link.
    void ProcessLink(TPageContext& Page, const std::string& Value, TTagKind TagKind,
                     TLinkDecision& Decision);
    // Its results-file line when the link was written ("" when the handler wrote none).
    std::optional<std::string> ApplyLink(const TPageContext& Page, TTagKind TagKind,
                                         TLinkDecision& Decision);
    TLinkState LinkState() const;

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
    void JournalVisited(const std::string& Url, int Flag);
    void JournalHost(const std::string& Host);
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
    TQuickSortStringList VisitedHosts;
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
    TQuickSortStringList VisitedUrls;
    // Keyword, type, report and scan settings of the link decision.
    TLinkRules Rules;
    TRunJournal Journal;
    std::string JournalError;  // why the journal failed; empty when it did not
    // The journal failed between runs (a note of the owner): the next run stops as it begins.
    bool JournalFailedIdle = false;
    bool Restoring = false;  // a resumed run is being put back: nothing to record
};
