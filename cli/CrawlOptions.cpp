#include "CrawlOptions.h"

#include <charconv>
#include <functional>
#include <map>

namespace {

constexpr int kMaxConcurrent = 1000;
constexpr int kDefaultConcurrent = 6;  // the crawler's own default

struct TOptionError {
    std::string Text;
};

// Parses a whole decimal number of at least Minimum; anything else names the option.
int ParseNumber(const std::string& Name, const std::string& Value, int Minimum) {
    int number = 0;
    const char* end = Value.data() + Value.size();
    const auto [ptr, ec] = std::from_chars(Value.data(), end, number);
    if (Value.empty() || ec != std::errc() || ptr != end)
        throw TOptionError{"option " + Name + " needs a whole number, not '" + Value + "'"};
    if (number < Minimum)
        throw TOptionError{"option " + Name + " must be at least " + std::to_string(Minimum)};
    return number;
}

template <typename T>
T ParseChoice(const std::string& Name, const std::string& Value,
              const std::map<std::string, T>& Choices) {
    const auto found = Choices.find(Value);
    if (found == Choices.end()) {
        std::string names;
        for (const auto& [key, unused] : Choices) names += (names.empty() ? "" : "|") + key;
        throw TOptionError{"option " + Name + " takes " + names + ", not '" + Value + "'"};
    }
    return found->second;
}

std::vector<std::string> ParseTypes(const std::string& Name, const std::string& Value) {
    std::vector<std::string> types;
    std::size_t begin = 0;
    while (begin <= Value.size()) {
        std::size_t end = Value.find(',', begin);
        if (end == std::string::npos) end = Value.size();
        std::string type = Value.substr(begin, end - begin);
        // A type is one line of the engine's type list; blanks or line ends would split or
        // never match it.
        if (type.empty() || type.find_first_of(" \t\r\n") != std::string::npos)
            throw TOptionError{"option " + Name +
                               " needs a comma list of types such as mail,pdf, not '" + Value +
                               "'"};
        types.push_back(type);
        begin = end + 1;
    }
    return types;
}

// Seconds as a decimal number (tenths and the like allowed), from 0 to an hour; in ms.
int ParseSeconds(const std::string& Name, const std::string& Value) {
    double seconds = -1;
    const char* end = Value.data() + Value.size();
    const auto [ptr, ec] = std::from_chars(Value.data(), end, seconds);
    if (Value.empty() || ec != std::errc() || ptr != end || !(seconds >= 0) || seconds > 3600)
        throw TOptionError{"option " + Name + " needs seconds from 0 to 3600, such as 0.5, not '" +
                           Value + "'"};
    return static_cast<int>(seconds * 1000 + 0.5);
}

void ParseProxy(const std::string& Name, const std::string& Value, TCrawlOptions& Options) {
    const std::size_t colon = Value.rfind(':');
    if (colon == std::string::npos || colon == 0)
        throw TOptionError{"option " + Name + " needs HOST:PORT, not '" + Value + "'"};
    Options.ProxyHost = Value.substr(0, colon);
    Options.ProxyPort = ParseNumber(Name, Value.substr(colon + 1), 1);
    if (Options.ProxyPort > 65535) throw TOptionError{"option " + Name + " has a port above 65535"};
    Options.Proxy = PROXY_USEPROXY;
}

// "I/N" with 1 <= I <= N.
TShard ParseShard(const std::string& Name, const std::string& Value) {
    const std::size_t slash = Value.find('/');
    const std::string wanted = "option " + Name + " needs I/N with 1 <= I <= N, such as 2/8, not '";
    if (slash == std::string::npos) throw TOptionError{wanted + Value + "'"};
    TShard shard;
    try {
        shard.Index = ParseNumber(Name, Value.substr(0, slash), 1);
        shard.Count = ParseNumber(Name, Value.substr(slash + 1), 1);
    } catch (const TOptionError&) {
        throw TOptionError{wanted + Value + "'"};
    }
    if (shard.Index > shard.Count) throw TOptionError{wanted + Value + "'"};
    return shard;
}

// A merge reads result files and writes one; of the crawl's options only these mean anything.
void CheckMergeOptions(const TCrawlOptions& Options) {
    for (const std::string& name : Options.OptionNames)
        if (name != "--merge" && name != "--output" && name != "--never-collect" &&
            name != "--quiet")
            throw TOptionError{"option " + name +
                               " cannot be given with --merge (only -o, --never-collect and -q "
                               "can)"};
    if (Options.Urls.empty()) throw TOptionError{"--merge needs one or more result files"};
}

using TValueHandler =
    std::function<void(const std::string& Name, const std::string& Value, TCrawlOptions&)>;
using TFlagHandler = std::function<void(TCrawlOptions&)>;

const std::map<std::string, TValueHandler>& ValueOptions() {
    static const std::map<std::string, TValueHandler> options{
        {"--depth", [](auto& n, auto& v, auto& o) { o.Depth = ParseNumber(n, v, 1); }},
        {"--concurrent",
         [](auto& n, auto& v, auto& o) {
             o.Concurrent = ParseNumber(n, v, 1);
             // Each download is a thread of its own; more would only exhaust the machine.
             if (*o.Concurrent > kMaxConcurrent)
                 throw TOptionError{"option " + n + " must be at most " +
                                    std::to_string(kMaxConcurrent)};
         }},
        {"--types",
         [](auto& n, auto& v, auto& o) {
             o.Types = ParseTypes(n, v);
             o.AllTypes = false;
         }},
        {"--follow",
         [](auto& n, auto& v, auto& o) {
             o.Follow = ParseChoice<TLinkScan>(
                 n, v,
                 {{"all", scanAllLinks}, {"site", scanInitialSite}, {"path", scanInitialPath}});
         }},
        {"--report",
         [](auto& n, auto& v, auto& o) {
             o.Report = ParseChoice<TLinkReport>(n, v,
                                                 {{"all", reportAllLinks},
                                                  {"site", reportCurrentSiteLinks},
                                                  {"path", reportCurrentPathLinks}});
         }},
        {"--include", [](auto&, auto& v, auto& o) { o.IncludeFile = v; }},
        {"--exclude", [](auto&, auto& v, auto& o) { o.ExcludeFile = v; }},
        {"--never-collect", [](auto&, auto& v, auto& o) { o.NeverCollectFile = v; }},
        {"--retries", [](auto& n, auto& v, auto& o) { o.Retries = ParseNumber(n, v, 0); }},
        {"--timeout", [](auto& n, auto& v, auto& o) { o.TimeOut = ParseNumber(n, v, 1); }},
        {"--max-queue", [](auto& n, auto& v, auto& o) { o.MaxQueue = ParseNumber(n, v, 10); }},
        {"--delay", [](auto& n, auto& v, auto& o) { o.DelayMs = ParseSeconds(n, v); }},
        {"--max-per-host", [](auto& n, auto& v, auto& o) { o.MaxPerHost = ParseNumber(n, v, 0); }},
        {"--skipped", [](auto&, auto& v, auto& o) { o.SkippedFile = v; }},
        {"--explain", [](auto&, auto& v, auto& o) { o.ExplainFile = v; }},
        {"--agent", [](auto&, auto& v, auto& o) { o.Agent = v; }},
        {"--proxy", [](auto& n, auto& v, auto& o) { ParseProxy(n, v, o); }},
        {"--proxy-user", [](auto&, auto& v, auto& o) { o.ProxyUser = v; }},
        {"--user", [](auto&, auto& v, auto& o) { o.User = v; }},
        {"--password-file", [](auto&, auto& v, auto& o) { o.PasswordFile = v; }},
        {"--proxy-password-file", [](auto&, auto& v, auto& o) { o.ProxyPasswordFile = v; }},
        {"--list", [](auto&, auto& v, auto& o) { o.ListFile = v; }},
        {"--output", [](auto&, auto& v, auto& o) { o.OutputFile = v; }},
        {"--format",
         [](auto& n, auto& v, auto& o) {
             o.Format = ParseChoice<TOutputFormat>(n, v,
                                                   {{"text", TOutputFormat::Text},
                                                    {"tsv", TOutputFormat::Tsv},
                                                    {"jsonl", TOutputFormat::Jsonl}});
         }},
        {"--results-file", [](auto&, auto& v, auto& o) { o.ResultsFile = v; }},
        {"--journal", [](auto&, auto& v, auto& o) { o.JournalFile = v; }},
        {"--resume", [](auto&, auto& v, auto& o) { o.ResumeFile = v; }},
        // Across machines.
        {"--shard", [](auto& n, auto& v, auto& o) { o.Shard = ParseShard(n, v); }},
        // Contact pages only.
        {"--contact-list",
         [](auto&, auto& v, auto& o) {
             o.ContactListFile = v;
             o.ContactPages = true;
         }},
        // Many sites at once.
        {"--sites", [](auto& n, auto& v, auto& o) { o.Sites = ParseNumber(n, v, 1); }},
    };
    return options;
}

const std::map<std::string, TFlagHandler>& FlagOptions() {
    static const std::map<std::string, TFlagHandler> options{
        {"--all-types", [](auto& o) { o.AllTypes = true; }},
        {"--robots", [](auto& o) { o.Robots = true; }},
        {"--sitemaps", [](auto& o) { o.Sitemaps = true; }},
        {"--ignore-robots", [](auto& o) { o.IgnoreRobots = true; }},
        {"--no-redirect", [](auto& o) { o.NoRedirect = true; }},
        {"--no-proxy",
         [](auto& o) {
             o.Proxy = PROXY_DIRECT;
             o.ProxyHost.clear();
         }},
        {"--quiet", [](auto& o) { o.Quiet = true; }},
        {"--progress", [](auto& o) { o.Progress = true; }},
        {"--paced", [](auto& o) { o.Paced = true; }},
        {"--version", [](auto& o) { o.Version = true; }},
        {"--help", [](auto& o) { o.Help = true; }},
        // Across machines.
        {"--merge", [](auto& o) { o.Merge = true; }},
        // Contact pages only.
        {"--contact-pages", [](auto& o) { o.ContactPages = true; }},
    };
    return options;
}

const std::map<char, std::string>& ShortNames() {
    static const std::map<char, std::string> names{
        {'d', "--depth"},  {'c', "--concurrent"}, {'t', "--types"}, {'l', "--list"},
        {'o', "--output"}, {'q', "--quiet"},      {'h', "--help"},
    };
    return names;
}

bool ShapesCrawl(const std::string& LongName) {
    return !IsOutputOption(LongName) && LongName != "--journal" && LongName != "--resume" &&
           LongName != "--help" && LongName != "--version" && LongName != "--merge";
}

// Many sites at once: every site has its own downloads, and all of them together are bounded
// as one crawler's are.
void CheckSites(const TCrawlOptions& O) {
    const long long downloads =
        static_cast<long long>(O.Sites) * O.Concurrent.value_or(kDefaultConcurrent);
    if (downloads > kMaxConcurrent)
        throw TOptionError{"--sites times --concurrent (" + std::to_string(downloads) +
                           " downloads at once) must be at most " + std::to_string(kMaxConcurrent)};
    if (O.Sites > 1 && !O.ResultsFile.empty())
        throw TOptionError{
            "--results-file cannot be given with --sites above 1: each crawler "
            "would empty it at the start of its run"};
}

// Handles the option at Args[Index]; advances Index past a separate value.
void ParseOption(const std::vector<std::string>& Args, std::size_t& Index, TCrawlOptions& Options) {
    const std::string& arg = Args[Index];
    std::string name = arg, shown = arg;
    std::optional<std::string> value;
    if (arg.rfind("--", 0) == 0) {
        const std::size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            name = shown = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
    } else {
        const auto found = ShortNames().find(arg[1]);
        if (found == ShortNames().end())
            throw TOptionError{"unknown option '" + arg.substr(0, 2) + "'"};
        name = found->second;
        shown = arg.substr(0, 2);
        if (arg.size() > 2) value = arg.substr(2);
    }
    if (const auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
        if (value) throw TOptionError{"option " + shown + " takes no value"};
        flag->second(Options);
        Options.OptionNames.push_back(name);
        if (ShapesCrawl(name)) Options.CrawlArgs.push_back(name);
        return;
    }
    const auto handler = ValueOptions().find(name);
    if (handler == ValueOptions().end()) {
        if (name == "--password" || name == "--proxy-password")
            throw TOptionError{
                "option " + name +
                " does not exist: a password on the command line is visible to every "
                "user; use TARNWICK_PASSWORD or --password-file"};
        throw TOptionError{"unknown option '" + shown + "'"};
    }
    if (!value) {
        if (Index + 1 >= Args.size()) throw TOptionError{"option " + shown + " needs a value"};
        value = Args[++Index];
    }
    handler->second(shown, *value, Options);
    Options.OptionNames.push_back(name);
    if (ShapesCrawl(name)) Options.CrawlArgs.push_back(name + "=" + *value);
}

}  // namespace

