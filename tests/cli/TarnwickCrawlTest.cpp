// End-to-end tests of tarnwick-crawl: the built program is run as a child process against a
// local test server, and its output, messages and exit status are checked.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <csignal>
#include <map>
#include <string>

#include "FailingSite.h"
#include "FileText.h"
#include "TestServer.h"

namespace {

struct RunResult {
    int exitCode = -1;
    bool crashed = false;
    std::string out, err;
};

QProcessEnvironment CleanEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove("TARNWICK_PASSWORD");
    env.remove("TARNWICK_PROXY_PASSWORD");
    return env;
}

RunResult Finish(QProcess& process) {
    RunResult result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tarnwick-crawl did not end within 60 s";
    }
    result.crashed = process.exitStatus() != QProcess::NormalExit;
    result.exitCode = process.exitCode();
    result.out = process.readAllStandardOutput().toStdString();
    result.err = process.readAllStandardError().toStdString();
    return result;
}

RunResult RunCrawl(const QStringList& args, const QProcessEnvironment& env = CleanEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.start(TARNWICK_CRAWL_BINARY, args);
    EXPECT_TRUE(process.waitForStarted());
    return Finish(process);
}

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// Two pages: the start page links to a second one; one address is written with "%40" and on the
// second page in capitals, one is repeated on the second page.
const char* kSiteConfig = R"({"routes": {
  "/": {"body": "<html><body><a href=\"mailto:b@example.org\">b</a> <a href=\"mailto:a%40example.org\">a</a> <a href=\"/doc.pdf\">d</a> <a href=\"p2.htm\">2</a></body></html>"},
  "/p2.htm": {"body": "<html><body><a href=\"mailto:A@example.org\">A</a> <a href=\"mailto:b@example.org\">b</a> <a href=\"/files/x.pdf\">x</a> <img src=\"pic.gif\"></body></html>"},
  "/doc.pdf": {"body": "%PDF", "content_type": "application/pdf"}}})";

class CrawlCliTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString TempFile(const QString& name, const QByteArray& content) {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    QTemporaryDir m_dir;
};

TEST_F(CrawlCliTest, TextFormatIsSortedWithoutDuplicatesAndDecodesAtSign) {
    TestServer server(kSiteConfig);
    ASSERT_TRUE(server.Start());
    const RunResult r = RunCrawl({"-t", "mail,pdf", "--no-proxy", Q(server.Url("/"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    // Case-insensitive order. "a%40example.org" and "A@example.org" name one address (RFC 6068):
    // reported once, as first found.
    EXPECT_EQ(r.out, "a@example.org\nb@example.org\n" + server.Url("/doc.pdf") + "\n" +
                         server.Url("/files/x.pdf") + "\n");
}

TEST_F(CrawlCliTest, TsvAndJsonlKeepTheOrderFoundAndThePage) {
    TestServer server(kSiteConfig);
    ASSERT_TRUE(server.Start());
    const std::string start = server.Url("/"), second = server.Url("/p2.htm");
    const RunResult tsv = RunCrawl({"--types=mail,pdf", "--format", "tsv", "--no-proxy", Q(start)});
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    // The fourth column names the start URL whose crawl found it.
    const std::string site = "\t" + start + "\n";
    EXPECT_EQ(tsv.out, "mail\tb@example.org\t" + start + site + "mail\ta@example.org\t" + start +
                           site + "pdf\t" + server.Url("/doc.pdf") + "\t" + start + site + "pdf\t" +
                           server.Url("/files/x.pdf") + "\t" + second + site);

    const RunResult json =
        RunCrawl({"-t", "mail", "--format", "jsonl", "-d", "1", "--no-proxy", Q(start)});
    EXPECT_EQ(json.exitCode, 0) << json.err;
    const std::string from = start + R"(","site":")" + start + "\"}\n";
    EXPECT_EQ(json.out, R"({"type":"mail","url":"b@example.org","from":")" + from +
                            R"({"type":"mail","url":"a@example.org","from":")" + from);
}

TEST_F(CrawlCliTest, JsonlEscapesBackslashAndCarriesLatin1Bytes) {
    // The address holds a backslash and the byte 0xE9 (e acute in Latin-1); the link extractor
    // ends a link at a quote, so none can reach the output.
    TestServer server(
        R"({"routes": {"/": {"body": "<a href='mailto:ren\u00e9\\y@example.org'>r</a>"}}})");
    ASSERT_TRUE(server.Start());
    const RunResult r = RunCrawl({"--format", "jsonl", "--no-proxy", Q(server.Url("/"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << r.out;
    EXPECT_EQ(doc.object().value("url").toString(), QString::fromUtf8("ren\u00e9\\y@example.org"))
        << r.out;
    EXPECT_EQ(doc.object().value("type").toString(), "mail");
}

// A lone CR ends a line as in every text file the window reads.
TEST_F(CrawlCliTest, ListModeCrawlsEveryEntryInFileOrder) {
    TestServer server(R"({"routes": {
      "/one.htm": {"body": "<a href=\"mailto:one@example.org\">1</a>"},
      "/two.htm": {"body": "<a href=\"mailto:two@example.org\">2</a> <a href=\"mailto:one@example.org\">1</a>"},
      "/three.htm": {"body": "<a href=\"mailto:three@example.org\">3</a>"}}})");
    ASSERT_TRUE(server.Start());
    const QString list =
        TempFile("list.txt", QByteArray::fromStdString("\xEF\xBB\xBF" + server.Url("/three.htm") +
                                                       " \r\n" + server.Url("/one.htm") + "\t\r" +
                                                       server.Url("/two.htm") + "\n"));
    const RunResult tsv = RunCrawl({"--format", "tsv", "--no-proxy", "-l", list});
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    // Each run reports its own finds, so an address of two runs comes twice.
    const auto record = [&](const std::string& Address, const std::string& Page) {
        return "mail\t" + Address + "\t" + server.Url(Page) + "\t" + server.Url(Page) + "\n";
    };
    EXPECT_EQ(tsv.out,
              record("three@example.org", "/three.htm") + record("one@example.org", "/one.htm") +
                  record("two@example.org", "/two.htm") + record("one@example.org", "/two.htm"));

    const RunResult text = RunCrawl({"--no-proxy", "--list", list});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "one@example.org\nthree@example.org\ntwo@example.org\n");
}

TEST_F(CrawlCliTest, RefusedStartGivesStatusOneAndTheOthersStillRun) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=\"mailto:x@example.org\">x</a>"}}})");
    ASSERT_TRUE(server.Start());
    const RunResult alone = RunCrawl({"--no-proxy", "nohost"});
    EXPECT_EQ(alone.exitCode, 1);
    EXPECT_NE(alone.err.find("Invalid Url : nohost"), std::string::npos) << alone.err;
    EXPECT_EQ(alone.out, "");

    const RunResult mixed = RunCrawl({"--no-proxy", "nohost", Q(server.Url("/"))});
    EXPECT_EQ(mixed.exitCode, 1);
    EXPECT_EQ(mixed.out, "x@example.org\n");

    // Only web addresses are crawled: another scheme is refused at once, not tried four times.
    const RunResult scheme = RunCrawl({"--no-proxy", "foo://x"});
    EXPECT_EQ(scheme.exitCode, 1);
    EXPECT_NE(scheme.err.find("Invalid Url : foo://x"), std::string::npos) << scheme.err;
}

