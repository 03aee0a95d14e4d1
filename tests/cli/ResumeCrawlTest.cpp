// tarnwick-crawl --journal and --resume: a crawl killed at any moment, ended by a signal or by a
// full disk goes on to the whole harvest, fetching no page more than once again.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <map>
#include <string>

#include "TestServer.h"

namespace {

QString Q(const std::string& Text) {
    return QString::fromStdString(Text);
}

// A tree of 40 pages, each answering after 20 ms with an address and a PDF of its own; every
// seventh page sends its head and then holds its body back 50 ms, so kills also land mid-body.
std::string SiteConfig() {
    constexpr int kPages = 40;
    std::string routes;
    for (int p = 0; p < kPages; ++p) {
        std::string body = "<a href=\\\"mailto:u" + std::to_string(p) + "@site.test\\\">m</a>" +
                           " <a href=\\\"/f" + std::to_string(p) + ".pdf\\\">f</a>";
        for (int c = 3 * p + 1; c <= 3 * p + 3 && c < kPages; ++c)
            body += " <a href=\\\"/p" + std::to_string(c) + ".htm\\\">c</a>";
        routes += std::string(routes.empty() ? "" : ", ") + "\"/p" + std::to_string(p) +
                  ".htm\": {\"delay_before_headers\": 0.02, " +
                  (p % 7 == 3 ? "\"delay_after_headers\": 0.05, " : "") + "\"body\": \"" + body +
                  "\"}";
    }
    return "{\"routes\": {" + routes + "}}";
}

struct TRun {
    int Status = -1;
    bool Killed = false;
    std::string Err;
};

class ResumeCliTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_server.Start());
        m_journal = m_dir.filePath("crawl.journal");
        m_output = m_dir.filePath("found.txt");
    }

    int PageRequests() const {
        int pages = 0;
        for (const TestRequest& r : m_server.Requests())
            if (r.path.ends_with(".htm")) ++pages;
        return pages;
    }

    // KillAfter 0: the journal holds the run's beginning, and no page has been asked for.
    // KillAfter > 0: that many more pages are finished in the journal. Counted as finished, not
    // as asked for, so that the downloads a resumption repeats first are over by then.
    bool Reached(int Before, int KillAfter) const {
        QFile journal(m_journal);
        const QByteArray text =
            journal.open(QIODevice::ReadOnly) ? journal.readAll() : QByteArray();
        if (KillAfter > 0) return text.count("\tfetched\n") - Before >= KillAfter;
        return text.contains("\tStartingUrl\t");
    }

    // Runs tarnwick-crawl; with KillAfter >= 0, kills it (SIGKILL, or Signal) once Reached.
    TRun Crawl(const QStringList& Args, int KillAfter = -1, int Signal = SIGKILL) {
        QProcess process;
        QFile journal(m_journal);
        const int before =
            journal.open(QIODevice::ReadOnly) ? journal.readAll().count("\tfetched\n") : 0;
        process.start(TARNWICK_CRAWL_BINARY, QStringList{"-q", "-o", m_output} + Args);
        EXPECT_TRUE(process.waitForStarted());
        TRun run;
        if (KillAfter >= 0) {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
            while (!Reached(before, KillAfter) && std::chrono::steady_clock::now() < until &&
                   !process.waitForFinished(2)) {
            }
            run.Killed = process.state() == QProcess::Running &&
                         ::kill(static_cast<pid_t>(process.processId()), Signal) == 0;
        }
        EXPECT_TRUE(process.waitForFinished(60000));
        run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.Err = process.readAllStandardError().toStdString();
        return run;
    }

    QStringList Start() const {
        return {"--no-proxy", "-t", "mail,pdf",  "-d",      "9",
                "-c",         "4",  "--journal", m_journal, Q(m_server.Url("/p0.htm"))};
    }
    QStringList Resume() const { return {"--resume", m_journal}; }

    std::string Output() const {
        QFile file(m_output);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    }

    // The harvest of an uninterrupted crawl; the server's log starts afresh for what follows.
    std::string Uninterrupted() {
        EXPECT_EQ(Crawl(Start()).Status, 0);
        m_before = PageRequests();
        return Output();
    }

    // How often each page was asked for since Uninterrupted.
    std::map<std::string, int> FetchesSince() const {
        std::map<std::string, int> counts;
        const std::vector<TestRequest> all = m_server.Requests();
        int pages = 0;
        for (const TestRequest& r : all)
            if (r.path.ends_with(".htm") && ++pages > m_before) ++counts[r.path];
        return counts;
    }

    QTemporaryDir m_dir;
    TestServer m_server{SiteConfig()};
    QString m_journal, m_output;
    int m_before = 0;
};

