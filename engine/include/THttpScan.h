#pragma once
// THttpScan crawls the web from one start URL. Its owner sets properties, calls Start, and
// learns everything through eleven events, each raised on the GUI thread only and only when
// assigned (an empty std::function means nobody listens). All state lives in a private TImpl.
//
// One run: a successful Start until the scheduler finds nothing left to do (or was stopped) and
// OnWorking reports false. The component must be created and used on the GUI thread of a running
// Qt event loop.
//
// Re-entrancy: a handler may call Stop (the run then queues nothing more, ends the current
// page's link scan and winds down), change properties and lists (they apply from the next link
// on) and read everything. It must not call Start from OnWorking(false): the visited lists are
// emptied only after that handler returns, so start the next run from the event loop (a
// zero-time timer). It must never destroy the component from one of its own events.
//
// Strings are the bytes as received or given, never re-encoded.

#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EngineTypes.h"
#include "FetchFailure.h"
#include "LinkDecision.h"

class THttpScan;
struct TImpl;
struct TJournalContents;
struct TJournalRun;

// A URL was not fetched: ErrorCode is its HTTP status. ErrorMsg is "ERROR" for a status that is
// not retried (such as 404), "" when the retries of a failed download are used up (ErrorCode
// then the last status, 0 when no answer came). OnFetchFailed follows with the reason.
using TOnError = std::function<void(THttpScan& Sender, const std::string& Url, unsigned ErrorCode,
                                    const std::string& ErrorMsg)>;
// A link passed the keyword lists, was not met before in the run, and LinkReport and the type
// filter admit it. UrlFound: the absolute URL, or the bare e-mail address (case kept) of a
// mailto link. TypeLink: "mail", "htm" for pages, else the lower-case file extension ("jpg" for
// jpeg, "mpg" for mpeg). FromUrl: the page it is on. HostName, UrlPath ("/dir/"),
// UrlPathWithFile and ExtraInfos ("?query#fragment") are the link's parts, all empty for an
// address or a link of another scheme. HrefOrSrc: 'H' for an href, 'S' for a src, a blank
// otherwise. CountArea: always 0.
// Out-parameters: WriteToFile starts as "x", which writes the default results line
// ("type";"url"); "" writes nothing; any other text is written as the line instead.
// FollowIfHtmlLink starts true for a page link the crawl may follow; false keeps it from being
// queued (it stays met, and is not offered again in the run).
using TOnLinkFound = std::function<void(
    THttpScan& Sender, const std::string& UrlFound, const std::string& TypeLink,
    const std::string& FromUrl, const std::string& HostName, const std::string& UrlPath,
    const std::string& UrlPathWithFile, const std::string& ExtraInfos, std::string& WriteToFile,
    char HrefOrSrc, int CountArea, bool& FollowIfHtmlLink)>;
// A line of the crawler's log, only while LogsEnabled.
using TOnLog = std::function<void(THttpScan& Sender, const std::string& LogMessage)>;
// The head of a page (only while a handler is assigned): the title as TagType "TITLE" with
// Tag1stAttrib "TITLE" and the title in Tag1stValue, and each META tag with up to three
// attribute names and values (empty when absent). Url is the page, ReferringUrl the page that
// linked it.
using TOnMetaTag = std::function<void(
    THttpScan& Sender, const std::string& Url, const std::string& ReferringUrl,
    const std::string& TagType, const std::string& Tag1stAttrib, const std::string& Tag1stValue,
    const std::string& Tag2ndAttrib, const std::string& Tag2ndValue,
    const std::string& Tag3rdAttrib, const std::string& Tag3rdValue)>;
// A page was fetched and is about to be analysed: its host, its URL (as asked for, not the final
// URL of a redirect), the response head and the body. Once per page: a page fetched a second
// time for a shorter path (see DepthSearchLevel) is neither told again nor counted again.
using TOnPageReceived =
    std::function<void(THttpScan& Sender, const std::string& HostName, const std::string& Url,
                       const std::string& Head, const std::string& Body)>;
// The scheduler's counts, at most once per 50 ms while a run is active: URLs queued, downloads
// running, pages waiting for analysis, pages done, retries and failures so far.
using TOnUpdatedStats = std::function<void(THttpScan& Sender, int InQueue, int Downloading,
                                           int ToAnalyze, int Done, int Retries, int Errors)>;
