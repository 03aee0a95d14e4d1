// tarnwick-crawl's files never damage or drop a harvest: outputs go through symbolic links and
// into devices without replacing them, two outputs never share a file, a failing output leaves
// the others written, and a journal is one crawl's alone.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>

#include "FileText.h"
#include "TestServer.h"

namespace {

QString Q(const std::string& Text) {
    return QString::fromStdString(Text);
}

struct TRun {
    int Status = -1;
    std::string Err;
};

// Runs tarnwick-crawl to its end; StdoutFile, when given, receives its standard output
// (appended to).
TRun RunCrawl(const QStringList& Args, const QString& StdoutFile = {}) {
    QProcess process;
    if (!StdoutFile.isEmpty()) process.setStandardOutputFile(StdoutFile, QIODevice::Append);
    process.start(TARNWICK_CRAWL_BINARY, Args);
    EXPECT_TRUE(process.waitForStarted());
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardError().toStdString()};
}

mode_t TypeOf(const QString& Path) {
    struct stat info {};
    return lstat(QFile::encodeName(Path).constData(), &info) == 0 ? info.st_mode & S_IFMT : 0;
}

const char* kHarvest = "a@example.org\nb@example.org\n";

class OutputSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_server.Start());
    }
    QString File(const QString& Name) const { return m_dir.filePath(Name); }
    QStringList Crawl(const QStringList& Args) const {
        return QStringList{"-q", "--no-proxy", "-d", "1"} + Args +
               QStringList{Q(m_server.Url("/"))};
    }

    QTemporaryDir m_dir;
    TestServer m_server{R"({"routes": {"/": {"body":
        "<a href=\"mailto:b@example.org\">b</a> <a href=\"mailto:a@example.org\">a</a>"}}})"};
};

TEST_F(OutputSafetyTest, OutputsGoThroughLinksAndIntoDevicesWithoutReplacingThem) {
    QFile::link("target.txt", File("latest"));
    QFile::link("new.txt", File("dangling"));
    ASSERT_TRUE(QDir(m_dir.path()).mkdir("sub"));
    QFile::link("../latest", File("sub/two"));
    ASSERT_EQ(mkfifo(QFile::encodeName(File("fifo")).constData(), 0600), 0);
    const int fifoReader = open(QFile::encodeName(File("fifo")).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(fifoReader, 0);
    const struct {
        QString Output;
        QString Written;  // the file that must hold the harvest, if any
        mode_t Kept;      // the kind of file that Output must stay
    } cases[] = {
        {File("latest"), File("target.txt"), S_IFLNK},
        {File("dangling"), File("new.txt"), S_IFLNK},
        {File("sub/two"), File("target.txt"), S_IFLNK},  // relative, to a link, from a folder
        {File("fifo"), {}, S_IFIFO},
        {"/dev/null", {}, S_IFCHR},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Output.toStdString());
        WriteAll(File("target.txt"), "old\n");
        const TRun r = RunCrawl(Crawl({"-o", c.Output}));
        EXPECT_EQ(r.Status, 0) << r.Err;
        if (!c.Written.isEmpty()) {
            EXPECT_EQ(ReadAll(c.Written), kHarvest);
        }
        EXPECT_EQ(TypeOf(c.Output), c.Kept);
    }
    EXPECT_EQ(TypeOf(File("latest")), static_cast<mode_t>(S_IFLNK));
    char piped[256] = {};
    EXPECT_EQ(read(fifoReader, piped, sizeof piped - 1), static_cast<ssize_t>(strlen(kHarvest)));
    EXPECT_STREQ(piped, kHarvest);
    close(fifoReader);
    // Nothing is left beside the files but what the cases made.
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::System).join(' '),
              "dangling fifo latest new.txt target.txt");

    // -o /dev/stdout writes into standard output as it is: here a file opened for appending.
    WriteAll(File("stdout.txt"), "kept\n");
    const TRun r = RunCrawl(Crawl({"-o", "/dev/stdout"}), File("stdout.txt"));
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(ReadAll(File("stdout.txt")), std::string("kept\n") + kHarvest);
    EXPECT_EQ(TypeOf("/dev/stdout"), static_cast<mode_t>(S_IFLNK));
}

TEST_F(OutputSafetyTest, TwoOutputsNamingOneFileAreRefusedBeforeCrawling) {
    WriteAll(File("out.txt"), "keep\n");
    QFile::link("out.txt", File("link"));
    ASSERT_EQ(::link(QFile::encodeName(File("out.txt")).constData(),
                     QFile::encodeName(File("hard")).constData()),
              0);
    const struct {
        QStringList Args;
        QString Stdout;  // a file for standard output
        int Status;
        std::string Said;
    } cases[] = {
        {{"-o", File("new.txt"), "--results-file", m_dir.path() + "/./new.txt"},
         {},
         2,
         "-o and --results-file name one file"},
        {{"-o", File("out.txt"), "--skipped", File("link")},
         {},
         2,
         "-o and --skipped name one file"},
        {{"--explain", File("hard"), "--journal", File("out.txt")},
         {},
         2,
         "--explain and --journal name one file"},
        {{"--results-file", File("out.txt")},
         File("out.txt"),
         2,
         "standard output and --results-file name one file"},
        {{"-o", File("dangling"), "--skipped", File("future.txt")},
         {},
         2,
         "-o and --skipped name one file"},
        // Devices are written as they are, so they may be shared.
        {{"--skipped", "/dev/null", "--explain", "/dev/null", "-o", "/dev/null"}, {}, 0, ""},
    };
    QFile::link("future.txt", File("dangling"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        const int before = m_server.CountRequests("/");
        const TRun r = RunCrawl(Crawl(c.Args), c.Stdout);
        EXPECT_EQ(r.Status, c.Status) << r.Err;
        EXPECT_NE(r.Err.find(c.Said), std::string::npos) << r.Err;
        EXPECT_EQ(m_server.CountRequests("/") - before, c.Status == 0 ? 1 : 0);
        EXPECT_EQ(ReadAll(File("out.txt")), "keep\n");
    }
    EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files | QDir::System).join(' '),
              "dangling hard link out.txt");
}