TEST_F(CrawlCliTest, MetaRefreshIsFollowedUnlessTurnedOff) {
    TestServer server(R"({"routes": {
      "/": {"body": "<html><head><meta http-equiv=\"refresh\" content=\"0; URL=next.htm\"></head><body><a href=\"mailto:start@example.org\">s</a></body></html>"},
      "/next.htm": {"body": "<a href=\"mailto:next@example.org\">n</a>"}}})");
    ASSERT_TRUE(server.Start());
    const RunResult followed = RunCrawl({"--no-proxy", "-d", "1", Q(server.Url("/"))});
    EXPECT_EQ(followed.exitCode, 0) << followed.err;
    EXPECT_EQ(followed.out, "next@example.org\nstart@example.org\n");

    const RunResult kept = RunCrawl({"--no-proxy", "-d", "1", "--no-redirect", Q(server.Url("/"))});
    EXPECT_EQ(kept.exitCode, 0) << kept.err;
    EXPECT_EQ(kept.out, "start@example.org\n");
    EXPECT_EQ(server.CountRequests("/next.htm"), 1);
}

TEST_F(CrawlCliTest, BadUsageGivesStatusTwoWithTheOptionNamed) {
    struct Case {
        QStringList args;
        std::string named;
    };
    const Case cases[] = {
        {{"--frobnicate", "http://x/"}, "--frobnicate"},
        {{"--password", "secret", "http://x/"}, "--password"},
        {{"-d", "zero", "http://x/"}, "-d"},
        {{"--follow", "everywhere", "http://x/"}, "--follow"},
        {{"--proxy", "nohostport", "http://x/"}, "--proxy"},
        {{"--format"}, "--format"},
        {{"-q"}, "URL"},
        {{"--list", "/nonexistent/list.txt"}, "--list"},
        {{"--delay", "-1", "http://x/"}, "--delay"},
        {{"--delay", "soon", "http://x/"}, "--delay"},
        {{"--max-per-host", "-2", "http://x/"}, "--max-per-host"},
        {{"--retries", "-1", "http://x/"}, "--retries"},
        {{"--concurrent", "1001", "http://x/"}, "at most 1000"},
    };
    for (const Case& c : cases) {
        const RunResult r = RunCrawl(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.args.join(' ').toStdString();
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CrawlCliTest, KeepsToTheSiteAndItsRobotsTxtUnlessToldOtherwise) {
    TestServer other(
        R"({"routes": {"/index.htm": {"body": "<a href=\"mailto:other@example.org\">o</a>"}}})");
    ASSERT_TRUE(other.Start());
    // "localhost" is another site than 127.0.0.1.
    const std::string elsewhere = "http://localhost:" + std::to_string(other.Port()) + "/index.htm";
    TestServer server(R"({"routes": {
      "/robots.txt": {"body": "User-agent: *\nDisallow: /private\n", "content_type": "text/plain"},
      "/": {"body": "<a href=\"/private/p.htm\">p</a> <a href=\")" +
                      elsewhere + R"(\">o</a>"},
      "/private/p.htm": {"body": "<a href=\"mailto:private@example.org\">p</a>"}}})");
    ASSERT_TRUE(server.Start());
    const QString skipped = m_dir.filePath("skipped.txt");
    const RunResult polite = RunCrawl({"--no-proxy", "--skipped", skipped, Q(server.Url("/"))});
    EXPECT_EQ(polite.exitCode, 0) << polite.err;
    EXPECT_EQ(polite.out, "");
    EXPECT_EQ(server.CountRequests("/private/p.htm"), 0);
    EXPECT_EQ(other.Requests().size(), 0u);
    QFile list(skipped);
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    EXPECT_EQ(list.readAll().toStdString(),
              server.Url("/private/p.htm") + "\trobots\t" + server.Url("/") + "\n");
    // An honest name, which also chose the robots.txt group.
    EXPECT_EQ(server.Requests().at(0).headers.at("user-agent"), "tarnwick-crawl/" TARNWICK_VERSION);

    const RunResult all = RunCrawl({"--no-proxy", "--ignore-robots", "--follow", "all",
                                    "--max-per-host", "1", "--delay", "0.1", Q(server.Url("/"))});
    EXPECT_EQ(all.exitCode, 0) << all.err;
    EXPECT_EQ(all.out, "other@example.org\nprivate@example.org\n");
}