bool IsOutputOption(const std::string& LongName) {
    return LongName == "--output" || LongName == "--format" || LongName == "--quiet" ||
           LongName == "--progress" || LongName == "--results-file";
}

TParsedCommandLine ParseCommandLine(const std::vector<std::string>& Args, bool NeedStart) {
    TParsedCommandLine parsed;
    try {
        bool optionsEnded = false;
        for (std::size_t i = 0; i < Args.size(); ++i) {
            const std::string& arg = Args[i];
            if (!optionsEnded && arg == "--")
                optionsEnded = true;
            else if (!optionsEnded && arg.size() > 1 && arg[0] == '-')
                ParseOption(Args, i, parsed.Options);
            else
                parsed.Options.Urls.push_back(arg);
        }
        const TCrawlOptions& o = parsed.Options;
        if (o.Merge && !o.Help && !o.Version) {
            CheckMergeOptions(o);
            return parsed;
        }
        if (!o.ResumeFile.empty()) {
            if (!o.JournalFile.empty())
                throw TOptionError{
                    "--resume continues the journal it names; --journal "
                    "cannot be given with it"};
            if (!o.CrawlArgs.empty() || !o.Urls.empty())
                throw TOptionError{
                    (o.CrawlArgs.empty() ? "a start URL"
                                         : "option " + o.CrawlArgs.front().substr(
                                                           0, o.CrawlArgs.front().find('='))) +
                    " cannot be given with --resume: the crawl goes on with the options and "
                    "start URLs of its journal (only -o, --format, -q, --progress and "
                    "--results-file may be given)"};
        }
        CheckSites(o);
        if (NeedStart && !o.Help && !o.Version && o.Urls.empty() && o.ListFile.empty() &&
            o.ResumeFile.empty())
            throw TOptionError{"no start URL given (give one or more URLs, or --list FILE)"};
    } catch (const TOptionError& error) {
        parsed.Error = error.Text;
    }
    return parsed;
}

