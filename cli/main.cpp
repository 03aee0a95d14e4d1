// tarnwick-crawl: the harvester on the command line. Crawls each start URL in turn and prints
// the e-mail addresses and file links found.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CrawlOptions.h"
#include "CrawlSession.h"
#include "CurlSupport.h"
#include "ExplainOutput.h"
#include "HarvestOutput.h"
#include "HarvestText.h"
#include "InterruptBridge.h"
#include "OutputFile.h"
#include "ResultMerge.h"
#include "SitesSession.h"
#include "StartList.h"
#include "StartShard.h"
#include "THttpScan.h"
#include "TJournalReader.h"
#include "TNeverCollectList.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitRefused = 1;
constexpr int kExitUsage = 2;
constexpr int kExitNothingFetched = 3;

struct TUsageError {
    std::string Text;
};

QString FileName(const std::string& Name) {
    return QString::fromLocal8Bit(Name.data(), static_cast<qsizetype>(Name.size()));
}

QByteArray ReadOptionFile(const std::string& Option, const std::string& Name) {
    QFile file(FileName(Name));
    if (!file.open(QIODevice::ReadOnly))
        throw TUsageError{"cannot read the file of " + Option + " '" + Name +
                          "': " + file.errorString().toStdString()};
    return file.readAll();
}

// A keyword list for the engine: one keyword per line. Empty lines are left out, since an
// empty keyword would be found in every link.
std::string KeywordText(const std::string& Option, const std::string& Name) {
    std::string text;
    for (const std::string& line : ByteLines(ReadOptionFile(Option, Name)))
        if (!line.empty()) text += line + "\n";
    return text;
}

std::string Password(const std::string& Option, const std::string& FileName, const char* Variable) {
    if (!FileName.empty()) {
        const std::vector<std::string> lines = ByteLines(ReadOptionFile(Option, FileName));
        return lines.empty() ? std::string() : lines.front();
    }
    const char* value = std::getenv(Variable);
    return value ? value : "";
}

// The never-collect list of --never-collect. A line that is neither an address nor a domain is
// refused: a careful user's objection list must not be half obeyed because of a typing error.
void ReadNeverCollect(const std::string& Name, TNeverCollectList& List) {
    if (Name.empty()) return;
    const std::vector<int> bad = List.SetLines(ByteLines(ReadOptionFile("--never-collect", Name)));
    if (!bad.empty())
        throw TUsageError{"the file of --never-collect '" + Name + "', line " +
                          std::to_string(bad.front()) +
                          ": neither an address (anna@example.org) nor a domain (@example.org, "
                          "@.example.org)"};
}

// The contact-page list that ships with the program: installed in ../share/tarnwick, or in a
// build folder beside the window program, one level above this one.
std::string ShippedContactList() {
    const QString dir = QCoreApplication::applicationDirPath();
    QStringList tried;
    for (const QString& folder : {dir + "/../share/tarnwick", dir, dir + "/.."}) {
        const QString path = QDir::cleanPath(folder + "/Kontaktseiten.ini");
        if (QFileInfo(path).isFile()) return QFile::encodeName(path).toStdString();
        tried << path;
    }
    throw TUsageError{"cannot find the list of --contact-pages (" + tried.join(", ").toStdString() +
                      "); name one with --contact-list FILE"};
}

// The keywords of --contact-pages: an empty list would quietly fetch the start pages alone.
std::string ContactKeywords(const TCrawlOptions& O) {
    const std::string list = O.ContactListFile.empty() ? ShippedContactList() : O.ContactListFile;
    std::string keywords = KeywordText("--contact-list", list);
    if (keywords.empty())
        throw TUsageError{"the list of --contact-pages '" + list + "' holds no keyword"};
    return keywords;
}

void ConfigureContactPages(THttpScan& Scan, const TCrawlOptions& O, const std::string& Keywords) {
    Scan.SetFollowKeywords(Keywords);
    Scan.SetFollowKeywordsEnabled(true);
    // Contact pages lie near the start page; the depth given still counts.
    Scan.SetDepthSearchLevel(O.Depth.value_or(3));
}