// robots.txt names a sitemap index whose gzip child lists a page that nothing links to.
TEST_F(CrawlCliTest, SitemapsFindAnUnlinkedPageOnlyWhenAskedFor) {
    const std::string ns = "http://www.sitemaps.org/schemas/sitemap/0.9";
    TestServer server(R"({"routes": {
      "/robots.txt": {"body": "Sitemap: @ORIGIN@/index.xml\n", "content_type": "text/plain"},
      "/index.xml": {"body": "<sitemapindex xmlns=\")" +
                      ns +
                      R"(\"><sitemap><loc>@ORIGIN@/pages.xml.gz</loc></sitemap></sitemapindex>",
                     "content_type": "application/xml"},
      "/pages.xml.gz": {"body": "<urlset xmlns=\")" +
                      ns +
                      R"(\"><url><loc>@ORIGIN@/hidden.htm</loc></url></urlset>",
                        "content_type": "application/gzip", "gzip_file": true},
      "/": {"body": "<a href=\"mailto:start@example.org\">s</a>"},
      "/hidden.htm": {"body": "<a href=\"mailto:hidden@example.org\">h</a>"}}})");
    ASSERT_TRUE(server.Start());
    struct Case {
        QStringList options;
        std::string out;
        int indexRequests;  // in all runs so far
    };
    const Case cases[] = {
        {{}, "start@example.org\n", 0},
        {{"--sitemaps"}, "hidden@example.org\nstart@example.org\n", 1},
        {{"--sitemaps", "-d", "1"}, "start@example.org\n", 1},
    };
    for (const Case& c : cases) {
        const RunResult r =
            RunCrawl(QStringList{"--no-proxy"} + c.options + QStringList{Q(server.Url("/"))});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, c.out) << c.options.join(' ').toStdString();
        EXPECT_EQ(server.CountRequests("/index.xml"), c.indexRequests);
    }
    EXPECT_EQ(server.CountRequests("/pages.xml.gz"), 1);
}