std::string HelpText() {
    return R"(Usage: tarnwick-crawl [OPTION]... URL...
       tarnwick-crawl [OPTION]... --list FILE
       tarnwick-crawl --merge FILE... [-o OUT]

Crawl the web from each start URL in turn and print what was harvested: e-mail
addresses of mailto links and links to files of the chosen types.

What to harvest:
  -t, --types LIST         comma list of types: mail, jpg, gif, mp3, pdf, zip or
                           any file extension (default: mail)
      --all-types          report every link, whatever its type
      --include FILE       follow and report only links holding one of the
                           keywords of FILE (one per line)
      --exclude FILE       skip links holding one of the keywords of FILE
                           (one per line)
      --never-collect FILE never harvest the addresses of FILE, one a line:
                           anna@example.org, @example.org (that domain),
                           @.example.org (it and its subdomains)

How far to crawl:
  -d, --depth N            pages to go down from the start page, by the shortest
                           path to each; 1 fetches the start page alone
                           (default: 3)
      --follow all|site|path
                           which links are followed: all, those of the start
                           page's site, or those under its folder (default: site)
      --report all|site|path
                           which links are reported, by any page that meets
                           them (default: all)
      --max-queue N        hold at most N links in the queue in memory, N >= 10
                           (default: 5000); further links are not lost but wait,
                           in the order found, until the queue has room: the
                           first 1000 in memory, the rest in a temporary file
                           in $TMPDIR (or /tmp) that leaves nothing behind
      --robots             also harvest /robots.txt of every new host as a page
      --sitemaps           also follow the pages that each server's sitemaps
                           name, as links of its first page, to find pages that
                           nothing links to: the sitemaps its robots.txt names,
                           else /sitemap.xml (only that with --ignore-robots);
                           index and gzip files are read; none with --depth 1
      --no-redirect        do not follow meta refresh redirects in pages
      --contact-pages      follow from each start page only links whose path or
                           query (percent-decoded, in any letter case) holds a
                           keyword of the shipped list Kontaktseiten.ini:
                           impressum, kontakt, contact, about, team, ...; every
                           fetched page is harvested whole; depth 3 unless -d
      --contact-list FILE  as --contact-pages, with the keywords of FILE (one
                           per line, UTF-8)

Consideration for servers:
      --ignore-robots      fetch what robots.txt forbids and follow the links of
                           pages that say nofollow; by default each server's
                           /robots.txt is read once and its rules and Crawl-delay
                           are obeyed, what it forbids is skipped, and the links
                           of a page whose meta robots or X-Robots-Tag says
                           nofollow (or none) are reported but not followed
      --delay SECONDS      least time between two requests to one server, such as
                           0.5; Crawl-delay counts when longer (default: 0)
      --max-per-host N     parallel downloads to one server (default: 0, no limit
                           beyond --concurrent)
      --skipped FILE       list the URLs that were not fetched, one
                           URL<TAB>reason<TAB>site per line (site: the start URL
                           of its crawl), in the order met: robots (forbidden by
                           robots.txt), robots-unreachable (WHY) (its robots.txt
                           could not be read; WHY is what its request met, in
                           the words below), or why its download failed: host not
                           found, proxy not found, connection refused, cannot
                           connect, timed out, connection reset, empty reply,
                           cut short, network error, redirect loop, too many
                           redirects, refused scheme, TLS error, bad answer,
                           too large, no content type, empty body, login
                           required, login refused, proxy login refused,
                           internal error, or HTTP status N
      --explain FILE       why each link was followed, reported or skipped: one
                           JSON line per distinct link met, its final decision,
                           with url, from, depth, type, reported, followed,
                           site (the start URL of its crawl) and reason (seen, depth, exclude, include, type, site,
                           path, scheme, queue: the waiting links' file failed,
                           robots, robots-unreachable: its robots.txt could not
                           be read, caller, stopped, invalid: a part of a
                           mailto link that is no address, nofollow: its page's
                           meta robots or X-Robots-Tag says nofollow,
                           follow-keywords: a page link whose path and query
                           hold no keyword of --contact-pages; "" when
                           nothing said no)
  A server that answers 429 or 503 is paused as its Retry-After asks (at most
  120 s); a 429 without it pauses 1 s, then 2, 4, ... up to 60 s.

Downloads:
  -c, --concurrent N       parallel downloads, at most 1000 (default: 6)
      --retries N          further attempts after a failed download; 0: one
                           attempt only (default: 3; a refused login is not
                           tried again)
      --timeout SECONDS    time one download may take, connecting and waiting for
                           a silent server included (default: 300)
      --agent TEXT         user agent sent with every request; its first word
                           chooses the robots.txt rules (default:
                           tarnwick-crawl/VERSION)
      --paced              advance the crawl in steady 50 ms steps, as the
                           window does, instead of as soon as there is work
                           (slower; each run also ends about 0.5 s later)
      --user NAME          user name for pages that ask for a login
      --password-file FILE read that login's password from the first line of FILE
      --proxy HOST:PORT    use this HTTP proxy
      --no-proxy           connect directly, ignoring the proxy environment
      --proxy-user NAME    user name for the proxy
      --proxy-password-file FILE
                           read the proxy password from the first line of FILE
                           (default proxy: the http_proxy, https_proxy and
                           no_proxy environment variables)

Many sites at once:
      --sites K            crawl up to K start URLs at once, each as a run of its
                           own with its own scope, depth, filters and -c
                           downloads; when one ends the next begins; K times
                           -c at most 1000 (default: 1). robots.txt is read once
                           per server for the whole command, and --delay,
                           Crawl-delay, pauses and --max-per-host hold for each
                           server as a whole. A start URL given twice is
                           crawled once; a site that fails ends with its
                           reason and the others go on; a last line on
                           standard error counts the sites done and failed.
                           With --journal FILE each crawler keeps its own
                           journal: FILE, FILE.1, FILE.2, ...; not with
                           --results-file

Start URLs and output:
  -l, --list FILE          read start URLs from FILE, one per line, used as they
                           stand but for blanks at the end of a line and a UTF-8
                           byte-order mark (an empty line crawls the previous
                           URL again); crawled after the URLs of the command line
  -o, --output FILE        write the harvest to FILE instead of standard output;
                           it is written as FILE.XXXXXX beside it and replaces
                           FILE only once it is complete; a symbolic link is
                           followed and stays, a device, a pipe or /dev/stdout
                           is written as it is
      --format text|tsv|jsonl
                           text: one result per line, sorted, without
                           duplicates, written at the end (default); tsv:
                           TYPE<TAB>URL<TAB>PAGE<TAB>SITE and jsonl:
                           {"type","url","from","site"} per line, written as
                           they are found (SITE: the start URL whose crawl
                           found it)
      --results-file FILE  also let the crawler write its own results file (one
                           "type";"url" line per reported link; emptied at the
                           start of every run)
      --journal FILE       record the crawl in FILE as it goes (made durable at
                           least once a second), so that it can be continued
                           after a crash, a kill or a power cut; no other
                           process may use it meanwhile, and a journal that
                           can still be continued is not replaced
      --resume FILE        continue the crawl recorded in journal FILE with its
                           own options and start URLs: every result found
                           before is kept, and each page is fetched at most
                           once more; only -o, --format, -q, --progress and
                           --results-file may be given with it (--explain then
                           covers what is met after the resumption); the
                           temporary output files (-o FILE.XXXXXX) of killed
                           runs are removed once the harvest is written
  -q, --quiet              no progress line
      --progress           show the progress line also when standard error is
                           not a terminal
  -h, --help               show this help and exit
      --version            show the version and exit

Across machines (N processes share one list; see ACROSS MACHINES in the manual):
      --shard I/N          crawl only the start URLs (of the command line and of
                           --list) whose site falls to shard I of N, 1 <= I <= N:
                           the 64-bit FNV-1a hash of its registrable domain
                           (lower-case, punycode), modulo N, plus one; an empty
                           list line goes with the URL before it, a line that
                           is not a URL is reported by every shard; a shard
                           without start URLs writes an empty harvest
      --merge FILE...      join result files of tarnwick-crawl into one (-o, or
                           standard output), all of one format: text files as
                           one sorted harvest without duplicates; TSV and JSONL
                           as one line per type and URL, the first file's line
                           kept, sorted by type, then URL byte by byte; only -o,
                           --never-collect and -q may be given with it

No two of -o, --results-file, --skipped, --explain, the journal and the file of
standard output may be one file (devices such as /dev/null may be shared). When
one cannot be written, the others are still written with what was found.

Environment:
  TARNWICK_PASSWORD        password for --user (--password-file takes precedence)
  TARNWICK_PROXY_PASSWORD  password for --proxy-user (--proxy-password-file
                           takes precedence)
  http_proxy, https_proxy, no_proxy
                           proxy used unless --proxy or --no-proxy is given
  TMPDIR                   folder of the file of waiting links (--max-queue)
Passwords are never accepted as option values: other users could read them.

Ctrl-C (SIGINT), SIGTERM and SIGHUP stop the crawl, skip the remaining start
URLs and still write every result found so far; a second signal quits at once
without writing. With --journal, the crawl can then be continued with --resume.

Exit status:
  0    every run started, a page was fetched and the harvest was written (or
       --shard left this process no start URL, or --merge wrote its output)
  1    a start URL was refused (the reason is on standard error), a file of
       --merge could not be read, the harvest, the results file, the file of
       waiting links or the journal could not be written, the journal is in
       use by another process, or the journal of --resume could not be read
       or holds a crawl that has ended
  2    bad usage (two outputs naming one file, or --journal naming a journal
       that can still be continued, included), an option's file could not
       be read, or --merge was given files of different formats or a line
       that is not a record of its file's format
  3    no page could be fetched at all (each failing start URL is named on
       standard error)
  130  interrupted by Ctrl-C (the results found so far were written)
  143  ended by SIGTERM (likewise)
  129  ended by SIGHUP (likewise)

Examples:
  tarnwick-crawl https://example.org/
  tarnwick-crawl -t mail,pdf -d 2 --follow site -o found.txt https://example.org/
  tarnwick-crawl --format tsv --list starts.txt > found.tsv
  tarnwick-crawl --journal crawl.journal -o found.txt https://example.org/
  tarnwick-crawl --resume crawl.journal -o found.txt
  TARNWICK_PASSWORD=secret tarnwick-crawl --user anna https://intranet.example/
)";
}
