// tarnwick-crawl --contact-pages and --contact-list: the shipped list, the depth of the mode, and
// a list of one's own, against the local test server.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

#include "TestServer.h"

namespace {

// The start page links "about us" (depth 2), which links the contact page (depth 3); the
// products page holds no keyword of the shipped list.
const char* kFirmSite = R"({"routes": {
  "/": {"body": "<a href=/ueber-uns.htm>u</a> <a href=/produkte.htm>p</a> <a href=mailto:start@example.org>m</a>"},
  "/ueber-uns.htm": {"body": "<a href=/kontakt.htm>k</a> <a href=mailto:ueber@example.org>m</a>"},
  "/kontakt.htm": {"body": "<a href=mailto:kontakt@example.org>m</a>"},
  "/produkte.htm": {"body": "<a href=mailto:produkte@example.org>m</a>"}}})";

struct TRun {
    int exitCode = -1;
    std::string out, err;
};

TRun Crawl(const QStringList& Args) {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, QStringList{"--no-proxy", "-q"} + Args);
    TRun run;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        ADD_FAILURE() << "tarnwick-crawl did not end within 60 s";
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}

TEST(ContactPagesTest, FollowsOnlyContactPagesToDepthThreeUnlessToldOtherwise) {
    TestServer server(kFirmSite);
    ASSERT_TRUE(server.Start());
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto list = [&](const QString& name, const QByteArray& text) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return dir.filePath(name);
    };
    const QString produkte = list("produkte.ini", "Produkte\r\n");
    const QString empty = list("empty.ini", "\r\n\r\n");
    const QString start = QString::fromStdString(server.Url("/"));
    struct TCase {
        QStringList args;
        int exitCode;
        std::string out;  // the harvest, sorted
    };
    const TCase cases[] = {
        {{"--contact-pages", start},
         0,
         "kontakt@example.org\nstart@example.org\nueber@example.org\n"},
        {{"--contact-pages", "-d", "2", start}, 0, "start@example.org\nueber@example.org\n"},
        {{"--contact-list", produkte, start}, 0, "produkte@example.org\nstart@example.org\n"},
        {{"--contact-list", empty, start}, 2, ""},
        {{"--contact-list", dir.filePath("missing.ini"), start}, 2, ""},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.args.join(' ').toStdString());
        const TRun run = Crawl(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        EXPECT_EQ(run.out, c.out);
    }
    // A page left for want of a keyword is not fetched, and --explain says why.
    EXPECT_EQ(server.CountRequests("/produkte.htm"), 1);  // by --contact-list produkte.ini only
    const QString explain = dir.filePath("explain.jsonl");
    EXPECT_EQ(Crawl({"--contact-pages", "--explain", explain, start}).exitCode, 0);
    QFile file(explain);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::string line = "{\"url\":\"" + server.Url("/produkte.htm") + "\",\"from\":\"" +
                             server.Url("/") +
                             "\",\"depth\":1,\"type\":\"htm\",\"reported\":false,"
                             "\"followed\":false,\"reason\":\"follow-keywords\",\"site\":\"" +
                             start.toStdString() + "\"}\n";
    EXPECT_TRUE(file.readAll().contains(line.c_str()));
}

}  // namespace