// True when a run starts, false when it has ended (see the re-entrancy rule above).
using TOnWorking = std::function<void(THttpScan& Sender, bool Working_)>;
// A queued URL that is not fetched because its server's robots.txt refuses it (Reason
// "robots"), or because that robots.txt could not be read (Reason "robots-unreachable": a server
// error or no answer, after which nothing of that server is fetched in the run). For the latter,
// Cause and Status say what the robots.txt request met, as OnFetchFailed would ("connection
// refused", "HTTP status 500"); for "robots" they are None and 0. Referrer is the page that
// linked it. Links to it are still reported: reporting fetches nothing. A URL whose redirect
// leads to such a refusal is told under its own name: the hop is not fetched, nor anything after.
using TOnSkipped =
    std::function<void(THttpScan& Sender, const std::string& Url, const std::string& Referrer,
                       const std::string& Reason, TFetchFailure Cause, int Status)>;
// Right after each OnError of a URL (not of a file): why it was not fetched. Reason is what its
// last attempt met (FetchFailureText puts it into words: "timed out", "redirect loop", ...), or
// HttpStatus for an answer judged by its status; Status is that attempt's HTTP status, 0 when
// none came. Referrer is the page that linked it. OnLog (while LogsEnabled) says the same.
using TOnFetchFailed =
    std::function<void(THttpScan& Sender, const std::string& Url, const std::string& Referrer,
                       TFetchFailure Reason, int Status)>;
// Queued work waits Milliseconds (a second or more) for Server ("http://host:80") before its
// next request may start. Reason: "Retry-After" or "429" (the server asked for a pause),
// "Crawl-delay" (its robots.txt), "delay" (HostDelayMs). Told once per pause or gap.
using TOnServerWait = std::function<void(THttpScan& Sender, const std::string& Server,
                                         int Milliseconds, const std::string& Reason)>;

// Every link value met in a page (but those WithholdLink withholds), with the decision taken about
// it (what it resolved to, whether it was reported and followed, and the rule behind each "no"),
// after OnLinkFound and queueing. FromUrl is the page it was found on, Depth that page's depth. A
// refused robots.txt is told later, by OnSkipped. A link met again is told again: where the later
// meeting changes the outcome (its page reports it after all, or it is a shorter path to a page),
// the decision says so, and each page whose depth a shorter path brings down is told as followed
// from the page of that path. Raised only when assigned; a crawl without it does no extra work.
using TOnLinkDecision = std::function<void(THttpScan& Sender, const TLinkDecision& Decision,
                                           const std::string& FromUrl, int Depth)>;
// Asked of every link that resolved (UrlFound as OnLinkFound would get it; TypeLink "mail" for an
// address, "0" for a URL dropped before it was typed) before
// anything is done with it. True withholds it: the run keeps no trace of it, neither a visited
// mark nor OnLinkFound, a results line, a journal record or OnLinkDecision; it is not followed,
// and it is asked again wherever it is met. For what the owner must never keep.
using TWithholdLink = std::function<bool(const std::string& UrlFound, const std::string& TypeLink)>;

class THttpScan : public QObject {
    Q_OBJECT
public:
    explicit THttpScan(QObject* Owner = nullptr);
    // Stops a running run and waits for its end (OnWorking false) before returning. Never
    // destroy the component from inside one of its own events.
    ~THttpScan() override;

    // Stores a non-empty Url as StartingUrl, then starts. False while a run is active.
    bool Start(const std::string& Url);
    bool Start();
    // True when a stop was requested; the run then winds down by itself.
    bool Stop();
    bool Running() const;
    // Why the results file could not be written in the current or last run (the system's
    // reason, such as "No space left on device"); empty when it could. Such a failure stops the
    // run and is reported through OnError (ErrorCode 0, Url the file's path) and OnLog.
    const std::string& ResultsFileError() const;
    // Why links could not be deferred in the current or last run: the overflow file (see
    // MaxQueueSize) could not be created, written or read, as in "cannot write overflow file
    // /path: No space left on device"; empty when nothing failed. Such a failure stops the run
    // and is reported through OnError (ErrorCode 0, Url the file or its folder) and OnLog.
    const std::string& SpillFileError() const;