TEST_F(CrawlCliTest, ARedirectToWhatRobotsTxtForbidsIsSkippedAsRobots) {
    TestServer server(R"({"routes": {
      "/robots.txt": {"body": "User-agent: *\nDisallow: /private\n", "content_type": "text/plain"},
      "/": {"body": "<a href=\"/moved.htm\">m</a> <a href=\"mailto:start@example.org\">s</a>"},
      "/moved.htm": {"redirect": "/private/p.htm"},
      "/private/p.htm": {"body": "<a href=\"mailto:private@example.org\">p</a>"}}})");
    ASSERT_TRUE(server.Start());
    const QString skipped = m_dir.filePath("skipped.txt"), explained = m_dir.filePath("why.jsonl");
    // A queued URL...
    const RunResult queued =
        RunCrawl({"--no-proxy", "--skipped", skipped, "--explain", explained, Q(server.Url("/"))});
    EXPECT_EQ(queued.exitCode, 0) << queued.err;
    EXPECT_EQ(queued.out, "start@example.org\n");
    EXPECT_EQ(ReadAll(skipped), server.Url("/moved.htm") + "\trobots\t" + server.Url("/") + "\n");
    EXPECT_NE(ReadAll(explained).find("\"reason\":\"robots\",\"site\":\"" + server.Url("/") + "\""),
              std::string::npos)
        << ReadAll(explained);
    // ...and a start URL.
    const RunResult start =
        RunCrawl({"--no-proxy", "--skipped", skipped, Q(server.Url("/moved.htm"))});
    EXPECT_EQ(start.exitCode, 3);
    EXPECT_NE(start.err.find("robots.txt forbids it"), std::string::npos) << start.err;
    EXPECT_EQ(ReadAll(skipped),
              server.Url("/moved.htm") + "\trobots\t" + server.Url("/moved.htm") + "\n");
    EXPECT_EQ(server.CountRequests("/private/p.htm"), 0);

    // --robots harvests robots.txt with the one request that read its rules.
    const int before = server.CountRequests("/robots.txt");
    EXPECT_EQ(RunCrawl({"--no-proxy", "--robots", Q(server.Url("/"))}).exitCode, 0);
    EXPECT_EQ(server.CountRequests("/robots.txt"), before + 1);
}

TEST_F(CrawlCliTest, HelpAndVersionSucceed) {
    const RunResult help = RunCrawl({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"Usage: tarnwick-crawl", "--types", "TARNWICK_PASSWORD", "Exit status",
                             "130", "143", "129", "  3    no page could be fetched"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part;
    const RunResult version = RunCrawl({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("tarnwick-crawl ", 0), 0u) << version.out;
}

TEST_F(CrawlCliTest, OutputFileIsWrittenAndAnUnwritableOneFails) {
    TestServer server(kSiteConfig);
    ASSERT_TRUE(server.Start());
    const QString output = m_dir.filePath("found.txt");
    const RunResult r = RunCrawl({"-d", "1", "--no-proxy", "-o", output, Q(server.Url("/"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    QFile file(output);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), "a@example.org\nb@example.org\n");

    const RunResult bad = RunCrawl(
        {"-d", "1", "--no-proxy", "-o", m_dir.filePath("missing/found.txt"), Q(server.Url("/"))});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("missing/found.txt"), std::string::npos) << bad.err;
}

// Starts a crawl whose second page never answers; returns once the first page's results are in.
class SlowCrawl {
public:
    SlowCrawl()
        : server(R"({"routes": {
      "/": {"body": "<a href=\"mailto:early@example.org\">e</a> <a href=\"/slow.htm\">s</a>"},
      "/slow.htm": {"delay_before_headers": 30, "body": "<a href=\"mailto:late@example.org\">l</a>"}}})") {
    }
    bool Start(const QStringList& extra) {
        if (!server.Start()) return false;
        process.setProcessEnvironment(CleanEnvironment());
        process.start(TARNWICK_CRAWL_BINARY,
                      QStringList{"--format", "tsv", "--no-proxy"} + extra +
                          QStringList{Q(server.Url("/")), Q(server.Url("/never.htm"))});
        if (!process.waitForStarted()) return false;
        // The slow page is requested only after the start page has been analysed.
        started = std::chrono::steady_clock::now();
        while (server.CountRequests("/slow.htm") == 0 &&
               std::chrono::steady_clock::now() - started < std::chrono::seconds(20))
            QThread::msleep(20);
        return server.CountRequests("/slow.htm") == 1;
    }
    bool Signal(int number) { return ::kill(static_cast<pid_t>(process.processId()), number) == 0; }
    std::string EarlyLine() const {
        return "mail\tearly@example.org\t" + server.Url("/") + "\t" + server.Url("/") + "\n";
    }

    TestServer server;
    QProcess process;
    std::chrono::steady_clock::time_point started;
};

TEST_F(CrawlCliTest, SignalsStopTheCrawlAndKeepTheResultsFoundSoFar) {
    const struct {
        int signal;
        int status;
        const char* said;
    } cases[] = {{SIGINT, 130, "interrupted"},
                 {SIGTERM, 143, "terminated (SIGTERM)"},
                 {SIGHUP, 129, "hung up (SIGHUP)"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        SlowCrawl crawl;
        ASSERT_TRUE(crawl.Start({}));
        ASSERT_TRUE(crawl.Signal(c.signal));
        const RunResult r = Finish(crawl.process);
        EXPECT_LT(std::chrono::steady_clock::now() - crawl.started, std::chrono::seconds(20));
        EXPECT_FALSE(r.crashed);
        EXPECT_EQ(r.exitCode, c.status);
        EXPECT_EQ(r.out, crawl.EarlyLine());
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        // The second start URL was skipped.
        EXPECT_EQ(crawl.server.CountRequests("/never.htm"), 0);
    }
}

TEST_F(CrawlCliTest, CtrlCWhileAThousandDownloadsStartEndsAtOnce) {
    // A start page linking 1000 pages that each keep their answer back for 30 s.
    std::string body = "<a href=\\\"mailto:early@example.org\\\">e</a>";
    std::string routes;
    for (int i = 1; i <= 1000; ++i) {
        const std::string path = "/s" + std::to_string(i) + ".htm";
        body += " <a href=\\\"" + path + "\\\">s</a>";
        routes += R"(, ")" + path + R"(": {"delay_before_headers": 30, "body": "x"})";
    }
    TestServer server(R"({"routes": {"/": {"body": ")" + body + R"("})" + routes + "}}");
    ASSERT_TRUE(server.Start());
    QProcess process;
    process.setProcessEnvironment(CleanEnvironment());
    process.start(TARNWICK_CRAWL_BINARY,
                  QStringList{"--format", "tsv", "--no-proxy", "--ignore-robots", "-c", "1000",
                              Q(server.Url("/"))});
    ASSERT_TRUE(process.waitForStarted());
    // Interrupted while its slots are still being made and their requests sent.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (server.Requests().size() < 50 && std::chrono::steady_clock::now() < until)
        QThread::msleep(20);
    ASSERT_GE(server.Requests().size(), 50u);
    const auto interrupted = std::chrono::steady_clock::now();
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGINT), 0);
    const RunResult r = Finish(process);
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, std::chrono::seconds(15));
    EXPECT_FALSE(r.crashed);
    EXPECT_EQ(r.exitCode, 130) << r.err;
    EXPECT_EQ(r.out, "mail\tearly@example.org\t" + server.Url("/") + "\t" + server.Url("/") + "\n");
}

