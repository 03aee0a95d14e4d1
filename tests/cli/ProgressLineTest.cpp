// The progress line of tarnwick-crawl tells the body bytes received and what they held decoded.

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include <string>

#include "TestServer.h"

namespace {

double Bytes(const QString& Number, const QString& Unit) {
    const QStringList units{"B", "KiB", "MiB", "GiB"};
    double value = Number.toDouble();
    for (int i = 0; i < units.indexOf(Unit); ++i) value *= 1024;
    return value;
}

TEST(ProgressLineTest, ShowsTheBytesReceivedAndDecoded) {
    // The slow page ends the run more than a second in, so that a line is written after the
    // compressed page has arrived (without a terminal, at most one line a second).
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=/big>b</a> <a href=/slow>s</a>"},
        "/big": {"body": "<p>the same words again</p>", "body_repeat": 2000, "encode": "gzip"},
        "/slow": {"body": "<p>slow</p>", "delay_before_headers": 1.3}}})");
    ASSERT_TRUE(server.Start());
    QProcess crawl;
    crawl.start(TARNWICK_CRAWL_BINARY,
                {"--no-proxy", "--progress", "-c", "1", QString::fromStdString(server.Url("/"))});
    ASSERT_TRUE(crawl.waitForFinished(60000));
    EXPECT_EQ(crawl.exitCode(), 0);
    const QString err = QString::fromUtf8(crawl.readAllStandardError());
    const QRegularExpression bytes(
        R"(received ([0-9.]+) (B|KiB|MiB|GiB)  decoded ([0-9.]+) (B|KiB|MiB|GiB))");
    QRegularExpressionMatch last;
    for (auto it = bytes.globalMatch(err); it.hasNext();) last = it.next();
    ASSERT_TRUE(last.hasMatch()) << err.toStdString();
    const double received = Bytes(last.captured(1), last.captured(2));
    const double decoded = Bytes(last.captured(3), last.captured(4));
    EXPECT_GE(decoded, 27.0 * 2000);
    EXPECT_GT(decoded, 5 * received) << err.toStdString();
}

}  // namespace