TEST_F(ResumeCliTest, KilledAtAnyMomentItResumesToTheWholeHarvest) {
    const std::string whole = Uninterrupted();
    ASSERT_NE(whole.find("u39@site.test"), std::string::npos);
    ASSERT_TRUE(QFile::remove(m_journal));
    // Killed before the first page, then each resumption again amid the pages (mid-body
    // included). A resumption first fetches again what was downloading when it was killed; the
    // next kill comes some pages later, so no page is caught twice.
    const TRun first = Crawl(Start(), 0);
    EXPECT_TRUE(first.Killed);
    int done = 0;
    for (const int kill : {12, 14, 12}) {
        const TRun r = Crawl(Resume(), kill);
        if (!r.Killed) {
            EXPECT_EQ(r.Status, 0) << r.Err;
            done = 1;
            break;
        }
    }
    if (!done) {
        const TRun last = Crawl(Resume());
        EXPECT_EQ(last.Status, 0) << last.Err;
    }
    EXPECT_EQ(Output(), whole);
    // What the kills left half written went with the resumption that wrote the harvest.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files).join(' ').toStdString(),
              "crawl.journal found.txt");
    const std::map<std::string, int> fetches = FetchesSince();
    EXPECT_EQ(fetches.size(), 40u);
    for (const auto& [path, count] : fetches) EXPECT_LE(count, 2) << path;
    // Its crawl has ended: nothing more to resume.
    const TRun again = Crawl(Resume());
    EXPECT_EQ(again.Status, 1);
    EXPECT_NE(again.Err.find("has ended; there is nothing to resume"), std::string::npos);
}