TEST_F(CrawlCliTest, TsvIsWrittenAsFoundSoAKilledRunKeepsIt) {
    const QString output = m_dir.filePath("found.tsv");
    SlowCrawl crawl;
    ASSERT_TRUE(crawl.Start({"-o", output}));
    // Within the flush interval the record reaches the file under its temporary name.
    QString partial;
    std::string content;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (content.empty() && std::chrono::steady_clock::now() < until) {
        QThread::msleep(100);
        const QStringList names = QDir(m_dir.path()).entryList({"found.tsv.*"}, QDir::Files);
        if (names.size() != 1) continue;
        partial = m_dir.filePath(names.front());
        QFile file(partial);
        if (file.open(QIODevice::ReadOnly)) content = file.readAll().toStdString();
    }
    EXPECT_EQ(content, crawl.EarlyLine());
    EXPECT_FALSE(QFile::exists(output));  // replaced only once complete
    crawl.process.kill();
    crawl.process.waitForFinished();
    QFile file(partial);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll().toStdString(), crawl.EarlyLine());
}

TEST_F(CrawlCliTest, WriteErrorsStopTheRunWithTheSystemsReason) {
    TestServer server(kSiteConfig);
    ASSERT_TRUE(server.Start());
    const QString url = Q(server.Url("/"));
    const struct {
        QStringList args;
        bool crawls;  // the fault shows only once there is something to write
        std::string said;
    } cases[] = {
        {{"-o", "/dev/full"}, true, "cannot write /dev/full: No space left on device"},
        {{"--format", "tsv", "-o", "/dev/full"}, true, "No space left on device"},
        {{"--results-file", "/dev/full"},
         true,
         "cannot write results file /dev/full: No space left on device"},
        {{"-o", m_dir.filePath("missing/found.txt")}, false, "No such file or directory"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.said);
        const int before = server.CountRequests("/");
        const RunResult r =
            RunCrawl(QStringList{"--no-proxy", "-d", "1"} + c.args + QStringList{url});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
        EXPECT_EQ(server.CountRequests("/") > before, c.crawls);
    }
    // Standard output on a full disk.
    QProcess process;
    process.setProcessEnvironment(CleanEnvironment());
    process.setStandardOutputFile("/dev/full");
    process.start(TARNWICK_CRAWL_BINARY, {"--no-proxy", "-d", "1", url});
    ASSERT_TRUE(process.waitForStarted());
    const RunResult r = Finish(process);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot write standard output: No space left on device"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), QStringList{});  // no temporary left
}

