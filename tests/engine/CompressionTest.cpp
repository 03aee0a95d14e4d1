// Compressed answers: asked for, decoded, limited as decoded, and the decoded bodies of all
// downloads at once bounded by the body budget.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CurlSupport.h"
#include "EventLoopWait.h"
#include "FetchLimitsGuard.h"
#include "FileText.h"
#include "TBodyBudget.h"
#include "THttpGet.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

const std::string kSite = TARNWICK_TEST_DATA "/sites/compressed/";

void Start(THttpGet& slot, const std::string& url) {
    slot.SlotState = slotIdle;
    slot.UrlParts.Crack(url);
    slot.FetchMode = fetchPage;
    slot.Connection.ProxyType = PROXY_DIRECT;
    slot.StartFetch();
}

bool Finished(const THttpGet& slot, int ms = 20000) {
    return WaitFor([&] { return slot.SlotState == slotFinished; }, ms);
}

TEST(CompressionTest, EveryCodingIsAskedForAndDecoded) {
    const std::string page = ReadAll(QString::fromStdString(kSite + "index.html"));
    ASSERT_FALSE(page.empty());
    // brotli and zstd bodies were made once by their tools; gzip and deflate by the server.
    TestServer server(R"({"routes": {
        "/br": {"body_file": ")" +
                      kSite + R"(index.html.br", "headers": [["Content-Encoding", "br"]]},
        "/zstd": {"body_file": ")" +
                      kSite + R"(zstd.htm.zst", "headers": [["Content-Encoding", "zstd"]]},
        "/gzip": {"body_file": ")" +
                      kSite + R"(index.html", "encode": "gzip"},
        "/deflate": {"body_file": ")" +
                      kSite + R"(index.html", "encode": "deflate"},
        "/bad": {"body": "not gzip at all", "headers": [["Content-Encoding", "gzip"]]},
        "/plain": {"body_file": ")" +
                      kSite + R"(index.html"}}})");
    ASSERT_TRUE(server.Start());
    const struct {
        std::string path, body;
        bool compressed;
    } cases[] = {{"/br", page, true},
                 {"/zstd", ReadAll(QString::fromStdString(kSite + "zstd.htm")), true},
                 {"/gzip", page, true},
                 {"/deflate", page, true},
                 {"/plain", page, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        THttpGet slot;
        Start(slot, server.Url(c.path));
        ASSERT_TRUE(Finished(slot));
        EXPECT_TRUE(slot.Succeeded);
        EXPECT_EQ(slot.Body, c.body);
        EXPECT_EQ(slot.Transferred.Decoded, c.body.size());
        if (c.compressed)
            EXPECT_LT(slot.Transferred.Received * 5, slot.Transferred.Decoded);
        else
            EXPECT_EQ(slot.Transferred.Received, slot.Transferred.Decoded);
    }
    for (const TestRequest& r : server.Requests())
        EXPECT_EQ(r.headers.at("accept-encoding"), "gzip, deflate, br, zstd");

    // A body that does not decode fails as a bad answer, not as a page of 0 links.
    THttpGet bad;
    Start(bad, server.Url("/bad"));
    ASSERT_TRUE(Finished(bad));
    EXPECT_FALSE(bad.Succeeded);
    EXPECT_EQ(bad.Failure, TFetchFailure::BadAnswer);
}

TEST(CompressionTest, AGzipBombStopsAtTheLimitOfTheDecodedPage) {
    FetchLimitsGuard guard;
    FetchLimits().MaxBodyBytes = 1024 * 1024;
    // 64 MiB of blanks in about 64 KiB of gzip.
    TestServer server(R"({"routes": {"/bomb": {"body": "                ",
        "body_repeat": 4194304, "encode": "gzip"}}})");
    ASSERT_TRUE(server.Start());
    THttpGet slot;
    Start(slot, server.Url("/bomb"));
    ASSERT_TRUE(Finished(slot, 60000));
    EXPECT_FALSE(slot.Succeeded);
    EXPECT_EQ(slot.Failure, TFetchFailure::TooLarge);
    EXPECT_TRUE(slot.Body.empty());
    // libcurl hands over at most one inflated buffer beyond the limit before the abort.
    EXPECT_LE(slot.Transferred.Decoded, FetchLimits().MaxBodyBytes + 64 * 1024);
    EXPECT_LT(slot.Transferred.Received, 256 * 1024u);
}

