// tarnwick-crawl --sites: several start URLs of a list crawled at once give the harvest of the
// same list crawled one site after the other; a failing site ends alone.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "FileText.h"
#include "TestServer.h"

namespace {

struct Result {
    int exitCode = -1;
    std::string out, err;
};

Result Crawl(const QStringList& Args) {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, QStringList{"--no-proxy", "--retries", "1"} + Args);
    EXPECT_TRUE(process.waitForFinished(120000));
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

std::vector<std::string> SortedLines(const std::string& Text) {
    std::vector<std::string> lines;
    std::istringstream in(Text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// Three sites of one server, each a folder whose start page links one page of its own; every
// site names an address of its own and one they share.
const char* kSites = R"({"routes": {
  "/a/": {"body": "<a href=\"mailto:a0@example.org\">m</a> <a href=\"1.htm\">1</a>"},
  "/a/1.htm": {"body": "<a href=\"mailto:a1@example.org\">m</a> <a href=\"mailto:all@example.org\">m</a>"},
  "/b/": {"body": "<a href=\"mailto:b0@example.org\">m</a> <a href=\"1.htm\">1</a>"},
  "/b/1.htm": {"body": "<a href=\"mailto:b1@example.org\">m</a> <a href=\"mailto:all@example.org\">m</a>"},
  "/c/": {"body": "<a href=\"mailto:c0@example.org\">m</a> <a href=\"mailto:all@example.org\">m</a>"}}})";

TEST(SitesCrawlTest, SitesAtOnceHarvestAsOneAfterTheOtherAndAFailingSiteEndsAlone) {
    TestServer server(kSites);
    ASSERT_TRUE(server.Start());
    QTemporaryDir dir;
    const std::string refused = "http://127.0.0.1:1/";
    // A repeated start URL and an empty line (the URL before it again) run once.
    const std::string list = server.Url("/a/") + "\n" + refused + "\n" + server.Url("/b/") + "\n" +
                             server.Url("/a/") + "\n\n" + server.Url("/c/") + "\n";
    const QString listFile = dir.filePath("list.txt");
    WriteAll(listFile, list);

    std::vector<Result> tsv, text;
    for (const char* sites : {"3", "1"}) {
        SCOPED_TRACE(sites);
        const QString skipped = dir.filePath(QString("skipped%1.txt").arg(sites));
        const int robotsBefore = server.CountRequests("/robots.txt");
        tsv.push_back(
            Crawl({"--sites", sites, "--format", "tsv", "--skipped", skipped, "-l", listFile}));
        // One robots.txt for the whole command, however many sites share the server.
        EXPECT_EQ(server.CountRequests("/robots.txt"), robotsBefore + 1);
        EXPECT_EQ(tsv.back().exitCode, 0) << tsv.back().err;
        EXPECT_NE(tsv.back().err.find("3 sites done, 1 failed (its robots.txt could not be read: "
                                      "connection refused: 1), 2 repeated start URLs left out"),
                  std::string::npos)
            << tsv.back().err;
        EXPECT_EQ(ReadAll(skipped),
                  refused + "\trobots-unreachable (connection refused)\t" + refused + "\n");
        text.push_back(Crawl({"--sites", sites, "-l", listFile}));
        EXPECT_EQ(text.back().exitCode, 0) << text.back().err;
    }
    EXPECT_EQ(SortedLines(tsv[0].out), SortedLines(tsv[1].out));
    EXPECT_EQ(text[0].out, text[1].out);
    EXPECT_EQ(text[0].out,
              "a0@example.org\na1@example.org\nall@example.org\nb0@example.org\nb1@example.org\n"
              "c0@example.org\n");
    // Each record names the start URL of its site, also for an address every site found.
    const std::vector<std::string> lines = SortedLines(tsv[0].out);
    for (const std::string site : {"/a/", "/b/"})
        EXPECT_TRUE(std::count(
            lines.begin(), lines.end(),
            "mail\tall@example.org\t" + server.Url(site + "1.htm") + "\t" + server.Url(site)))
            << tsv[0].out;
    EXPECT_EQ(lines.size(), 8u);
}

TEST(SitesCrawlTest, MoreDownloadsThanAThousandOrOneResultsFileAreRefused) {
    const struct {
        QStringList args;
        std::string said;
    } cases[] = {
        {{"--sites", "167"}, "--sites times --concurrent (1002 downloads at once)"},
        {{"--sites", "11", "-c", "100"}, "(1100 downloads at once) must be at most 1000"},
        {{"--sites", "2", "--results-file", "r"}, "cannot be given with --sites above 1"},
        {{"--sites", "0"}, "must be at least 1"},
    };
    for (const auto& c : cases) {
        const Result r = Crawl(c.args + QStringList{"http://127.0.0.1:1/"});
        EXPECT_EQ(r.exitCode, 2) << r.err;
        EXPECT_NE(r.err.find(c.said), std::string::npos) << r.err;
    }
}

}  // namespace