TEST_F(CrawlCliTest, FailingStartUrlsAreNamedAndNothingFetchedGivesStatusThree) {
    TestServer server(R"({"routes": {
      "/": {"body": "<a href=\"mailto:x@example.org\">x</a>"},
      "/gone.htm": {"status": 404, "body": "<p>gone</p>"}}})");
    ASSERT_TRUE(server.Start());
    const std::string unreachable = "http://127.0.0.1:1/";
    const RunResult none = RunCrawl({"--no-proxy", "--ignore-robots", "--retries", "1",
                                     Q(unreachable), Q(server.Url("/gone.htm"))});
    EXPECT_EQ(none.exitCode, 3);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(
        none.err.find("no page could be fetched from " + unreachable + " (connection refused)"),
        std::string::npos)
        << none.err;
    EXPECT_NE(none.err.find("no page could be fetched from " + server.Url("/gone.htm") +
                            " (HTTP status 404)"),
              std::string::npos)
        << none.err;
    // Obeying robots.txt, a server without an answer is not asked for its pages at all, and
    // every list names why its robots.txt could not be read, not a refusal by its rules.
    const QString skipped = m_dir.filePath("unread.txt"), explained = m_dir.filePath("why.jsonl");
    const RunResult polite =
        RunCrawl({"--no-proxy", "--skipped", skipped, "--explain", explained, Q(unreachable)});
    EXPECT_EQ(polite.exitCode, 3);
    EXPECT_NE(polite.err.find("no page could be fetched from " + unreachable +
                              " (its robots.txt could not be read: connection refused)"),
              std::string::npos)
        << polite.err;
    EXPECT_EQ(ReadAll(skipped),
              unreachable + "\trobots-unreachable (connection refused)\t" + unreachable + "\n");
    EXPECT_NE(ReadAll(explained).find("\"reason\":\"robots-unreachable\""), std::string::npos)
        << ReadAll(explained);
    // One page fetched is a harvest: the failing start is still named.
    const RunResult some =
        RunCrawl({"--no-proxy", "--retries", "1", Q(unreachable), Q(server.Url("/"))});
    EXPECT_EQ(some.exitCode, 0) << some.err;
    EXPECT_EQ(some.out, "x@example.org\n");
    EXPECT_NE(some.err.find(unreachable), std::string::npos) << some.err;
}

TEST_F(CrawlCliTest, SkippedNamesWhyEachDownloadFailedAndRetriesZeroMeansOneAttempt) {
    const std::vector<FailingPage> pages = FailingPages();
    TestServer server(FailingSiteConfig(pages));
    ASSERT_TRUE(server.Start());
    const QString skipped = m_dir.filePath("skipped.txt");
    const RunResult r =
        RunCrawl({"--no-proxy", "-q", "--ignore-robots", "--follow", "all", "--timeout", "1",
                  "--retries", "0", "--skipped", skipped, Q(server.Url("/"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    QFile file(skipped);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<std::string, std::string> reasons;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        const QList<QByteArray> fields = line.split('\t');
        ASSERT_EQ(fields.size(), 3) << line.toStdString();
        reasons[fields[0].toStdString()] = fields[1].toStdString();
        EXPECT_EQ(fields[2].toStdString(), server.Url("/"));
    }
    EXPECT_EQ(reasons.size(), pages.size());
    for (const FailingPage& page : pages)
        EXPECT_EQ(reasons[FailingUrl(server.BaseUrl(), page)], page.Reason) << page.Link;
    for (const char* path : {"/reset.htm", "/busy.htm", "/slow.htm", "/closed.htm"})
        EXPECT_EQ(server.CountRequests(path), 1) << path;

    // A start page that fails is named with the same words.
    const RunResult start = RunCrawl(
        {"--no-proxy", "-q", "--ignore-robots", "--retries", "0", Q(server.Url("/reset.htm"))});
    EXPECT_EQ(start.exitCode, 3);
    EXPECT_NE(start.err.find("no page could be fetched from " + server.Url("/reset.htm") +
                             " (connection reset)"),
              std::string::npos)
        << start.err;
    EXPECT_EQ(server.CountRequests("/reset.htm"), 2);
}

TEST_F(CrawlCliTest, TextFormatKeepsResultsThatDifferAfterASemicolon) {
    TestServer server(R"({"routes": {"/": {"body":
      "<a href=\"/dl;v=2/manual.pdf\">2</a> <a href=\"/dl;v=3/manual.pdf\">3</a> <a href=\"/dl;v=3/manual.pdf\">3</a> <a href=\"mailto:%22a;b%22@example.org\">b</a> <a href=\"mailto:%22a;c%22@example.org\">c</a>"}}})");
    ASSERT_TRUE(server.Start());
    const RunResult r = RunCrawl({"--no-proxy", "-t", "mail,pdf", "-d", "1", Q(server.Url("/"))});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "\"a;b\"@example.org\n\"a;c\"@example.org\n" +
                         server.Url("/dl;v=2/manual.pdf") + "\n" +
                         server.Url("/dl;v=3/manual.pdf") + "\n");
}

