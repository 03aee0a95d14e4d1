// tarnwick-crawl on pages with text outside ASCII: addresses decoded, the same file once, UTF-8
// JSON, and an international host name.

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>

#include <string>

#include "TestServer.h"
#include "UmlautSite.h"
#include "UrlEncoding.h"

namespace {

std::string Crawl(const QStringList& Args) {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, QStringList{"--no-proxy"} + Args);
    EXPECT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    return process.readAllStandardOutput().toStdString();
}

class UmlautCrawlTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_server.Start()); }
    std::string Url(const std::string& Path) { return m_server.Url(Path); }
    TestServer m_server{UmlautSiteConfig()};
};

TEST_F(UmlautCrawlTest, TextAndTsvCarryTheCharactersAndEachFileOnce) {
    const QString start = QString::fromStdString(Url("/"));
    const std::string pdf = Url("/pr%C3%BCfung.pdf"), books = Url("/b%C3%BCcher.pdf");
    // The Latin-1 page is read as Latin-1: its address comes out as UTF-8, and the address it
    // shares with the UTF-8 page is one address, reported once.
    EXPECT_EQ(Crawl({"-t", "mail,pdf", start}),
              "anna@m\xC3\xBCller.test\n" + books + "\n" + pdf +
                  "\nj\xC3\xBCrgen@m\xC3\xBCller.test\nm\xC3\xBCller@latin.test\n");
    const std::string site = "\t" + Url("/") + "\n";
    EXPECT_EQ(Crawl({"-t", "mail,pdf", "--format", "tsv", start}),
              "mail\tj\xC3\xBCrgen@m\xC3\xBCller.test\t" + Url("/") + site +
                  "mail\tanna@m\xC3\xBCller.test\t" + Url("/") + site + "pdf\t" + pdf + "\t" +
                  Url("/") + site + "mail\tm\xC3\xBCller@latin.test\t" + Url("/latin.htm") + site +
                  "pdf\t" + books + "\t" + Url("/latin.htm") + site);
}

TEST_F(UmlautCrawlTest, JsonlIsUtf8TextOfEveryPage) {
    const std::string out =
        Crawl({"-t", "mail,pdf", "--format", "jsonl", QString::fromStdString(Url("/"))});
    EXPECT_TRUE(IsUtf8(out));
    QStringList urls;
    for (const QByteArray& line : QByteArray::fromStdString(out).split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        urls << doc.object().value("url").toString();
    }
    EXPECT_EQ(urls, (QStringList{QString::fromUtf8("j\xC3\xBCrgen@m\xC3\xBCller.test"),
                                 QString::fromUtf8("anna@m\xC3\xBCller.test"),
                                 QString::fromStdString(Url("/pr%C3%BCfung.pdf")),
                                 QString::fromUtf8("m\xC3\xBCller@latin.test"),
                                 QString::fromStdString(Url("/b%C3%BCcher.pdf"))}));
}

TEST(UmlautKeywordTest, AKeywordFileInLatin1FindsPercentEncodedUrls) {
    TestServer server(
        R"({"routes": {"/": {"body": "<a href=\"/k\u00c3\u00a4se/a.pdf\">k</a> <a href=\"/other/b.pdf\">o</a>"}}})");
    ASSERT_TRUE(server.Start());
    QTemporaryDir dir;
    QFile keywords(dir.filePath("include.txt"));
    ASSERT_TRUE(keywords.open(QIODevice::WriteOnly));
    keywords.write("K\xE4se\r\n");
    keywords.close();
    EXPECT_EQ(Crawl({"-t", "pdf", "--include", keywords.fileName(),
                     QString::fromStdString(server.Url("/"))}),
              server.Url("/k%C3%A4se/a.pdf") + "\n");
}

TEST(UmlautHostTest, AnInternationalHostAndPathAreCrawledUnderOneName) {
    // The start path is typed raw; the page links back to it encoded, to a page inside it and to
    // one outside it.
    TestServer server(
        R"({"routes": {"/k%C3%A4se/": {"body": "<a href=\"mailto:info@m\u00c3\u00bcller.localhost\">i</a> <a href=\"/k%C3%A4se/\">s</a> <a href=\"k\u00c3\u00a4se.zip\">k</a> <a href=\"/other/\">o</a> <a href=\"sub.htm\">u</a>"},
        "/k%C3%A4se/sub.htm": {"body": "<a href=\"mailto:sub@example.test\">u</a>"},
        "/other/": {"body": "<a href=\"mailto:other@example.test\">o</a>"}}})");
    ASSERT_TRUE(server.Start());
    const std::string host = "m\xC3\xBCller.localhost:" + std::to_string(server.Port());
    const std::string out = Crawl({"-t", "mail,zip", "--follow", "path",
                                   QString::fromUtf8("http://" + host + "/k\xC3\xA4se/")});
    EXPECT_EQ(out,
              "http://" + host +
                  "/k%C3%A4se/k%C3%A4se.zip\ninfo@m\xC3\xBCller.localhost\nsub@example.test\n");
    EXPECT_EQ(server.CountRequests("/k%C3%A4se/"), 1);
    EXPECT_EQ(server.CountRequests("/other/"), 0);
    // libcurl asked for the name in its ASCII form.
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_EQ(server.Requests().back().headers.at("host"),
              "xn--mller-kva.localhost:" + std::to_string(server.Port()));
}

}  // namespace