    // Run journal, off until opened: an append-only file from which an interrupted run can be
    // continued (Resume). It records each run's settings (not the passwords), the changes of the
    // visited lists, every URL queued and finished, and every link reported with its
    // results-file line. A page's effects are kept together with its end, so a run continued
    // from it fetches each page at most once more than an uninterrupted run would. Written as
    // the run goes and made durable at least once a second and at each run's end. A journal
    // that cannot be written stops the run (OnError with ErrorCode 0 and the journal's path,
    // and OnLog, both with JournalError's text). It stays open for the runs that follow, until
    // FinishJournal, CloseJournal or the component's end. While it is open, no other process
    // can open or continue it (an advisory lock on the file): such an attempt fails with
    // JournalInUse set and leaves the file as it is.
    //
    // A new journal at Path, replacing any file there (readable by its owner only).
    bool OpenJournal(const std::string& Path);
    // Continues a journal read by TJournalReader after its sound part. Fails as in use when
    // the file was written by another process after it was read.
    bool ContinueJournal(const std::string& Path, const TJournalContents& Contents);
    // The last OpenJournal or ContinueJournal failed because another process has the journal
    // open; JournalError then says so in one line.
    bool JournalInUse() const;
    // Whether another process has the journal at Path open now, for a message before anything
    // is read or written. Changes nothing.
    static bool JournalFileInUse(const std::string& Path);
    // An owner's record, handed back by TJournalReader in order (such as a list position). It
    // stands alone: neither a stop nor a crash amid a page takes it away once written, which is
    // at once between runs and with the run's next step during one. A note that fails between
    // runs is reported as any journal failure, and the next run stops as it begins.
    void JournalNote(const std::vector<std::string>& Fields);
    // Marks the whole job done (the journal is then not resumable) and closes it. False when
    // that could not be written.
    bool FinishJournal();
    // Closes the journal as it stands: it stays resumable.
    void CloseJournal();
    // The path of the journal last opened or continued, also after it was closed; empty before.
    const std::string& JournalFile() const;
    // Why the journal could not be opened or written ("cannot write journal PATH: reason").
    const std::string& JournalError() const;
    // Continues Run, as TJournalReader read it: its settings are applied, its visited lists,
    // counters and results file are put back, and the URLs it had not finished with (those
    // downloading when it ended included) are queued again in their order. OnWorking(true)
    // follows as for Start; the links it reported before are not raised again. Set the
    // passwords first. False when Run had finished, a run is active, or its start URL or
    // results file fails (with the same messages as Start).
    bool Resume(const TJournalRun& Run);

    // Lets this crawler and Other treat each server as one crawler would, for crawlers of one
    // thread that work side by side: a server's robots.txt is fetched once for all of them, and
    // HostDelayMs, Crawl-delay, the pauses of 429 and 503 answers and MaxPerHost hold for the
    // server as a whole. Each keeps its own settings (give them alike) and lists. The servers'
    // state then lasts beyond a run, for as long as any of them lives. Other may be this
    // crawler: it then keeps its servers' state from run to run. False while this crawler runs
    // (Other may run: this one joins it).
    bool ShareServersWith(THttpScan& Other);

    // Replace the list by the lines of Text, lower-cased and sorted.
    void SetTypeList(const std::string& Text);
    void SetExcludeKeywords(const std::string& Text);
    void SetIncludeKeywords(const std::string& Text);
    // The lists as they are in force: sorted, lower-case, each line ending in CR LF.
    std::string TypeList() const;
    std::string ExcludeKeywords() const;
    std::string IncludeKeywords() const;
    // Off by default. On: from the start page on, a page link is followed only when its path or
    // its query, percent-decoded, holds one of the follow keywords, without regard to case
    // (Unicode case folding: "über" also meets "%C3%9Cber"); the host never counts. With an
    // empty list no link is followed. Only following is limited: every link of a fetched page is
    // reported as the other rules say, and one kept back is told with reason FollowKeywords.
    // The start page, and where a meta refresh leads, are fetched all the same.
    bool FollowKeywordsEnabled() const;
    void SetFollowKeywordsEnabled(bool Value);
    // Replaces the list by the lines of Text (UTF-8; other bytes count as Latin-1), each
    // case-folded, empty lines left out, sorted.
    void SetFollowKeywords(const std::string& Text);
    std::string FollowKeywords() const;