TEST_F(CrawlCliTest, PasswordFromEnvironmentOrFileReachesABasicAuthPage) {
    TestServer server(R"({"routes": {"/": {"auth": {"user": "anna", "password": "s3cret"},
      "body": "<a href=\"mailto:inside@example.org\">i</a>"}}})");
    ASSERT_TRUE(server.Start());
    const QString url = Q(server.Url("/"));

    const RunResult without = RunCrawl({"--no-proxy", "--user", "anna", url});
    EXPECT_EQ(without.out, "");

    QProcessEnvironment env = CleanEnvironment();
    env.insert("TARNWICK_PASSWORD", "s3cret");
    const RunResult fromEnv = RunCrawl({"--no-proxy", "--user", "anna", url}, env);
    EXPECT_EQ(fromEnv.exitCode, 0) << fromEnv.err;
    EXPECT_EQ(fromEnv.out, "inside@example.org\n");

    const QString passwordFile = TempFile("pw.txt", "s3cret\nignored\n");
    const RunResult fromFile =
        RunCrawl({"--no-proxy", "--user", "anna", "--password-file", passwordFile, url});
    EXPECT_EQ(fromFile.out, "inside@example.org\n");

    bool sawCredentials = false;
    for (const TestRequest& request : server.Requests())
        if (request.headers.count("authorization") &&
            request.headers.at("authorization") == "Basic YW5uYTpzM2NyZXQ=")
            sawCredentials = true;
    EXPECT_TRUE(sawCredentials);
}

}  // namespace

namespace {

// One start page that meets every rule of the link decision that a command-line run can meet:
// --follow path, --depth 2, --max-queue 10, --exclude logout, --include docs, the types mail, htm
// and zip, a redirect target linked later, a robots.txt that forbids a folder.
const char* kRulesSite = R"({"routes": {
  "/robots.txt": {"body": "User-agent: *\nDisallow: /docs/private\n", "content_type": "text/plain"},
  "/docs/index.htm": {"body": "<a href=\"r.htm\">r</a> <a href=\"q1.htm\">1</a> <a href=\"logout.htm\">x</a> <a href=\"/a.zip\">z</a> <a href=\"a.pdf\">p</a> <a href=\"http://localhost:1/docs/x.htm\">o</a> <a href=\"/other/docs.htm\">o</a> <a href=\"ftp://127.0.0.1/docs/f.zip\">f</a> <a href=\"private/p.htm\">p</a> <a href=\"q2.htm\">2</a> <a href=\"q3.htm\">3</a> <a href=\"q4.htm\">4</a> <a href=\"q5.htm\">5</a> <a href=\"q6.htm\">6</a> <a href=\"q7.htm\">7</a> <a href=\"q8.htm\">8</a> <a href=\"q9.htm\">9</a> <a href=\"q10.htm\">10</a>"},
  "/docs/r.htm": {"redirect": "/docs/final.htm"},
  "/docs/final.htm": {"body": "<p>final</p>"},
  "/docs/q1.htm": {"body": "<a href=\"final.htm\">f</a> <a href=\"deep.htm\">d</a> <a href=\"mailto:info@docs.example\">m</a> <a href=\"mailto:a@docs.example,nodocs\">n</a>"}}})";

}  // namespace

TEST_F(CrawlCliTest, ExplainTellsForEachLinkWhatWasDecidedAndWhy) {
    TestServer server(kRulesSite);
    ASSERT_TRUE(server.Start());
    const QString explain = m_dir.filePath("explain.jsonl");
    const RunResult r = RunCrawl(
        {"--no-proxy", "-q", "-c", "1", "-d", "2", "--follow", "path", "--max-queue", "10", "-t",
         "mail,htm,zip", "--exclude", TempFile("ex.txt", "logout\n"), "--include",
         TempFile("in.txt", "docs\n"), "--explain", explain, Q(server.Url("/docs/index.htm"))});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    QFile file(explain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    std::map<std::string, QJsonObject> byUrl;
    int lines = 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.isEmpty()) continue;
        ++lines;
        const QJsonObject o = QJsonDocument::fromJson(line).object();
        ASSERT_EQ(o.size(), 8) << line.toStdString();
        EXPECT_EQ(o["site"].toString().toStdString(), server.Url("/docs/index.htm"));
        byUrl[o["url"].toString().toStdString()] = o;
    }
    EXPECT_EQ(lines, static_cast<int>(byUrl.size())) << "one line per distinct link";

    struct Expect {
        std::string url;
        bool reported, followed;
        const char* reason;
    };
    const std::string q1 = server.Url("/docs/q1.htm");
    const Expect expected[] = {
        {server.Url("/docs/index.htm"), false, true, ""},
        {server.Url("/docs/q1.htm"), true, true, ""},
        // The redirect's target: fetched under that name already, and news to its first link.
        {server.Url("/docs/final.htm"), true, true, ""},
        {server.Url("/docs/deep.htm"), true, false, "depth"},
        {server.Url("/docs/logout.htm"), false, false, "exclude"},
        {server.Url("/a.zip"), false, false, "include"},
        {server.Url("/docs/a.pdf"), false, false, "type"},
        {"http://localhost:1/docs/x.htm", true, false, "site"},
        {server.Url("/other/docs.htm"), true, false, "path"},
        {"ftp://127.0.0.1/docs/f.zip", false, false, "scheme"},
        {server.Url("/docs/q10.htm"), true, true, ""},  // met while the queue was full
        {server.Url("/docs/private/p.htm"), true, false, "robots"},
        {"info@docs.example", true, false, ""},
        // Each part of a mailto value is a link of its own.
        {"a@docs.example", true, false, ""},
        {"mailto:nodocs", false, false, "invalid"},
    };
    for (const Expect& e : expected) {
        SCOPED_TRACE(e.url);
        ASSERT_TRUE(byUrl.count(e.url));
        const QJsonObject& o = byUrl[e.url];
        EXPECT_EQ(o["reported"].toBool(), e.reported);
        EXPECT_EQ(o["followed"].toBool(), e.followed);
        EXPECT_EQ(o["reason"].toString().toStdString(), e.reason);
    }
    EXPECT_EQ(byUrl[server.Url("/docs/deep.htm")]["from"].toString().toStdString(), q1);
    EXPECT_EQ(byUrl[server.Url("/docs/deep.htm")]["depth"].toInt(), 2);
    EXPECT_EQ(byUrl["info@docs.example"]["type"].toString(), "mail");
    EXPECT_EQ(server.CountRequests("/docs/deep.htm"), 0);
    EXPECT_EQ(server.CountRequests("/docs/q10.htm"), 1);  // deferred, not dropped
}