std::string JoinLines(const std::vector<std::string>& Items) {
    std::string text;
    for (const std::string& item : Items) text += (text.empty() ? "" : "\n") + item;
    return text;
}

// What the options' files hold, read once for every crawler of the command.
struct TOptionFiles {
    std::string Include, Exclude, Password, ProxyPassword, ContactKeywords;
};

TOptionFiles ReadOptionFiles(const TCrawlOptions& O) {
    TOptionFiles f;
    if (!O.IncludeFile.empty()) f.Include = KeywordLines(KeywordText("--include", O.IncludeFile));
    if (!O.ExcludeFile.empty()) f.Exclude = KeywordLines(KeywordText("--exclude", O.ExcludeFile));
    f.ProxyPassword =
        Password("--proxy-password-file", O.ProxyPasswordFile, "TARNWICK_PROXY_PASSWORD");
    f.Password = Password("--password-file", O.PasswordFile, "TARNWICK_PASSWORD");
    if (O.ContactPages) f.ContactKeywords = ContactKeywords(O);
    return f;
}

void Configure(THttpScan& Scan, const TCrawlOptions& O, const TOptionFiles& F) {
    Scan.SetTypeFilterEnabled(!O.AllTypes);
    if (!O.AllTypes) Scan.SetTypeList(JoinLines(O.Types));
    if (O.Depth) Scan.SetDepthSearchLevel(*O.Depth);
    if (O.Concurrent) Scan.SetConcurrentDownloads(*O.Concurrent);
    // The engine keeps refusing 0 retries; no retry at all is a switch of its own.
    if (O.Retries) Scan.SetRetriesEnabled(*O.Retries > 0);
    if (O.Retries && *O.Retries > 0) Scan.SetRetries(*O.Retries);
    if (O.TimeOut) Scan.SetTimeOut(*O.TimeOut);
    if (O.MaxQueue) Scan.SetMaxQueueSize(*O.MaxQueue);
    // Unless told otherwise the crawl keeps to the start page's site and to the servers'
    // rules, and says honestly who it is.
    Scan.SetLinkScan(O.Follow.value_or(scanInitialSite));
    if (O.Report) Scan.SetLinkReport(*O.Report);
    Scan.SetAgent(O.Agent.value_or("tarnwick-crawl/" TARNWICK_VERSION));
    Scan.SetSeekRobotsTxt(O.Robots);
    Scan.SetObeyRobotsTxt(!O.IgnoreRobots);
    Scan.SetSeekSitemaps(O.Sitemaps);
    if (O.DelayMs) Scan.SetHostDelayMs(*O.DelayMs);
    if (O.MaxPerHost) Scan.SetMaxPerHost(*O.MaxPerHost);
    Scan.SetAdaptiveTicks(!O.Paced);
    Scan.SetAllowRedirect(!O.NoRedirect);
    if (!O.IncludeFile.empty()) {
        Scan.SetIncludeKeywords(F.Include);
        Scan.SetKeywordsLimiterEnabled(true);
    }
    if (!O.ExcludeFile.empty()) {
        Scan.SetExcludeKeywords(F.Exclude);
        Scan.SetKeywordsFilterEnabled(true);
    }
    if (O.ContactPages) ConfigureContactPages(Scan, O, F.ContactKeywords);
    Scan.SetProxyType(O.Proxy);
    if (O.Proxy == PROXY_USEPROXY) {
        Scan.SetProxyAddress(O.ProxyHost);
        Scan.SetProxyPort(O.ProxyPort);
    }
    Scan.SetProxyUser(O.ProxyUser);
    Scan.SetProxyPassword(F.ProxyPassword);
    Scan.SetUserName(O.User);
    Scan.SetPassword(F.Password);
    // The engine would put a bare file name into ./Download/; the user means the name as given.
    Scan.SetFileOfResults(
        O.ResultsFile.empty()
            ? std::string()
            : QFileInfo(FileName(O.ResultsFile)).absoluteFilePath().toLocal8Bit().toStdString());
}

void Say(const std::string& Text) {
    std::fprintf(stderr, "tarnwick-crawl: %s\n", Text.c_str());
}

