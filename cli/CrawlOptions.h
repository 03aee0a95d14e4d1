#pragma once
// The command line of tarnwick-crawl: what the user asked for, checked but not yet applied.

#include <optional>
#include <string>
#include <vector>

#include "EngineTypes.h"
#include "StartShard.h"

enum class TOutputFormat { Text, Tsv, Jsonl };

struct TCrawlOptions {
    std::optional<int> Depth, Concurrent, Retries, TimeOut, MaxQueue;
    std::vector<std::string> Types{"mail"};
    bool AllTypes = false;
    std::optional<TLinkScan> Follow;
    std::optional<TLinkReport> Report;
    std::string IncludeFile, ExcludeFile;
    std::string NeverCollectFile;  // addresses and domains never to harvest, one a line
    // Follow from each start page only links whose path or query holds a keyword of the
    // contact-page list: the shipped one, or ContactListFile when given.
    bool ContactPages = false;
    std::string ContactListFile;
    std::optional<std::string> Agent;
    bool Robots = false;        // also harvest each new host's /robots.txt as a page
    bool IgnoreRobots = false;  // robots.txt rules are obeyed unless this is set
    bool Sitemaps = false;      // follow the pages that each server's sitemaps name
    std::optional<int> DelayMs, MaxPerHost;
    std::string SkippedFile;
    std::string ExplainFile;  // one JSON line per distinct link met: what was decided and why
    bool NoRedirect = false;
    TProxyType Proxy = PROXY_DEFAULT;
    std::string ProxyHost;
    int ProxyPort = 80;
    std::string ProxyUser, User;
    std::string PasswordFile, ProxyPasswordFile;
    std::string ListFile, OutputFile, ResultsFile;
    TOutputFormat Format = TOutputFormat::Text;
    bool Quiet = false;
    bool Progress = false;
    bool Paced = false;  // tick every 50 ms as the window does, instead of as fast as there is work
    bool Help = false;
    bool Version = false;
    std::vector<std::string> Urls;  // start URLs given as arguments, before those of --list
    std::string JournalFile;        // --journal: record the crawl there
    std::string ResumeFile;         // --resume: continue the crawl recorded there
    // Many sites at once.
    int Sites = 1;  // --sites: start URLs crawled at once, each by a crawler of its own
    // The options given that shape the crawl, each as "--name" or "--name=value": what a
    // journal records so that --resume can crawl on with them.
    std::vector<std::string> CrawlArgs;
    std::vector<std::string> OptionNames;  // the long name of every option given, in order

    // Across machines.
    std::optional<TShard> Shard;  // --shard I/N: crawl only the start URLs of shard I of N
    bool Merge = false;           // --merge: join the result files named by Urls instead
};

// Options that only say where and how the harvest is shown; they may be given with --resume.
bool IsOutputOption(const std::string& LongName);

struct TParsedCommandLine {
    TCrawlOptions Options;
    std::string Error;  // one line naming the offending option; empty when the line is fine
};

// Args are the program's arguments without the program name, as raw bytes. NeedStart: a start
// URL (or --list, or --resume) must be given.
TParsedCommandLine ParseCommandLine(const std::vector<std::string>& Args, bool NeedStart = true);

// The text of --help.
std::string HelpText();