TEST_F(ResumeCliTest, AListGoesOnAtTheStartUrlWhereItStopped) {
    QFile list(m_dir.filePath("starts.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    for (const char* page : {"/p1.htm", "/p2.htm", "/p3.htm"})
        list.write((m_server.Url(page) + "\n").c_str());
    list.close();
    const QStringList args{"--no-proxy", "-t",      "mail",   "-d",           "2",
                           "--journal",  m_journal, "--list", list.fileName()};
    ASSERT_EQ(Crawl(args).Status, 0);
    const std::string whole = Output();
    m_before = PageRequests();
    ASSERT_TRUE(QFile::remove(m_journal));
    // Each start URL fetches its page and three below it: killed amid the second one.
    EXPECT_TRUE(Crawl(args, 6).Killed);
    const TRun resumed = Crawl(Resume());
    EXPECT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_EQ(Output(), whole);
    // The first start URL's pages were done before the kill and are not fetched again.
    const std::map<std::string, int> fetches = FetchesSince();
    for (const char* page : {"/p1.htm", "/p4.htm", "/p5.htm", "/p6.htm"})
        EXPECT_EQ(fetches.at(page), 1) << page;
    EXPECT_EQ(fetches.at("/p12.htm"), 1);
}

TEST_F(ResumeCliTest, SitesAtOnceResumeToTheHarvestOfAnUninterruptedCrawl) {
    QFile list(m_dir.filePath("starts.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    for (const char* page : {"/p1.htm", "/p2.htm", "/p3.htm", "/p4.htm"})
        list.write((m_server.Url(page) + "\n").c_str());
    list.close();
    const QStringList args{"--no-proxy", "-t",      "mail",   "-d",           "2", "--sites", "2",
                           "--journal",  m_journal, "--list", list.fileName()};
    ASSERT_EQ(Crawl(args).Status, 0);
    const std::string whole = Output();
    m_before = PageRequests();
    // Each crawler keeps a journal of its own.
    for (const QString& file : {m_journal, m_journal + ".1"}) ASSERT_TRUE(QFile::remove(file));
    // Killed once the first crawler has finished three pages: both sites are cut off.
    EXPECT_TRUE(Crawl(args, 3).Killed);
    const TRun resumed = Crawl(Resume());
    EXPECT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_EQ(Output(), whole);
    const std::map<std::string, int> fetches = FetchesSince();
    // Each page as often as uninterrupted (/p4.htm is a start URL and a page of the first),
    // and at most once more.
    EXPECT_EQ(fetches.size(), 15u);
    for (const auto& [path, count] : fetches) {
        const int uninterrupted = path == "/p4.htm" ? 2 : 1;
        EXPECT_GE(count, uninterrupted) << path;
        EXPECT_LE(count, uninterrupted + 1) << path;
    }
    const TRun again = Crawl(Resume());
    EXPECT_EQ(again.Status, 1);
    EXPECT_NE(again.Err.find("has ended; there is nothing to resume"), std::string::npos);
}

TEST_F(ResumeCliTest, ASignalLeavesAResumableJournalAndSaysHow) {
    const std::string whole = Uninterrupted();
    for (const auto& [signal, status] : {std::pair{SIGTERM, 143}, std::pair{SIGHUP, 129}}) {
        SCOPED_TRACE(signal);
        ASSERT_TRUE(QFile::remove(m_journal));
        const TRun stopped = Crawl(Start(), 10, signal);
        ASSERT_TRUE(stopped.Killed);
        EXPECT_EQ(stopped.Status, status);
        EXPECT_NE(stopped.Err.find("continue it with: tarnwick-crawl --resume " +
                                   m_journal.toStdString()),
                  std::string::npos)
            << stopped.Err;
        const TRun resumed = Crawl(Resume());
        EXPECT_EQ(resumed.Status, 0) << resumed.Err;
        EXPECT_EQ(Output(), whole);
    }
}

TEST_F(ResumeCliTest, AFullDiskStopsTheCrawlAndTheJournalStaysResumable) {
    const std::string whole = Uninterrupted();
    // A file size limit stands in for a full disk; the shell passes the ignored signal on, so
    // the write fails instead of killing the process.
    QProcess limited;
    QStringList args{"-c",
                     "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$@\"",
                     TARNWICK_CRAWL_BINARY,
                     "-q",
                     "-o",
                     m_output};
    limited.start("/bin/sh", args + Start());
    ASSERT_TRUE(limited.waitForFinished(60000));
    const std::string err = limited.readAllStandardError().toStdString();
    EXPECT_EQ(limited.exitCode(), 1) << err;
    EXPECT_NE(err.find("cannot write journal " + m_journal.toStdString() + ": File too large"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("--resume"), std::string::npos);
    const TRun resumed = Crawl(Resume());
    EXPECT_EQ(resumed.Status, 0) << resumed.Err;
    EXPECT_EQ(Output(), whole);
}

TEST_F(ResumeCliTest, ResumeRefusesWhatItCannotHonour) {
    QFile garbage(m_dir.filePath("garbage"));
    ASSERT_TRUE(garbage.open(QIODevice::WriteOnly));
    garbage.write("not a journal\n");
    garbage.close();
    const struct {
        QStringList Args;
        int Status;
        const char* Said;
    } cases[] = {
        {{"--resume", m_journal, "-d", "2"}, 2, "option --depth cannot be given with --resume"},
        {{"--resume", m_journal, "http://x.test/"}, 2, "a start URL cannot be given with --resume"},
        {{"--resume", m_journal, "--journal", "x"}, 2, "--journal cannot be given with it"},
        {{"--resume", m_dir.filePath("missing")}, 1, "cannot read journal"},
        {{"--resume", garbage.fileName()}, 1, "is not a Tarnwick journal"},
        {{"--journal", m_dir.filePath("no/such/folder/j"), Q(m_server.Url("/p0.htm"))},
         1,
         "cannot create journal"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        const TRun r = Crawl(c.Args);
        EXPECT_EQ(r.Status, c.Status);
        EXPECT_NE(r.Err.find(c.Said), std::string::npos) << r.Err;
    }
}

}  // namespace