// A list line as a start URL: editors save a byte-order mark before the first line, and a blank
// after a URL is never part of it.
std::vector<std::string> ListEntries(QByteArray Data) {
    if (Data.startsWith("\xEF\xBB\xBF")) Data.remove(0, 3);
    std::vector<std::string> entries = ByteLines(Data);
    for (std::string& entry : entries)
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.pop_back();
    return entries;
}

// One shard of many may well draw none; the merge then finds its harvest empty.
void SayEmptyShard(const TShard& Shard, std::size_t Entries) {
    Say("shard " + std::to_string(Shard.Index) + "/" + std::to_string(Shard.Count) +
        ": none of the start URLs falls to this shard (" + std::to_string(Entries) + " in all)");
}

std::vector<std::string> StartUrls(const TCrawlOptions& O) {
    std::vector<std::string> urls = O.Urls;
    if (!O.ListFile.empty())
        for (std::string& line : ListEntries(ReadOptionFile("--list", O.ListFile)))
            urls.push_back(std::move(line));
    if (urls.empty())
        throw TUsageError{"the file of --list '" + O.ListFile + "' holds no start URL"};
    if (!O.Shard) return urls;
    std::vector<std::string> taken = TakeShard(urls, *O.Shard);
    if (taken.empty()) SayEmptyShard(*O.Shard, urls.size());
    return taken;
}

// A crawl continued from a journal: what it recorded, and where to go on.
struct TResumed {
    TJournalContents Journal;
    std::vector<std::string> StartUrls;
    std::size_t Entry = 0;           // the start URL to go on with
    std::optional<std::size_t> Run;  // its run, when it had begun and not ended
    int PagesBefore = 0;             // fetched by the runs before it
    // The temporary output files of the runs before: a kill leaves them behind.
    std::vector<std::string> StaleTemps;
};

constexpr const char* kNoteTag = "tarnwick-crawl";

// The notes this program leaves in its journals: its crawl options, its start URLs, and the
// position of each run among them.
void NoteCrawl(THttpScan& Scan, const TCrawlOptions& Options,
               const std::vector<std::string>& Urls) {
    std::vector<std::string> options{kNoteTag, "options"};
    options.insert(options.end(), Options.CrawlArgs.begin(), Options.CrawlArgs.end());
    Scan.JournalNote(options);
    std::vector<std::string> starts{kNoteTag, "starts"};
    starts.insert(starts.end(), Urls.begin(), Urls.end());
    Scan.JournalNote(starts);
}

// Reads the journal of --resume; the crawl options become those it recorded, but for the
// output options given now.
TResumed ReadResumed(TCrawlOptions& Options) {
    TResumed r;
    const std::string& file = Options.ResumeFile;
    r.Journal = TJournalReader::Read(file);
    if (!r.Journal.Error.empty()) throw TUsageError{r.Journal.Error};
    if (r.Journal.Finished)
        throw TUsageError{"the crawl of journal " + file +
                          " has ended; there is nothing to resume"};
    std::optional<std::vector<std::string>> args;
    int entryRuns = -1;
    for (const TJournalNote& note : r.Journal.Notes) {
        const std::vector<std::string>& f = note.Fields;
        if (f.size() < 2 || f[0] != kNoteTag) continue;
        if (f[1] == "options")
            args.emplace(f.begin() + 2, f.end());
        else if (f[1] == "starts")
            // Many sites at once note their start URLs in parts, as the list is read.
            r.StartUrls.insert(r.StartUrls.end(), f.begin() + 2, f.end());
        else if (f[1] == "output-temp" && f.size() == 3)
            r.StaleTemps.push_back(f[2]);
        else if (f[1] == "entry" && f.size() == 3) {
            r.Entry = static_cast<std::size_t>(std::strtoull(f[2].c_str(), nullptr, 10));
            entryRuns = note.RunsBefore;
        }
    }
    if (!args || r.StartUrls.empty())
        throw TUsageError{"journal " + file + " holds no crawl of tarnwick-crawl to resume"};
    TParsedCommandLine recorded = ParseCommandLine(*args, false);
    if (!recorded.Error.empty())
        throw TUsageError{"journal " + file +
                          " holds options this version refuses: " + recorded.Error};
    TCrawlOptions& o = recorded.Options;
    o.OutputFile = Options.OutputFile;
    o.Format = Options.Format;
    o.Quiet = Options.Quiet;
    o.Progress = Options.Progress;
    o.ResultsFile = Options.ResultsFile;
    o.ResumeFile = Options.ResumeFile;
    o.ListFile.clear();
    o.Urls = r.StartUrls;
    // The journal holds this shard's start URLs already.
    o.Shard.reset();
    Options = std::move(o);
    // The run that followed the last position note is that start URL's; a run that ended
    // sends the crawl on to the next one.
    const auto& runs = r.Journal.Runs;
    for (std::size_t i = 0; i < runs.size(); ++i)
        if (static_cast<int>(i) != entryRuns) r.PagesBefore += runs[i].Fetched;
    if (entryRuns >= 0 && static_cast<std::size_t>(entryRuns) < runs.size()) {
        const TJournalRun& run = runs[static_cast<std::size_t>(entryRuns)];
        if (run.Finished) {
            r.PagesBefore += run.Fetched;
            ++r.Entry;
        } else {
            r.Run = static_cast<std::size_t>(entryRuns);
        }
    }
    return r;
}