// Listed addresses in the forms a page may give them: letter case, "%40", a query, an
// international domain as punycode; a subdomain of a listed tree; a tagged address stays.
const char* kObjectorsSite = R"({"routes": {
  "/": {"body": "<a href=\"mailto:Anna@Example.org\">a</a> <a href=\"mailto:anna+news@example.org\">n</a> <a href=\"mailto:x@sub.verein.example\">v</a> <a href=\"mailto:bert@example.org\">b</a> <a href=\"mailto:j%C3%BCrgen%40xn--bcher-kva.example\">j</a> <a href=\"p2.htm\">2</a>"},
  "/p2.htm": {"body": "<a href=\"mailto:ANNA@example.org?subject=hi\">a</a> <a href=\"mailto:cleo@example.org,anna@example.org\">c</a>"}}})";

TEST_F(CrawlCliTest, NeverCollectListIsWrittenNowhere) {
    TestServer server(kObjectorsSite);
    ASSERT_TRUE(server.Start());
    const QString never = TempFile("never.txt",
                                   "anna@example.org\r\n@.verein.example\r\nJ\xC3\x9CRGEN@b\xC3\xBC"
                                   "cher.example\r\n");
    const QString results = m_dir.filePath("results.bin"), journal = m_dir.filePath("journal"),
                  explain = m_dir.filePath("explain.jsonl");
    const QStringList common{"--no-proxy", "-q", "--never-collect", never, Q(server.Url("/"))};
    const RunResult text = RunCrawl(common);
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_EQ(text.out, "anna+news@example.org\nbert@example.org\ncleo@example.org\n");
    EXPECT_NE(text.err.find("left out 3 addresses of the never-collect list"), std::string::npos)
        << text.err;

    // Every other place a run writes an address to.
    const RunResult tsv = RunCrawl(QStringList{"--format", "tsv", "--results-file", results,
                                               "--journal", journal, "--explain", explain} +
                                   common);
    EXPECT_EQ(tsv.exitCode, 0) << tsv.err;
    const RunResult jsonl = RunCrawl(QStringList{"--format", "jsonl"} + common);
    EXPECT_EQ(jsonl.exitCode, 0) << jsonl.err;
    const auto read = [](const QString& name) {
        QFile file(name);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name.toStdString();
        return file.readAll().toLower().toStdString();
    };
    const std::pair<std::string, std::string> written[] = {
        {"tsv", tsv.out},           {"jsonl", jsonl.out},       {"results file", read(results)},
        {"journal", read(journal)}, {"explain", read(explain)},
    };
    for (const auto& [where, content] : written) {
        SCOPED_TRACE(where);
        EXPECT_NE(content.find("bert@example.org"), std::string::npos) << content;
        for (const char* listed : {"anna@", "anna%40", "verein", "rgen"})
            EXPECT_EQ(content.find(listed), std::string::npos) << listed << "\n" << content;
    }

    // A line that is no entry refuses the crawl, naming the line.
    const RunResult bad = RunCrawl(
        {"--never-collect", TempFile("bad.txt", "a@example.org\nanna\n"), Q(server.Url("/"))});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_NE(bad.err.find("line 2"), std::string::npos) << bad.err;
    EXPECT_EQ(server.CountRequests("/"), 3);  // the refused crawl asked nothing
}