    // Properties. Setters ignore values that break their rule and keep the old value.
    const std::string& Agent() const;
    void SetAgent(const std::string& Value);
    bool AllowRedirect() const;
    void SetAllowRedirect(bool Value);
    // False: one tick every 50 ms, as the window expects. True: tick again at once while there
    // is work, wake on each finished download, and end a run right after its last page;
    // OnUpdatedStats still comes at most once per 50 ms.
    bool AdaptiveTicks() const;
    void SetAdaptiveTicks(bool Value);
    int ConcurrentDownloads() const;
    void SetConcurrentDownloads(int Value);  // > 0; also sets the per-server connection limits
    // Pages at this depth are fetched, their links reported but not followed; the start page has
    // depth 1. A page's depth is the length of the shortest path of links to it from the start
    // page (a meta refresh adds none), whatever the order in which downloads finish: a shorter
    // path found after a page was queued, fetched or analysed brings it and what it links down
    // to the shorter depth. A page is fetched at most twice for that, and only in a resumed run,
    // which no longer has the links it kept.
    int DepthSearchLevel() const;
    void SetDepthSearchLevel(int Value);  // > 0
    const std::string& FileOfResults() const;
    void SetFileOfResults(const std::string& Value);  // a bare name goes to ./Download/
    // HttpPort, Referer and LeavesFirst are only stored: the port comes from each URL, each
    // request's referrer is the page that linked it, and the queue is always worked in order.
    int HttpPort() const;
    void SetHttpPort(int Value);
    bool KeywordsFilterEnabled() const;
    void SetKeywordsFilterEnabled(bool Value);
    bool KeywordsLimiterEnabled() const;
    void SetKeywordsLimiterEnabled(bool Value);
    bool LeavesFirst() const;
    void SetLeavesFirst(bool Value);
    TLinkReport LinkReport() const;
    void SetLinkReport(TLinkReport Value);
    TLinkScan LinkScan() const;
    void SetLinkScan(TLinkScan Value);
    bool LogsEnabled() const;
    void SetLogsEnabled(bool Value);
    // The most entries the queue holds in memory (> 9). A page link met while the queue is full
    // is not lost: it waits in an overflow, in the order met, and enters the queue as the queue
    // drains, so pages are fetched in the same order as with an unlimited queue. The first
    // 1,000 waiting links are kept in memory, the rest in a private temporary file in
    // SpillFolder whose name is removed at once, so that nothing is left behind even by a
    // killed process; it is closed when the overflow empties and at the end of the run.
    int MaxQueueSize() const;
    void SetMaxQueueSize(int Value);  // > 9
    // Links waiting in the overflow now; a change of it raises OnUpdatedStats too.
    int DeferredCount() const;
    // Body bytes of the run's ended downloads: as received, compressed where the server
    // compressed them, and as decoded. Downloads ask for gzip, deflate, br and zstd.
    std::uint64_t BytesReceived() const;
    std::uint64_t BytesDecoded() const;
    // Folder of the overflow file; empty (the default): $TMPDIR, else /tmp.
    const std::string& SpillFolder() const;
    void SetSpillFolder(const std::string& Value);