// Everything the journal's runs reported goes into the harvest again, but for what the
// never-collect list has gained since.
void ReplayHarvest(const TJournalContents& Journal, THarvestSink& Sink, TNeverCollectList& Never) {
    for (const TJournalRun& run : Journal.Runs)
        for (const TJournalReport& report : run.Reports)
            if (report.Reported && !Never.Withholds(report.TypeLink, report.UrlFound))
                Sink.Add({report.TypeLink, ResultText(report.TypeLink, report.UrlFound),
                          report.FromUrl, run.Setting("StartingUrl")});
}

// Notes the temporary file the harvest is written to, so that a resumption can remove it
// should this run be killed before it takes its name.
void NoteOutputTemp(THttpScan& Scan, const THarvestSink& Sink) {
    if (Sink.TempName().empty()) return;
    const QString path = QFileInfo(QFile::decodeName(Sink.TempName().c_str())).absoluteFilePath();
    Scan.JournalNote({kNoteTag, "output-temp", QFile::encodeName(path).toStdString()});
}

// Removes what killed runs left half written, once this run's harvest has been written. Only
// regular files, and never the harvest just written.
void RemoveStaleTemps(const std::vector<std::string>& Temps, const std::string& OutputFile) {
    const QString output =
        OutputFile.empty() ? QString()
                           : QFileInfo(QFile::decodeName(OutputFile.c_str())).absoluteFilePath();
    for (const std::string& temp : Temps) {
        struct stat st {};
        const QString path = QFile::decodeName(temp.c_str());
        if (path == output || lstat(temp.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        unlink(temp.c_str());
    }
}

std::vector<TSkippedUrl> SkippedOf(const TJournalContents& Journal) {
    std::vector<TSkippedUrl> skipped;
    for (const TJournalRun& run : Journal.Runs)
        for (const auto& [url, reason] : run.SkippedUrls)
            skipped.push_back({url, reason, run.Setting("StartingUrl")});
    return skipped;
}

void SayHowToResume(const std::string& JournalFile) {
    std::fprintf(stderr,
                 "tarnwick-crawl: the journal %s keeps this crawl; continue it with: "
                 "tarnwick-crawl --resume %s\n",
                 JournalFile.c_str(), JournalFile.c_str());
}

// The files of this crawl that must each be a file of their own.
std::vector<TNamedOutput> NamedOutputs(const TCrawlOptions& O, const std::string& JournalFile) {
    std::vector<TNamedOutput> outputs{
        {O.OutputFile.empty() ? "standard output" : "-o", O.OutputFile}};
    if (!O.ResultsFile.empty()) outputs.push_back({"--results-file", O.ResultsFile, false});
    if (!O.SkippedFile.empty()) outputs.push_back({"--skipped", O.SkippedFile});
    if (!O.ExplainFile.empty()) outputs.push_back({"--explain", O.ExplainFile});
    if (!JournalFile.empty())
        outputs.push_back({O.ResumeFile.empty() ? "--journal" : "--resume", JournalFile, false});
    return outputs;
}

// A new journal must not take the place of a crawl that can still be continued.
std::string UnfinishedJournal(const std::string& JournalFile) {
    struct stat st {};
    if (stat(JournalFile.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
    if (!TJournalReader::Read(JournalFile).Resumable()) return {};
    return "journal " + JournalFile +
           " holds a crawl that has not ended; continue it with: tarnwick-crawl --resume " +
           JournalFile + " (or give --journal another file)";
}

int Refused(const std::string& Text) {
    Say(Text);
    return kExitRefused;
}

int UsageError(const std::string& Text) {
    std::fprintf(stderr, "tarnwick-crawl: %s\nTry 'tarnwick-crawl --help' for more information.\n",
                 Text.c_str());
    return kExitUsage;
}

// The outputs written at the end, whatever happened: a results file on a full disk must not
// take the harvest with it. Returns the failures, each in one line.
template <typename TSession>
std::vector<std::string> WriteOutputs(const TCrawlOptions& Options, const TSession& Session,
                                      THarvestSink& Sink, const TNeverCollectList& Never) {
    std::vector<std::string> failures;
    const bool sinkFailed = !Sink.Error().empty();  // already said when it happened
    if (!Sink.Finish() && !sinkFailed) failures.push_back(Sink.Error());
    std::string error;
    if (!Options.SkippedFile.empty() &&
        !WriteSkipped(Options.SkippedFile, Session.Skipped(), error))
        failures.push_back(std::exchange(error, {}));
    if (!Options.ExplainFile.empty() &&
        !WriteExplained(Options.ExplainFile, Session.Explained(), error))
        failures.push_back(error);
    for (const std::string& failure : failures) Say(failure);
    if (!Options.NeverCollectFile.empty())
        Say("left out " + std::to_string(Never.LeftOut()) +
            (Never.LeftOut() == 1 ? " address" : " addresses") + " of the never-collect list");
    return failures;
}

// The journals of many sites at once, as read for --resume: one per crawler, and what is
// pending in each.
struct TSitesResumed {
    std::vector<TJournalContents> Journals;  // by crawler; the first is the one of --resume
    std::size_t NextOrdinal = 0;             // start URLs begun before
    std::vector<std::optional<TSiteResume>> Pending;
    int PagesBefore = 0;
};

// Each crawler notes the ordinal of every start URL before its run: the last one it noted is
// unfinished unless its run ran out of work; those before it are finished.
TSitesResumed ReadSitesResumed(TResumed& Resumed, const std::string& JournalFile, int Sites) {
    TSitesResumed r;
    r.Journals.push_back(std::move(Resumed.Journal));
    for (int c = 1; c < Sites; ++c) {
        const std::string path = TSitesSession::JournalOf(JournalFile, static_cast<std::size_t>(c));
        TJournalContents journal;
        struct stat st {};
        // A crawler that never began has no journal: it begins one.
        if (stat(path.c_str(), &st) != 0)
            journal.Error = "none";
        else if (journal = TJournalReader::Read(path); !journal.Error.empty())
            throw TUsageError{journal.Error};
        r.Journals.push_back(std::move(journal));
    }
    r.Pending.resize(static_cast<std::size_t>(Sites));
    for (std::size_t c = 0; c < r.Journals.size(); ++c) {
        const TJournalContents& journal = r.Journals[c];
        std::optional<TSiteResume> last;
        for (const TJournalNote& note : journal.Notes) {
            const std::vector<std::string>& f = note.Fields;
            if (f.size() != 3 || f[0] != kNoteTag || f[1] != "site") continue;
            TSiteResume site;
            site.Ordinal = static_cast<std::size_t>(std::strtoull(f[2].c_str(), nullptr, 10));
            if (note.RunsBefore >= 0 &&
                static_cast<std::size_t>(note.RunsBefore) < journal.Runs.size())
                site.Run = &journal.Runs[static_cast<std::size_t>(note.RunsBefore)];
            r.NextOrdinal = std::max(r.NextOrdinal, site.Ordinal + 1);
            last = site;
        }
        for (const TJournalRun& run : journal.Runs)
            if (!last || &run != last->Run || run.Finished) r.PagesBefore += run.Fetched;
        if (last && !(last->Run && last->Run->Finished)) {
            if (last->Run) last->Url = last->Run->Setting("StartingUrl");
            r.Pending[c] = last;
        }
    }
    return r;
}

// Notes the start URLs in parts, read from the list as the crawl will read it.
void NoteStarts(TSitesSession& Session, const TCrawlOptions& Options) {
    constexpr std::size_t kPerNote = 1000;
    TStartList starts(Options.Urls, Options.ListFile, Options.Shard);
    if (!starts.Open()) return;
    std::vector<std::string> note{kNoteTag, "starts"};
    for (std::string url; starts.Next(url);) {
        note.push_back(std::move(url));
        if (note.size() == kPerNote + 2) {
            Session.NoteInJournal(note);
            note.resize(2);
        }
    }
    if (note.size() > 2) Session.NoteInJournal(note);
}

// The start URLs, up to --sites of them at once; with JournalFile, each crawler keeps a journal
// (Resumed: those read for --resume, continued).
int CrawlSites(const TCrawlOptions& Options, const std::string& JournalFile = {},
               TResumed* Resumed = nullptr) {
    TOptionFiles files;
    TNeverCollectList never;
    TStartList starts(Options.Urls, Options.ListFile, Options.Shard);
    std::optional<TSitesResumed> resumed;
    try {
        files = ReadOptionFiles(Options);
        ReadNeverCollect(Options.NeverCollectFile, never);
        if (Resumed) {
            if (Resumed->Journal.ProgramVersion != TARNWICK_VERSION)
                Say("journal " + JournalFile + " was begun by version " +
                    Resumed->Journal.ProgramVersion);
            if (!Resumed->Journal.Dropped.empty())
                Say("journal " + JournalFile + ": left out " + Resumed->Journal.Dropped);
            resumed = ReadSitesResumed(*Resumed, JournalFile, Options.Sites);
        }
    } catch (const TUsageError& error) {
        return UsageError(error.Text);
    }
    if (!starts.Open()) return UsageError(starts.Error());
    if (starts.Entries() == 0)
        return UsageError("the file of --list '" + Options.ListFile + "' holds no start URL");
    if (const std::string same = SameOutputFile(NamedOutputs(Options, JournalFile)); !same.empty())
        return UsageError(same);
    if (!Resumed && !JournalFile.empty())
        if (const std::string unfinished = UnfinishedJournal(JournalFile); !unfinished.empty())
            return UsageError(unfinished);
    // An output that cannot be written is found out before the crawl, not after it.
    THarvestSink sink(Options.Format);
    if (!sink.Open(Options.OutputFile)) return Refused(sink.Error());
    const bool terminal = isatty(STDERR_FILENO) != 0;
    TProgressLine progress(!Options.Quiet && (Options.Progress || terminal), terminal);
    const auto configure = [&](THttpScan& Scan) {
        Configure(Scan, Options, files);
        if (!never.Empty())
            Scan.WithholdLink = [&never](const std::string& UrlFound, const std::string& TypeLink) {
                return never.Withholds(TypeLink, UrlFound);
            };
    };
    TSitesSession session(Options.Sites, starts, configure, progress, sink);
    if (!JournalFile.empty())
        session.UseJournals(JournalFile, resumed ? &resumed->Journals : nullptr);
    if (resumed) {
        std::vector<TSkippedUrl> skipped;
        for (const TJournalContents& journal : resumed->Journals) {
            ReplayHarvest(journal, sink, never);
            for (TSkippedUrl& skip : SkippedOf(journal)) skipped.push_back(std::move(skip));
        }
        session.ResumeAt(resumed->NextOrdinal, std::move(resumed->Pending), resumed->PagesBefore,
                         std::move(skipped));
    }
    TInterruptBridge interrupt([&session](int signal) { session.Interrupt(signal); });
    QObject::connect(&session, &TSitesSession::Finished, QCoreApplication::instance(),
                     &QCoreApplication::quit, Qt::QueuedConnection);
    if (!Options.ExplainFile.empty()) session.KeepExplanations();
    session.Begin();
    if (!JournalFile.empty()) {
        if (!resumed) {
            std::vector<std::string> options{kNoteTag, "options"};
            options.insert(options.end(), Options.CrawlArgs.begin(), Options.CrawlArgs.end());
            session.NoteInJournal(options);
            NoteStarts(session, Options);
        }
        if (!sink.TempName().empty())
            session.NoteInJournal(
                {kNoteTag, "output-temp",
                 QFile::encodeName(
                     QFileInfo(QFile::decodeName(sink.TempName().c_str())).absoluteFilePath())
                     .toStdString()});
    }
    QCoreApplication::exec();

    const std::vector<std::string> failures = WriteOutputs(Options, session, sink, never);
    if (starts.Entries() > 1) Say(session.Summary());
    if (session.WriteFailed() || !failures.empty()) {
        if (!JournalFile.empty()) SayHowToResume(JournalFile);
        return kExitRefused;
    }
    if (Resumed) RemoveStaleTemps(Resumed->StaleTemps, Options.OutputFile);
    if (session.Interrupted()) {
        if (!JournalFile.empty()) SayHowToResume(JournalFile);
        return 128 + session.Signal();
    }
    if (!JournalFile.empty() && !session.FinishJournals()) return kExitRefused;
    if (session.RefusedStarts() > 0) return kExitRefused;
    if (Options.Shard && starts.Handed() == 0) {
        SayEmptyShard(*Options.Shard, starts.Entries());
        return kExitOk;
    }
    return session.PagesFetched() == 0 ? kExitNothingFetched : kExitOk;
}

int Crawl(TCrawlOptions Options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // A journal that another process writes is neither read nor touched: its crawl is that
    // process's alone.
    const std::string journalFile =
        Options.ResumeFile.empty() ? Options.JournalFile : Options.ResumeFile;
    if (journalFile.empty()) return CrawlSites(Options);
    if (THttpScan::JournalFileInUse(journalFile))
        return Refused("journal " + journalFile + " is in use by another process");
    std::optional<TResumed> resumed;
    if (!Options.ResumeFile.empty()) {
        try {
            resumed = ReadResumed(Options);
        } catch (const TUsageError& error) {
            return Refused(error.Text);
        }
    }
    // Journals of many sites at once: one per crawler. One site at a time keeps the one
    // journal of earlier versions, which such journals resume as before.
    if (Options.Sites > 1) return CrawlSites(Options, journalFile, resumed ? &*resumed : nullptr);
    THttpScan scan;
    // robots.txt and the servers' pauses hold for the whole command, not for one start URL.
    scan.ShareServersWith(scan);
    std::vector<std::string> urls;
    TNeverCollectList never;
    try {
        Configure(scan, Options, ReadOptionFiles(Options));
        ReadNeverCollect(Options.NeverCollectFile, never);
        urls = StartUrls(Options);
    } catch (const TUsageError& error) {
        if (resumed || Options.ResumeFile.empty()) return UsageError(error.Text);
        return Refused(error.Text);
    }
    const bool emptyShard = Options.Shard && urls.empty();
    if (const std::string same = SameOutputFile(NamedOutputs(Options, journalFile)); !same.empty())
        return UsageError(same);
    if (!resumed && !journalFile.empty())
        if (const std::string unfinished = UnfinishedJournal(journalFile); !unfinished.empty())
            return UsageError(unfinished);
    if (resumed && resumed->Journal.ProgramVersion != TARNWICK_VERSION)
        std::fprintf(stderr, "tarnwick-crawl: journal %s was begun by version %s\n",
                     journalFile.c_str(), resumed->Journal.ProgramVersion.c_str());
    if (resumed && !resumed->Journal.Dropped.empty())
        std::fprintf(stderr, "tarnwick-crawl: journal %s: left out %s\n", journalFile.c_str(),
                     resumed->Journal.Dropped.c_str());
    // An output that cannot be written is found out before the crawl, not after it.
    THarvestSink sink(Options.Format);
    if (!sink.Open(Options.OutputFile)) return Refused(sink.Error());
    // A journal that cannot be written, or that another process took meanwhile, is found out
    // before the crawl too.
    if (resumed ? !scan.ContinueJournal(journalFile, resumed->Journal)
                : !journalFile.empty() && !scan.OpenJournal(journalFile))
        return Refused(scan.JournalError());
    if (!journalFile.empty() && !resumed) NoteCrawl(scan, Options, urls);
    if (!journalFile.empty()) NoteOutputTemp(scan, sink);
    const bool terminal = isatty(STDERR_FILENO) != 0;
    TProgressLine progress(!Options.Quiet && (Options.Progress || terminal), terminal);
    TCrawlSession session(scan, std::move(urls), progress, sink);
    if (!journalFile.empty()) session.NoteEntriesInJournal();
    if (resumed) {
        ReplayHarvest(resumed->Journal, sink, never);
        session.ResumeAt(resumed->Entry,
                         resumed->Run ? &resumed->Journal.Runs[*resumed->Run] : nullptr,
                         resumed->PagesBefore, SkippedOf(resumed->Journal));
    }
    TInterruptBridge interrupt([&session](int signal) { session.Interrupt(signal); });
    QObject::connect(&session, &TCrawlSession::Finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!Options.ExplainFile.empty()) session.KeepExplanations();
    if (!never.Empty())
        scan.WithholdLink = [&never](const std::string& UrlFound, const std::string& TypeLink) {
            return never.Withholds(TypeLink, UrlFound);
        };
    session.Begin();
    app.exec();

    // The journal stays resumable unless the whole crawl ended and its harvest was written; one
    // that failed keeps what it holds up to the failure. Whatever failed, every output that can
    // still be written is, with everything found so far: a results file on a full disk must not
    // take the harvest with it.
    const bool resumable = !journalFile.empty();
    const std::vector<std::string> failures = WriteOutputs(Options, session, sink, never);
    if (session.WriteFailed()) {
        if (resumable) SayHowToResume(journalFile);
        return kExitRefused;
    }
    if (!failures.empty()) return kExitRefused;
    if (resumed) RemoveStaleTemps(resumed->StaleTemps, Options.OutputFile);
    if (session.Interrupted()) {
        if (resumable) SayHowToResume(journalFile);
        return 128 + session.Signal();
    }
    if (!journalFile.empty() && !scan.FinishJournal()) return Refused(scan.JournalError());
    if (session.RefusedStarts() > 0) return kExitRefused;
    return session.PagesFetched() == 0 && !emptyShard ? kExitNothingFetched : kExitOk;
}

// --merge: reads every file before writing, so the output may be one of them.
int Merge(const TCrawlOptions& Options) {
    TNeverCollectList never;
    try {
        ReadNeverCollect(Options.NeverCollectFile, never);
    } catch (const TUsageError& error) {
        return UsageError(error.Text);
    }
    TResultMerge merge;
    for (const std::string& name : Options.Urls) {
        QFile file(FileName(name));
        if (!file.open(QIODevice::ReadOnly))
            return Refused("cannot read " + name + ": " + file.errorString().toStdString());
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Refused("cannot read " + name + ": " + file.errorString().toStdString());
        if (!merge.Add(name, data)) return UsageError(merge.Error());
    }
    const QByteArray merged = merge.Finish(never);
    std::string error;
    if (!WriteOutputFile(Options.OutputFile, merged.constData(),
                         static_cast<std::size_t>(merged.size()), error))
        return Refused(error);
    if (!Options.NeverCollectFile.empty())
        Say("left out " + std::to_string(never.LeftOut()) +
            (never.LeftOut() == 1 ? " address" : " addresses") + " of the never-collect list");
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const TParsedCommandLine parsed = ParseCommandLine(args);
    if (!parsed.Error.empty()) return UsageError(parsed.Error);
    if (parsed.Options.Help) {
        std::fputs(HelpText().c_str(), stdout);
        return kExitOk;
    }
    if (parsed.Options.Version) {
        std::printf("tarnwick-crawl %s\n", TARNWICK_VERSION);
        return kExitOk;
    }
    if (parsed.Options.Merge) return Merge(parsed.Options);
    TCurlGlobal curl;
    return Crawl(parsed.Options, argc, argv);
}
