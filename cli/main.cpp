// tarnwick-crawl: the harvester on the command line. Crawls each start URL in turn and prints
// the e-mail addresses and file links found.

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "CrawlOptions.h"
#include "CrawlSession.h"
#include "CurlSupport.h"
#include "ExplainOutput.h"
#include "HarvestOutput.h"
#include "HarvestText.h"
#include "InterruptBridge.h"
#include "THttpScan.h"

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

std::string JoinLines(const std::vector<std::string>& Items) {
    std::string text;
    for (const std::string& item : Items) text += (text.empty() ? "" : "\n") + item;
    return text;
}

void Configure(THttpScan& Scan, const TCrawlOptions& O) {
    Scan.SetTypeFilterEnabled(!O.AllTypes);
    if (!O.AllTypes) Scan.SetTypeList(JoinLines(O.Types));
    if (O.Depth) Scan.SetDepthSearchLevel(*O.Depth);
    if (O.Concurrent) Scan.SetConcurrentDownloads(*O.Concurrent);
    if (O.Retries) Scan.SetRetries(*O.Retries);
    if (O.TimeOut) Scan.SetTimeOut(*O.TimeOut);
    if (O.MaxQueue) Scan.SetMaxQueueSize(*O.MaxQueue);
    // Unless told otherwise the crawl keeps to the start page's site and to the servers'
    // rules, and says honestly who it is.
    Scan.SetLinkScan(O.Follow.value_or(scanInitialSite));
    if (O.Report) Scan.SetLinkReport(*O.Report);
    Scan.SetAgent(O.Agent.value_or("tarnwick-crawl/" TARNWICK_VERSION));
    Scan.SetSeekRobotsTxt(O.Robots);
    Scan.SetObeyRobotsTxt(!O.IgnoreRobots);
    if (O.DelayMs) Scan.SetHostDelayMs(*O.DelayMs);
    if (O.MaxPerHost) Scan.SetMaxPerHost(*O.MaxPerHost);
    Scan.SetAdaptiveTicks(!O.Paced);
    Scan.SetAllowRedirect(!O.NoRedirect);
    if (!O.IncludeFile.empty()) {
        Scan.SetIncludeKeywords(KeywordLines(KeywordText("--include", O.IncludeFile)));
        Scan.SetKeywordsLimiterEnabled(true);
    }
    if (!O.ExcludeFile.empty()) {
        Scan.SetExcludeKeywords(KeywordLines(KeywordText("--exclude", O.ExcludeFile)));
        Scan.SetKeywordsFilterEnabled(true);
    }
    Scan.SetProxyType(O.Proxy);
    if (O.Proxy == PROXY_USEPROXY) {
        Scan.SetProxyAddress(O.ProxyHost);
        Scan.SetProxyPort(O.ProxyPort);
    }
    Scan.SetProxyUser(O.ProxyUser);
    Scan.SetProxyPassword(
        Password("--proxy-password-file", O.ProxyPasswordFile, "TARNWICK_PROXY_PASSWORD"));
    Scan.SetUserName(O.User);
    Scan.SetPassword(Password("--password-file", O.PasswordFile, "TARNWICK_PASSWORD"));
    // The engine would put a bare file name into ./Download/; the user means the name as given.
    Scan.SetFileOfResults(
        O.ResultsFile.empty()
            ? std::string()
            : QFileInfo(FileName(O.ResultsFile)).absoluteFilePath().toLocal8Bit().toStdString());
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

std::vector<std::string> StartUrls(const TCrawlOptions& O) {
    std::vector<std::string> urls = O.Urls;
    if (!O.ListFile.empty())
        for (std::string& line : ListEntries(ReadOptionFile("--list", O.ListFile)))
            urls.push_back(std::move(line));
    if (urls.empty())
        throw TUsageError{"the file of --list '" + O.ListFile + "' holds no start URL"};
    return urls;
}

int UsageError(const std::string& Text) {
    std::fprintf(stderr, "tarnwick-crawl: %s\nTry 'tarnwick-crawl --help' for more information.\n",
                 Text.c_str());
    return kExitUsage;
}

int Crawl(const TCrawlOptions& Options, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    THttpScan scan;
    std::vector<std::string> urls;
    try {
        Configure(scan, Options);
        urls = StartUrls(Options);
    } catch (const TUsageError& error) {
        return UsageError(error.Text);
    }
    // An output that cannot be written is found out before the crawl, not after it.
    THarvestSink sink(Options.Format);
    if (!sink.Open(Options.OutputFile)) {
        std::fprintf(stderr, "tarnwick-crawl: %s\n", sink.Error().c_str());
        return kExitRefused;
    }
    const bool terminal = isatty(STDERR_FILENO) != 0;
    TProgressLine progress(!Options.Quiet && (Options.Progress || terminal), terminal);
    TCrawlSession session(scan, std::move(urls), progress, sink);
    TInterruptBridge interrupt([&session](int signal) { session.Interrupt(signal); });
    QObject::connect(&session, &TCrawlSession::Finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!Options.ExplainFile.empty()) session.KeepExplanations();
    session.Begin();
    app.exec();

    if (session.WriteFailed()) return kExitRefused;
    std::string skippedError;
    if (!sink.Finish() ||
        (!Options.SkippedFile.empty() &&
         !WriteSkipped(Options.SkippedFile, session.Skipped(), skippedError)) ||
        (!Options.ExplainFile.empty() &&
         !WriteExplained(Options.ExplainFile, session.Explained(), skippedError))) {
        std::fprintf(stderr, "tarnwick-crawl: %s\n",
                     skippedError.empty() ? sink.Error().c_str() : skippedError.c_str());
        return kExitRefused;
    }
    if (session.Interrupted()) return 128 + session.Signal();
    if (session.RefusedStarts() > 0) return kExitRefused;
    return session.PagesFetched() == 0 ? kExitNothingFetched : kExitOk;
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
    TCurlGlobal curl;
    return Crawl(parsed.Options, argc, argv);
}