TEST(CompressionTest, LargeBodiesWaitForAPlaceOfTheBudget) {
    FetchLimitsGuard guard;
    FetchLimits().SmallBodyBytes = 16 * 1024;
    FetchLimits().MaxBodyBytes = 256 * 1024;
    FetchLimits().BodyBudgetBytes = 256 * 1024;  // one large place
    TBodyBudget::Engine().ResetPeak();
    TestServer server(R"({"routes": {
        "/large": {"body": "<p>0123456789abcdef</p>", "body_repeat": 4000},
        "/small": {"body": "<p>small</p>"}}})");
    ASSERT_TRUE(server.Start());

    THttpGet first, second, small, stopped;
    Start(first, server.Url("/large"));
    ASSERT_TRUE(Finished(first));
    ASSERT_TRUE(first.Succeeded);
    EXPECT_EQ(TBodyBudget::Engine().Taken(), 1);
    // The first body holds the place: the second large one waits, a small one does not.
    Start(second, server.Url("/large"));
    Start(small, server.Url("/small"));
    ASSERT_TRUE(Finished(small));
    EXPECT_TRUE(small.Succeeded);
    SpinFor(500);
    EXPECT_EQ(second.SlotState, slotDownloading);
    // A waiting download that is stopped leaves at once.
    Start(stopped, server.Url("/large"));
    SpinFor(200);
    stopped.StopFetch();
    ASSERT_TRUE(Finished(stopped, 2000));
    EXPECT_FALSE(stopped.Succeeded);
    // Once the first page is done with, the second gets its place.
    first.ReleaseBody();
    ASSERT_TRUE(Finished(second));
    EXPECT_TRUE(second.Succeeded);
    EXPECT_EQ(second.Body.size(), 23u * 4000);
    second.ReleaseBody();
    EXPECT_EQ(TBodyBudget::Engine().Taken(), 0);
    EXPECT_EQ(TBodyBudget::Engine().PeakTaken(), 1);
}

TEST(CompressionTest, ACrawlOfLargePagesGetsThroughOnePlace) {
    FetchLimitsGuard guard;
    FetchLimits().SmallBodyBytes = 8 * 1024;
    FetchLimits().MaxBodyBytes = 128 * 1024;
    FetchLimits().BodyBudgetBytes = 128 * 1024;
    TBodyBudget::Engine().ResetPeak();
    std::string routes = R"({"routes": {"/": {"body": ")";
    for (int i = 0; i < 6; ++i) routes += "<a href=/p" + std::to_string(i) + ">p</a>";
    routes += R"("})";
    for (int i = 0; i < 6; ++i)
        routes += ", \"/p" + std::to_string(i) + R"(": {"body": "<a href=mailto:p)" +
                  std::to_string(i) + R"(@x.test>m</a><p>filler text of a large page</p>",
                  "body_repeat": 1000, "encode": "gzip"})";
    routes += "}}";
    TestServer server(routes);
    ASSERT_TRUE(server.Start());
    THttpScan scan;
    scan.SetProxyType(PROXY_DIRECT);
    scan.SetConcurrentDownloads(6);
    scan.SetTypeFilterEnabled(true);
    scan.SetTypeList("mail");
    std::vector<std::string> mails;
    bool ended = false;
    scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
    scan.OnLinkFound = [&](THttpScan&, const std::string& url, const std::string&,
                           const std::string&, const std::string&, const std::string&,
                           const std::string&, const std::string&, std::string&, char, int,
                           bool&) { mails.push_back(url); };
    ASSERT_TRUE(scan.Start(server.Url("/")));
    ASSERT_TRUE(WaitFor([&] { return ended; }, 60000));
    // The mail link of every page is found once; the page itself is not reported.
    EXPECT_EQ(mails.size(), 6u);
    EXPECT_EQ(TBodyBudget::Engine().PeakTaken(), 1);
    EXPECT_EQ(TBodyBudget::Engine().Taken(), 0);
    EXPECT_GT(scan.BytesDecoded(), 6u * 1000 * 40);
    EXPECT_LT(scan.BytesReceived() * 10, scan.BytesDecoded());
}

}  // namespace