    // Consideration for servers; all off by default. A server is a scheme, host and port.
    // ObeyRobotsTxt: before the first request to a server, its /robots.txt is fetched once per
    // run (at most five redirects, 500 KiB read) and applied to every URL of that server: the
    // group of the agent's product token, else "*"; a 4xx allows everything, a 5xx or no answer
    // nothing. Refused URLs are not fetched and raise OnSkipped. Its Crawl-delay (at most 120 s)
    // spaces the request starts to that server. A page whose head has a meta robots tag (name
    // "robots" or "tarnwick") or whose answer has an X-Robots-Tag header saying "nofollow" or
    // "none" has its links reported but none followed (reason NoFollow); its head is read for
    // this also where no OnMetaTag handler is assigned.
    bool ObeyRobotsTxt() const;
    void SetObeyRobotsTxt(bool Value);
    // The minimum gap between two request starts to one server, in ms (>= 0); the larger of this
    // and Crawl-delay holds. Other servers' URLs go on meanwhile.
    int HostDelayMs() const;
    void SetHostDelayMs(int Value);
    // Parallel downloads to one server (>= 0); 0: no limit beyond ConcurrentDownloads.
    int MaxPerHost() const;
    void SetMaxPerHost(int Value);
    // Always in force: a 429 or 503 answer with Retry-After (seconds or an HTTP date) pauses its
    // server for that long, at most 120 s; a 429 without it pauses 1 s, then 2, 4, ... up to
    // 60 s while the answers repeat. The URL is tried again and counts against Retries. Stop ends
    // a pause at once.
    // URLs of the current or last run that robots.txt forbade (OnSkipped with "robots"). Those
    // whose robots.txt could not be read count among the statistics' Errors instead.
    int SkippedByRobots() const;
    const std::string& Password() const;
    void SetPassword(const std::string& Value);
    const std::string& ProxyAddress() const;
    void SetProxyAddress(const std::string& Value);
    const std::string& ProxyPassword() const;
    void SetProxyPassword(const std::string& Value);
    int ProxyPort() const;
    void SetProxyPort(int Value);
    TProxyType ProxyType() const;
    void SetProxyType(TProxyType Value);
    const std::string& ProxyUser() const;
    void SetProxyUser(const std::string& Value);
    const std::string& Referer() const;
    void SetReferer(const std::string& Value);
    int Retries() const;
    void SetRetries(int Value);  // > 0
    // True (the default): a failed download is tried again, up to Retries times (a login the
    // credentials cannot answer is not). False: every URL gets one attempt; Retries is kept.
    bool RetriesEnabled() const;
    void SetRetriesEnabled(bool Value);
    bool SeekRobotsTxt() const;
    void SetSeekRobotsTxt(bool Value);
    // Off by default. On: each server's sitemaps add the pages they name to the crawl, so that
    // pages nothing links to are found. Once per run and server, when its first page is queued
    // (under ObeyRobotsTxt: once its robots.txt has been read), the sitemaps its robots.txt
    // names (Sitemap lines) are fetched, or /sitemap.xml when it names none or robots.txt is not
    // obeyed. A sitemap index names further files of its server (at most 1,000 files per
    // server); gzip files are inflated; each file gives at most 50,000 locations and 50 MB. The
    // pages named that the link rules would follow from the server's first page (scope,
    // keywords, the visited list, the depth limit) are followed one level below it (depth 2 for
    // the start page's server, so none with DepthSearchLevel 1), under the robots.txt rules of
    // their servers. They are not reported themselves: a link to one met later still is. A
    // sitemap that cannot be fetched or read is told through OnLog only.
    bool SeekSitemaps() const;
    void SetSeekSitemaps(bool Value);
    const std::string& StartingUrl() const;
    void SetStartingUrl(const std::string& Value);
    int TimeOut() const;
    void SetTimeOut(int Value);  // > 0, seconds
    bool TypeFilterEnabled() const;
    void SetTypeFilterEnabled(bool Value);
    const std::string& UserName() const;
    void SetUserName(const std::string& Value);

    TOnError OnError;
    TOnLinkFound OnLinkFound;
    TOnLog OnLog;
    TOnMetaTag OnMetaTag;  // assigning it switches on the analysis of each page's head
    TOnPageReceived OnPageReceived;
    TOnUpdatedStats OnUpdatedStats;
    TOnWorking OnWorking;
    TOnSkipped OnSkipped;
    TOnServerWait OnServerWait;
    TOnLinkDecision OnLinkDecision;
    TOnFetchFailed OnFetchFailed;
    TWithholdLink WithholdLink;
    // Takes every handler above back: an owner that goes while a run still ends (its
    // destructor) hears nothing of that end.
    void ClearEvents();

private:
    // The engine's own code (and its internal tests) reach the state through ImplOf in TImpl.h.
    friend TImpl& ImplOf(THttpScan& Scan);
    std::unique_ptr<TImpl> m_impl;
};
