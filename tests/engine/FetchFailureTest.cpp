// Why a page could not be fetched: each failure gets its own reason in OnFetchFailed and OnLog,
// beside OnError, whose values stay, and a refused login is not tried again.

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "FailingSite.h"
#include "THttpScan.h"
#include "TestServer.h"

namespace {

struct Failure {
    std::string reason;
    int status = -1;
    std::string referrer;
    unsigned errorCode = 0;
    std::string errorMessage;
    int errors = 0;  // OnError reports for the URL
};

// One crawl of a server with everything it reported, by URL.
struct FailureCrawl {
    std::map<std::string, Failure> failures;
    std::vector<std::string> logs;
    int retries = 0, errors = 0;

    void Run(const std::string& start, const std::function<void(THttpScan&)>& setup = {}) {
        QTemporaryDir dir;
        THttpScan scan;
        scan.SetProxyType(PROXY_DIRECT);
        scan.SetFileOfResults(dir.filePath("results.txt").toStdString());
        scan.SetAdaptiveTicks(true);
        scan.SetLogsEnabled(true);
        scan.SetTimeOut(1);
        scan.SetRetries(1);
        if (setup) setup(scan);
        bool ended = false;
        scan.OnWorking = [&](THttpScan&, bool working) { ended = !working; };
        scan.OnLog = [&](THttpScan&, const std::string& text) { logs.push_back(text); };
        scan.OnUpdatedStats = [&](THttpScan&, int, int, int, int, int r, int e) {
            retries = r;
            errors = e;
        };
        scan.OnError = [&](THttpScan&, const std::string& url, unsigned code,
                           const std::string& message) {
            Failure& f = failures[url];
            f.errorCode = code;
            f.errorMessage = message;
            ++f.errors;
        };
        scan.OnFetchFailed = [&](THttpScan&, const std::string& url, const std::string& referrer,
                                 TFetchFailure reason, int status) {
            Failure& f = failures[url];
            f.reason = FetchFailureText(reason, status);
            f.status = status;
            f.referrer = referrer;
        };
        ASSERT_TRUE(scan.Start(start));
        ASSERT_TRUE(WaitFor([&] { return ended; }, 60000));
    }
    int Count(const std::string& line) const {
        return static_cast<int>(std::count(logs.begin(), logs.end(), line));
    }
};

TEST(FetchFailureTest, EachFailureIsToldWithItsOwnReason) {
    const std::vector<FailingPage> pages = FailingPages();
    TestServer server(FailingSiteConfig(pages));
    ASSERT_TRUE(server.Start());
    FailureCrawl crawl;
    crawl.Run(server.Url("/"));

    int retried = 0;
    for (const FailingPage& page : pages) {
        const std::string url = FailingUrl(server.BaseUrl(), page);
        SCOPED_TRACE(url);
        ASSERT_EQ(crawl.failures.count(url), 1u);
        const Failure& f = crawl.failures.at(url);
        EXPECT_EQ(f.reason, page.Reason);
        EXPECT_EQ(f.referrer, server.Url("/"));
        // OnError keeps its values: the last status, "ERROR" only for a status that is not
        // retried.
        EXPECT_EQ(f.errors, 1);
        EXPECT_EQ(f.status, page.Status);
        EXPECT_EQ(f.errorCode, static_cast<unsigned>(page.Status));
        EXPECT_EQ(f.errorMessage, page.Reason == "HTTP status 404" ? "ERROR" : "");
        EXPECT_EQ(crawl.Count("HTML: starting download for " + url), page.Attempts);
        EXPECT_EQ(crawl.Count("failed (" + page.Reason + "): " + url), 1);
        if (page.Attempts > 1) {
            EXPECT_EQ(crawl.Count("HTML: retrying (" + page.Reason + "): " + url), 1);
            ++retried;
        }
    }
    EXPECT_EQ(crawl.failures.size(), pages.size());  // the start page did not fail
    EXPECT_EQ(crawl.retries, retried);
    EXPECT_EQ(crawl.errors, static_cast<int>(pages.size()) - 1);  // all but the 404
    // A loop is named, not cut short: it runs to the limit of 20 redirects as a chain does.
    EXPECT_EQ(server.CountRequests("/loop.htm"), 2 * 21);
    EXPECT_EQ(server.CountRequests("/chain21.htm"), 2);
    EXPECT_EQ(server.CountRequests("/chain22.htm"), 0);
}

TEST(FetchFailureTest, ALoginTheCredentialsCannotAnswerIsNotRetried) {
    TestServer server(R"({"routes": {
        "/login.htm": {"auth": {"user": "anna", "password": "pw"}, "body": "<p>in</p>"}}})");
    TestServer proxy(R"({"proxy": {"user": "pu", "password": "ppw"}})");
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(proxy.Start());
    const std::string url = server.Url("/login.htm");
    const struct {
        std::string user, proxyUser, reason;
        int status;
    } cases[] = {
        {"anna", "", "login refused", 401},
        {"", "pu", "login required", 401},
        {"", "nobody", "proxy login refused", 407},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const int before = server.CountRequests("/login.htm") + proxy.CountRequests("/login.htm");
        FailureCrawl crawl;
        crawl.Run(url, [&](THttpScan& scan) {
            scan.SetRetries(3);
            scan.SetUserName(c.user);
            scan.SetPassword("wrong");
            scan.SetProxyUser(c.proxyUser);
            scan.SetProxyPassword("ppw");
            if (c.status == 407) {
                scan.SetProxyType(PROXY_USEPROXY);
                scan.SetProxyAddress("127.0.0.1");
                scan.SetProxyPort(proxy.Port());
            }
        });
        ASSERT_EQ(crawl.failures.count(url), 1u);
        EXPECT_EQ(crawl.failures.at(url).reason, c.reason);
        EXPECT_EQ(crawl.failures.at(url).errorCode, static_cast<unsigned>(c.status));
        // One attempt: the request, and its repeat with the credentials.
        EXPECT_EQ(crawl.Count("HTML: starting download for " + url), 1);
        EXPECT_EQ(server.CountRequests("/login.htm") + proxy.CountRequests("/login.htm") - before,
                  2);
        EXPECT_EQ(crawl.retries, 0);
        EXPECT_EQ(crawl.errors, 1);
    }
}

}  // namespace