TEST_F(OutputSafetyTest, AFailingOutputLeavesEveryOtherWrittenAndIsNamed) {
    const struct {
        QStringList Args;
        std::string Said;
        QStringList Written;
    } cases[] = {
        {{"-o", File("out.txt"), "--results-file", "/dev/full", "--skipped", File("skipped.txt"),
          "--explain", File("explain.jsonl")},
         "cannot write results file /dev/full: No space left on device",
         {"explain.jsonl", "out.txt", "skipped.txt"}},
        {{"-o", "/dev/full", "--skipped", File("skipped.txt"), "--explain", File("explain.jsonl")},
         "cannot write /dev/full: No space left on device",
         {"explain.jsonl", "skipped.txt"}},
        {{"--format", "tsv", "-o", "/dev/full", "--explain", File("explain.jsonl")},
         "cannot write /dev/full: No space left on device",
         {"explain.jsonl"}},
        {{"-o", File("out.txt"), "--explain", "/dev/full"},
         "cannot write /dev/full: No space left on device",
         {"out.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Said);
        for (const QString& name : QDir(m_dir.path()).entryList(QDir::Files))
            QFile::remove(File(name));
        const TRun r = RunCrawl(Crawl(c.Args));
        EXPECT_EQ(r.Status, 1);
        // Said once, and nothing else said.
        EXPECT_EQ(r.Err, "tarnwick-crawl: " + c.Said + "\n");
        EXPECT_EQ(QDir(m_dir.path()).entryList(QDir::Files), c.Written);
        if (c.Written.contains("out.txt")) {
            EXPECT_EQ(ReadAll(File("out.txt")), kHarvest);
        }
        if (c.Written.contains("explain.jsonl")) {
            EXPECT_NE(ReadAll(File("explain.jsonl")).find("a@example.org"), std::string::npos);
        }
    }
}

// A crawl whose second page answers after a while, so that another process can meet it.
class JournalLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        ASSERT_TRUE(m_server.Start());
    }
    QStringList Args(const QString& Journal, const QString& Output) const {
        return {"-q", "--no-proxy", "--journal", Journal, "-o", Output, Q(m_server.Url("/"))};
    }
    // Starts a crawl and returns once it waits for the slow page.
    bool StartSlow(QProcess& Process, const QStringList& Arguments) {
        const int before = m_server.CountRequests("/slow.htm");
        Process.start(TARNWICK_CRAWL_BINARY, Arguments);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (m_server.CountRequests("/slow.htm") == before &&
               std::chrono::steady_clock::now() < until)
            QThread::msleep(20);
        return m_server.CountRequests("/slow.htm") > before;
    }

    QTemporaryDir m_dir;
    TestServer m_server{R"({"routes": {
      "/": {"body": "<a href=\"mailto:early@example.org\">e</a> <a href=\"/slow.htm\">s</a>"},
      "/slow.htm": {"delay_before_headers": 1.5, "body": "<a href=\"mailto:late@example.org\">l</a>"}}})"};
};

TEST_F(JournalLockTest, ALiveJournalIsLeftToItsCrawlAndAnUnfinishedOneIsNotReplaced) {
    const QString journal = m_dir.filePath("j");
    const QString output = m_dir.filePath("out.txt");
    QProcess first;
    ASSERT_TRUE(StartSlow(first, Args(journal, output)));
    const std::string written = ReadAll(journal);
    const QStringList temps = QDir(m_dir.path()).entryList({"out.txt.*"}, QDir::Files);
    ASSERT_EQ(temps.size(), 1);
    const QString other = m_dir.filePath("other.txt");
    for (const QStringList& second :
         {QStringList{"-q", "--resume", journal, "-o", other}, Args(journal, other)}) {
        SCOPED_TRACE(second.join(' ').toStdString());
        const TRun r = RunCrawl(second);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err, "tarnwick-crawl: journal " + journal.toStdString() +
                             " is in use by another process\n");
        EXPECT_EQ(ReadAll(journal).substr(0, written.size()), written);
        EXPECT_EQ(QDir(m_dir.path()).entryList({"out.txt.*"}, QDir::Files), temps);
        EXPECT_FALSE(QFile::exists(other));
    }
    EXPECT_EQ(m_server.CountRequests("/"), 1);
    ASSERT_TRUE(first.waitForFinished(30000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(ReadAll(output), "early@example.org\nlate@example.org\n");

    // A finished journal may be replaced; one that can still be continued may not.
    const TRun again = RunCrawl(Args(journal, output));
    EXPECT_EQ(again.Status, 0) << again.Err;
    QProcess killed;
    ASSERT_TRUE(StartSlow(killed, Args(journal, output)));
    killed.kill();
    ASSERT_TRUE(killed.waitForFinished(10000));
    const std::string unfinished = ReadAll(journal);
    const TRun refused = RunCrawl(Args(journal, output));
    EXPECT_EQ(refused.Status, 2);
    EXPECT_NE(
        refused.Err.find("continue it with: tarnwick-crawl --resume " + journal.toStdString()),
        std::string::npos)
        << refused.Err;
    EXPECT_EQ(ReadAll(journal), unfinished);
    EXPECT_EQ(m_server.CountRequests("/"), 3);
}

}  // namespace
