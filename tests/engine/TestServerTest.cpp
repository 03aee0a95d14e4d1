// Checks the local test server itself with plain libcurl calls, so that engine tests built on it
// can trust what it sends and what it logs.

#include <gtest/gtest.h>
#include <strings.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "CurlSupport.h"
#include "TestServer.h"

namespace {

// What a fetch adds to a plain GET; set with the chained setters, e.g. Opts().Ca(file).
struct FetchOptions {
    std::vector<std::string> headers;  // extra request header lines
    std::string userPwd;               // basic auth "user:password"
    std::string proxy;                 // "http://127.0.0.1:port"
    std::string proxyUserPwd;
    std::string caFile;
    std::string resolve;  // "host:port:127.0.0.1"
    std::string referer, userAgent, postBody;
    bool follow = false;
    bool pathAsIs = false;
    bool head = false;
    size_t abortAfter = 0;  // the write callback gives up after this many bytes (0: never)

    FetchOptions& Header(std::string line) { return headers.push_back(std::move(line)), *this; }
    FetchOptions& UserPwd(std::string v) { return userPwd = std::move(v), *this; }
    FetchOptions& Proxy(std::string v, std::string pwd = {}) {
        proxy = std::move(v);
        proxyUserPwd = std::move(pwd);
        return *this;
    }
    FetchOptions& Ca(std::string v) { return caFile = std::move(v), *this; }
    FetchOptions& Resolve(std::string v) { return resolve = std::move(v), *this; }
    FetchOptions& Referer(std::string v) { return referer = std::move(v), *this; }
    FetchOptions& UserAgent(std::string v) { return userAgent = std::move(v), *this; }
    FetchOptions& Post(std::string v) { return postBody = std::move(v), *this; }
    FetchOptions& Follow() { return follow = true, *this; }
    FetchOptions& PathAsIs() { return pathAsIs = true, *this; }
    FetchOptions& Head() { return head = true, *this; }
    FetchOptions& AbortAfter(size_t v) { return abortAfter = v, *this; }
};
using Opts = FetchOptions;

struct FetchResult {
    CURLcode code = CURLE_OK;
    long status = 0;
    long connectStatus = 0;  // answer of a proxy to CONNECT
    std::string headers;     // raw header block(s) as received
    std::string body;
    int writeCalls = 0;
    double firstByteSec = 0;  // until the first response byte
    double totalSec = 0;
    size_t abortAfter = 0;

    // Value of the first header line with this name (case-insensitive), or "<none>".
    std::string Header(const std::string& name) const {
        size_t pos = 0;
        while (pos < headers.size()) {
            size_t end = headers.find("\r\n", pos);
            if (end == std::string::npos) end = headers.size();
            const std::string line = headers.substr(pos, end - pos);
            if (line.size() > name.size() && line[name.size()] == ':' &&
                strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
                size_t v = name.size() + 1;
                while (v < line.size() && line[v] == ' ') ++v;
                return line.substr(v);
            }
            pos = end + 2;
        }
        return "<none>";
    }
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto* r = static_cast<FetchResult*>(user);
    if (r->abortAfter != 0 && r->body.size() >= r->abortAfter) return 0;
    r->body.append(data, size * count);
    ++r->writeCalls;
    return size * count;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    static_cast<FetchResult*>(user)->headers.append(data, size * count);
    return size * count;
}

FetchResult Fetch(const std::string& url, const FetchOptions& o = {}) {
    FetchResult r;
    r.abortAfter = o.abortAfter;
    TCurlEasy easy(curl_easy_init());
    CURL* h = easy.get();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(h, CURLOPT_TIMEOUT, 15L);  // a broken server fails the test, not hangs it
    curl_easy_setopt(h, CURLOPT_PROXY, o.proxy.c_str());  // "" also ignores the environment
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, OnBody);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &r);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, OnHeader);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, &r);
    if (o.follow) curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    if (o.pathAsIs) curl_easy_setopt(h, CURLOPT_PATH_AS_IS, 1L);
    if (o.head) curl_easy_setopt(h, CURLOPT_NOBODY, 1L);
    if (!o.userPwd.empty()) curl_easy_setopt(h, CURLOPT_USERPWD, o.userPwd.c_str());
    if (!o.proxyUserPwd.empty()) curl_easy_setopt(h, CURLOPT_PROXYUSERPWD, o.proxyUserPwd.c_str());
    if (!o.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, o.caFile.c_str());
    if (!o.referer.empty()) curl_easy_setopt(h, CURLOPT_REFERER, o.referer.c_str());
    if (!o.userAgent.empty()) curl_easy_setopt(h, CURLOPT_USERAGENT, o.userAgent.c_str());
    if (!o.postBody.empty()) {
        curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE, static_cast<long>(o.postBody.size()));
        curl_easy_setopt(h, CURLOPT_POSTFIELDS, o.postBody.c_str());
    }
    TCurlSlist resolve;
    if (!o.resolve.empty()) {
        resolve.reset(curl_slist_append(nullptr, o.resolve.c_str()));
        curl_easy_setopt(h, CURLOPT_RESOLVE, resolve.get());
    }
    TCurlSlist headers;
    for (const std::string& line : o.headers)
        headers.reset(curl_slist_append(headers.release(), line.c_str()));
    if (headers) curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get());

    r.code = curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &r.status);
    curl_easy_getinfo(h, CURLINFO_HTTP_CONNECTCODE, &r.connectStatus);
    curl_easy_getinfo(h, CURLINFO_STARTTRANSFER_TIME, &r.firstByteSec);
    curl_easy_getinfo(h, CURLINFO_TOTAL_TIME, &r.totalSec);
    return r;
}

bool WriteFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

}  // namespace

// ---------------------------------------------------------------- life cycle

TEST(TestServerLifecycle, UnstartedServerIsHarmless) {
    TestServer server(R"({"routes": {"/": {}}})");
    EXPECT_EQ(server.Port(), 0);
    EXPECT_TRUE(server.Requests().empty());
    EXPECT_EQ(server.CountRequests("/"), 0);
    EXPECT_TRUE(server.CaFile().empty());
}

TEST(TestServerLifecycle, RefusesBrokenConfigs) {
    // A typo in a route must fail the test at once, not give a silently different response.
    TestServer typo(R"({"routes": {"/": {"stauts": 404}}})");
    EXPECT_FALSE(typo.Start());
    EXPECT_EQ(typo.Port(), 0);
    TestServer notJson("{routes");
    EXPECT_FALSE(notJson.Start());
    TestServer wrongType(R"({"routes": {"/": {"status": "404"}}})");
    EXPECT_FALSE(wrongType.Start());
}

TEST(TestServerLifecycle, StopsAndRemovesTlsFilesWhenDestroyed) {
    std::string ca, url;
    {
        TestServer server("{}", true);
        ASSERT_TRUE(server.Start());
        ca = server.CaFile();
        url = server.Url("/");
        EXPECT_TRUE(QFileInfo::exists(QString::fromStdString(ca)));
        EXPECT_EQ(Fetch(url, Opts().Ca(ca)).status, 404);
    }
    EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(ca)));
    EXPECT_EQ(Fetch(url, Opts().Ca(ca)).code, CURLE_COULDNT_CONNECT);
}

TEST(TestServerLifecycle, EndsWhenItsStandardInputCloses) {
    // What keeps a crashed test from leaving the server behind.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ASSERT_TRUE(WriteFile(dir.filePath("c.json"), "{}"));
    QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty()) python = "/usr/bin/python3";
    QProcess p;
    p.start(python, {TARNWICK_TEST_SERVER, "--config", dir.filePath("c.json"), "--log",
                     dir.filePath("l.jsonl")});
    ASSERT_TRUE(p.waitForStarted(15000));
    while (!p.canReadLine() && p.waitForReadyRead(15000)) {
    }
    EXPECT_TRUE(p.readLine().startsWith("PORT "));
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(5000);
    }
}

// ---------------------------------------------------------------- described responses

TEST(TestServerRoutes, StatusContentTypeHeadersAndBody) {
    TestServer server(R"json({"routes": {
        "/plain": {"status": 203, "reason": "Fine Indeed", "content_type": "text/plain",
                   "body": "A\u0000\u0080\u00ff", "headers": [["X-B", "2"], ["X-A", "1"]]},
        "/notype": {"content_type": null, "body": "x"},
        "/default": {"body": "<p>"},
        "/empty": {},
        "/repeat": {"body": "ab", "body_repeat": 1000},
        "/missing": {"status": 404, "body": "gone"}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult plain = Fetch(server.Url("/plain"));
    EXPECT_EQ(plain.code, CURLE_OK);
    EXPECT_EQ(plain.status, 203);
    EXPECT_EQ(plain.headers.rfind("HTTP/1.0 203 Fine Indeed\r\n", 0), 0u) << plain.headers;
    EXPECT_EQ(plain.Header("Content-Type"), "text/plain");
    EXPECT_EQ(plain.body, std::string("A\0\x80\xff", 4));  // every byte value survives
    EXPECT_EQ(plain.Header("Content-Length"), "4");
    EXPECT_LT(plain.headers.find("X-B: 2"), plain.headers.find("X-A: 1"));  // order as given

    FetchResult noType = Fetch(server.Url("/notype"));
    EXPECT_EQ(noType.Header("Content-Type"), "<none>");
    EXPECT_EQ(noType.body, "x");
    EXPECT_EQ(Fetch(server.Url("/default")).Header("Content-Type"), "text/html");

    FetchResult empty = Fetch(server.Url("/empty"));
    EXPECT_EQ(empty.code, CURLE_OK);
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.Header("Content-Length"), "0");
    EXPECT_TRUE(empty.body.empty());

    FetchResult repeat = Fetch(server.Url("/repeat"));
    EXPECT_EQ(repeat.body.size(), 2000u);
    EXPECT_EQ(repeat.Header("Content-Length"), "2000");
    EXPECT_EQ(repeat.body.substr(1996), "abab");

    // HEAD gets the same header block without the body.
    FetchResult head = Fetch(server.Url("/repeat"), Opts().Head());
    EXPECT_EQ(head.code, CURLE_OK);
    EXPECT_EQ(head.Header("Content-Length"), "2000");
    EXPECT_TRUE(head.body.empty());
    EXPECT_EQ(server.Requests().back().method, "HEAD");

    FetchResult missing = Fetch(server.Url("/missing"));
    EXPECT_EQ(missing.status, 404);
    EXPECT_EQ(missing.body, "gone");
}

TEST(TestServerRoutes, ContentLengthCanBeOmittedOrWrong) {
    TestServer server(R"json({"routes": {
        "/none": {"body": "0123456789", "content_length": false},
        "/short": {"body": "0123456789", "content_length": 4},
        "/long": {"body": "0123456789", "content_length": 20}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult none = Fetch(server.Url("/none"));
    EXPECT_EQ(none.Header("Content-Length"), "<none>");
    EXPECT_EQ(none.body, "0123456789");  // the end of the connection ends the body

    FetchResult shortLength = Fetch(server.Url("/short"));
    EXPECT_EQ(shortLength.Header("Content-Length"), "4");
    EXPECT_EQ(shortLength.body, "0123");

    FetchResult longLength = Fetch(server.Url("/long"));
    EXPECT_EQ(longLength.Header("Content-Length"), "20");
    EXPECT_EQ(longLength.code, CURLE_PARTIAL_FILE);
    EXPECT_EQ(longLength.body, "0123456789");
}

TEST(TestServerRoutes, ExactQueryRouteWinsOverPath) {
    TestServer server(R"json({"routes": {
        "/q": {"body": "path"}, "/q?page=2": {"body": "exact"}}})json");
    ASSERT_TRUE(server.Start());
    EXPECT_EQ(Fetch(server.Url("/q")).body, "path");
    EXPECT_EQ(Fetch(server.Url("/q?page=2")).body, "exact");
    EXPECT_EQ(Fetch(server.Url("/q?page=3")).body, "path");

    const std::vector<TestRequest> log = server.Requests();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].route, "/q?page=2");
    EXPECT_EQ(log[2].route, "/q");
    EXPECT_EQ(log[2].path, "/q");
    EXPECT_EQ(log[2].query, "page=3");
    EXPECT_EQ(server.CountRequests("/q"), 3);
}

TEST(TestServerRoutes, RedirectDefaultsTo302) {
    TestServer server(R"json({"routes": {
        "/from": {"redirect": "/to"},
        "/moved": {"redirect": "/to", "status": 301},
        "/to": {"body": "arrived"}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult first = Fetch(server.Url("/from"));
    EXPECT_EQ(first.status, 302);
    EXPECT_EQ(first.Header("Location"), "/to");
    EXPECT_EQ(Fetch(server.Url("/moved")).status, 301);

    FetchResult followed = Fetch(server.Url("/from"), Opts().Follow());
    EXPECT_EQ(followed.status, 200);
    EXPECT_EQ(followed.body, "arrived");
    EXPECT_EQ(server.CountRequests("/from"), 2);
    EXPECT_EQ(server.CountRequests("/to"), 1);
}

TEST(TestServerRoutes, BasicAuthAsksThenAdmits) {
    TestServer server(R"json({"routes": {
        "/secret": {"auth": {"user": "anna", "password": "pa:ss"}, "body": "inside"}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult without = Fetch(server.Url("/secret"));
    EXPECT_EQ(without.status, 401);
    EXPECT_EQ(without.Header("WWW-Authenticate"), "Basic realm=\"test\"");
    EXPECT_EQ(without.Header("Content-Type"), "text/html");
    EXPECT_NE(without.body.find("<html>"), std::string::npos);

    EXPECT_EQ(Fetch(server.Url("/secret"), Opts().UserPwd("anna:wrong")).status, 401);
    EXPECT_EQ(Fetch(server.Url("/secret"), Opts().UserPwd("anne:pa:ss")).status, 401);

    FetchResult with = Fetch(server.Url("/secret"), Opts().UserPwd("anna:pa:ss"));
    EXPECT_EQ(with.status, 200);
    EXPECT_EQ(with.body, "inside");
    EXPECT_EQ(server.Requests().back().headers["authorization"], "Basic YW5uYTpwYTpzcw==");
}

TEST(TestServerRoutes, HugeHeadersArriveInLinesOfAtMost1000Bytes) {
    TestServer server(R"json({"routes": {
        "/big": {"huge_headers": 5000, "body": "ok"},
        "/odd": {"huge_headers": 1005, "body": "ok"}}})json");
    ASSERT_TRUE(server.Start());

    for (const auto& [path, size] : {std::pair{"/big", 5000u}, std::pair{"/odd", 1005u}}) {
        FetchResult r = Fetch(server.Url(path));
        EXPECT_EQ(r.code, CURLE_OK) << path;
        EXPECT_EQ(r.body, "ok") << path;
        size_t fillerBytes = 0, pos = 0;
        int lines = 0;
        while ((pos = r.headers.find("X-Filler-", pos)) != std::string::npos) {
            const size_t end = r.headers.find("\r\n", pos) + 2;
            EXPECT_LE(end - pos, 1000u) << path;
            fillerBytes += end - pos;
            ++lines;
            pos = end;
        }
        EXPECT_EQ(fillerBytes, size) << path;
        EXPECT_GE(lines, 2) << path;
    }
}

// ---------------------------------------------------------------- timing

TEST(TestServerTiming, DelaysHappenWhereConfigured) {
    TestServer server(R"json({"routes": {
        "/before": {"delay_before_headers": 1, "body": "b"},
        "/after": {"delay_after_headers": 1, "body": "a"}}})json");
    ASSERT_TRUE(server.Start());

    // Lower bounds only: a loaded machine may be slower, never faster.
    FetchResult before = Fetch(server.Url("/before"));
    EXPECT_EQ(before.body, "b");
    EXPECT_GE(before.firstByteSec, 0.9);

    FetchResult after = Fetch(server.Url("/after"));
    EXPECT_EQ(after.body, "a");
    EXPECT_GE(after.totalSec - after.firstByteSec, 0.9);
}

TEST(TestServerTiming, TrickleSendsTheBodyInPieces) {
    TestServer server(R"json({"routes": {
        "/slow": {"body": "0123456789", "trickle": {"bytes": 2, "interval": 0.1}}}})json");
    ASSERT_TRUE(server.Start());
    FetchResult r = Fetch(server.Url("/slow"));
    EXPECT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.body, "0123456789");
    EXPECT_GE(r.writeCalls, 3);  // five pieces are sent; allow the client to merge some
    EXPECT_GE(r.totalSec, 0.35);
}

// ---------------------------------------------------------------- broken connections

TEST(TestServerFaults, ResetAndHangUp) {
    TestServer server(R"json({"routes": {
        "/reset": {"body": "0123456789", "body_repeat": 100, "reset_after": 100},
        "/hangup": {"close_without_response": true}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult reset = Fetch(server.Url("/reset"));
    EXPECT_EQ(reset.code, CURLE_RECV_ERROR);
    EXPECT_EQ(reset.Header("Content-Length"), "1000");
    EXPECT_EQ(reset.body.size(), 100u);

    FetchResult hangup = Fetch(server.Url("/hangup"));
    EXPECT_EQ(hangup.code, CURLE_GOT_NOTHING);
    EXPECT_EQ(server.CountRequests("/hangup"), 1);  // logged even without an answer
}

TEST(TestServerFaults, EndlessBodyRunsUntilTheClientLeaves) {
    TestServer server(R"json({"routes": {
        "/endless": {"body": "<html>", "endless": true}}})json");
    ASSERT_TRUE(server.Start());
    FetchResult r = Fetch(server.Url("/endless"), Opts().AbortAfter(1 << 20));
    EXPECT_EQ(r.code, CURLE_WRITE_ERROR);
    EXPECT_GE(r.body.size(), size_t{1} << 20);
    EXPECT_EQ(r.body.rfind("<html>", 0), 0u);
    EXPECT_EQ(r.Header("Content-Length"), "<none>");
    // The server still answers others after the client walked away.
    EXPECT_EQ(Fetch(server.Url("/other")).status, 404);
}

// ---------------------------------------------------------------- proxy

TEST(TestServerProxy, AsksForCredentialsThenForwards) {
    TestServer origin(R"json({"routes": {"/hello": {"body": "from origin",
                                                    "headers": [["X-Origin", "yes"]]}}})json");
    TestServer proxy(R"json({"proxy": {"user": "pu", "password": "pp"}})json");
    ASSERT_TRUE(origin.Start());
    ASSERT_TRUE(proxy.Start());
    const std::string url = origin.Url("/hello?a=1");

    FetchResult refused = Fetch(url, Opts().Proxy(proxy.BaseUrl()));
    EXPECT_EQ(refused.status, 407);
    EXPECT_EQ(refused.Header("Proxy-Authenticate"), "Basic realm=\"proxy\"");
    EXPECT_EQ(Fetch(url, Opts().Proxy(proxy.BaseUrl(), "pu:bad")).status, 407);
    EXPECT_EQ(origin.Requests().size(), 0u);  // nothing was forwarded without credentials

    FetchResult passed = Fetch(url, Opts()
                                        .Header("X-Custom: kept")
                                        .Header("Proxy-Connection: Keep-Alive")
                                        .Proxy(proxy.BaseUrl(), "pu:pp"));
    EXPECT_EQ(passed.code, CURLE_OK);
    EXPECT_EQ(passed.status, 200);
    EXPECT_EQ(passed.body, "from origin");
    EXPECT_EQ(passed.Header("X-Origin"), "yes");

    const std::vector<TestRequest> atProxy = proxy.Requests();
    ASSERT_EQ(atProxy.size(), 3u);
    EXPECT_TRUE(atProxy[2].proxy);
    EXPECT_EQ(atProxy[2].target, url);
    EXPECT_EQ(atProxy[2].path, "/hello");
    EXPECT_EQ(atProxy[2].query, "a=1");
    EXPECT_EQ(atProxy[2].route, "");
    EXPECT_EQ(atProxy[2].headers.count("proxy-authorization"), 1u);

    const std::vector<TestRequest> atOrigin = origin.Requests();
    ASSERT_EQ(atOrigin.size(), 1u);
    const TestRequest& sent = atOrigin[0];
    EXPECT_FALSE(sent.proxy);
    EXPECT_EQ(sent.target, "/hello?a=1");
    EXPECT_EQ(sent.version, "HTTP/1.0");
    EXPECT_EQ(sent.route, "/hello");
    EXPECT_EQ(sent.headers.count("proxy-authorization"), 0u);
    EXPECT_EQ(sent.headers.count("proxy-connection"), 0u);
    EXPECT_EQ(sent.headers.at("connection"), "close");
    EXPECT_EQ(sent.headers.at("x-custom"), "kept");
}

TEST(TestServerProxy, ForwardsWithoutCredentialsWhenNoneConfigured) {
    TestServer origin(R"json({"routes": {"/": {"body": "root"}}})json");
    TestServer proxy;
    ASSERT_TRUE(origin.Start());
    ASSERT_TRUE(proxy.Start());
    FetchResult r = Fetch(origin.Url("/"), Opts().Proxy(proxy.BaseUrl()));
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, "root");
    EXPECT_EQ(origin.CountRequests("/"), 1);
}

TEST(TestServerProxy, TunnelsHttpsThroughConnect) {
    TestServer origin(R"json({"routes": {"/t": {"body": "tunnelled"}}})json", true);
    TestServer proxy(R"json({"proxy": {"user": "pu", "password": "pp"}})json");
    ASSERT_TRUE(origin.Start());
    ASSERT_TRUE(proxy.Start());

    FetchResult refused =
        Fetch(origin.Url("/t"), Opts().Ca(origin.CaFile()).Proxy(proxy.BaseUrl()));
    EXPECT_NE(refused.code, CURLE_OK);
    EXPECT_EQ(refused.connectStatus, 407);
    EXPECT_EQ(origin.CountRequests("/t"), 0);
    FetchResult r =
        Fetch(origin.Url("/t"), Opts().Ca(origin.CaFile()).Proxy(proxy.BaseUrl(), "pu:pp"));
    EXPECT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.body, "tunnelled");
    EXPECT_EQ(origin.CountRequests("/t"), 1);
    const std::vector<TestRequest> atProxy = proxy.Requests();
    ASSERT_EQ(atProxy.size(), 2u);
    EXPECT_EQ(atProxy[1].method, "CONNECT");
    EXPECT_TRUE(atProxy[1].proxy);
    EXPECT_EQ(atProxy[1].target, "127.0.0.1:" + std::to_string(origin.Port()));
}

// ---------------------------------------------------------------- TLS

TEST(TestServerTls, CertificateIsVerifiedWithItsCaOnly) {
    TestServer server(R"json({"routes": {"/s": {"body": "secure"}}})json", true);
    ASSERT_TRUE(server.Start());
    ASSERT_FALSE(server.CaFile().empty());
    EXPECT_EQ(server.BaseUrl(), "https://127.0.0.1:" + std::to_string(server.Port()));

    FetchResult r = Fetch(server.Url("/s"), Opts().Ca(server.CaFile()));
    EXPECT_EQ(r.code, CURLE_OK);
    EXPECT_EQ(r.body, "secure");

    const std::string port = std::to_string(server.Port());
    FetchResult byName =
        Fetch("https://localhost:" + port + "/s",
              Opts().Ca(server.CaFile()).Resolve("localhost:" + port + ":127.0.0.1"));
    EXPECT_EQ(byName.code, CURLE_OK);

    // The certificate names only 127.0.0.1 and localhost, and only the test CA signed it.
    EXPECT_EQ(Fetch("https://other.test:" + port + "/s",
                    Opts().Ca(server.CaFile()).Resolve("other.test:" + port + ":127.0.0.1"))
                  .code,
              CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_EQ(Fetch(server.Url("/s")).code, CURLE_PEER_FAILED_VERIFICATION);
    EXPECT_EQ(server.CountRequests("/s"), 2);  // failed handshakes are not logged
}

// ---------------------------------------------------------------- request log

TEST(TestServerLog, RecordsWhatTheClientSent) {
    TestServer server(R"json({"routes": {"/form": {"body": "thanks"}}})json");
    ASSERT_TRUE(server.Start());

    FetchResult r = Fetch(server.Url("/form?x=%41"), Opts()
                                                         .Header("X-Latin: caf\xe9")
                                                         .Referer("http://example.test/from")
                                                         .UserAgent("Tarnwick-Test/1")
                                                         .Post(std::string("a=1&b=\xff", 8)));
    EXPECT_EQ(r.body, "thanks");
    EXPECT_EQ(Fetch(server.Url("/nowhere")).status, 404);

    const std::vector<TestRequest> log = server.Requests();
    ASSERT_EQ(log.size(), 2u);
    const TestRequest& form = log[0];
    EXPECT_EQ(form.method, "POST");
    EXPECT_EQ(form.target, "/form?x=%41");
    EXPECT_EQ(form.path, "/form");
    EXPECT_EQ(form.query, "x=%41");
    EXPECT_EQ(form.version, "HTTP/1.0");
    EXPECT_EQ(form.route, "/form");
    EXPECT_FALSE(form.proxy);
    EXPECT_EQ(form.headers.at("referer"), "http://example.test/from");
    EXPECT_EQ(form.headers.at("user-agent"), "Tarnwick-Test/1");
    EXPECT_EQ(form.headers.at("host"), "127.0.0.1:" + std::to_string(server.Port()));
    EXPECT_EQ(form.headers.at("x-latin"), "caf\xe9");  // bytes above 127 survive the log
    EXPECT_EQ(form.body, std::string("a=1&b=\xff", 8));

    EXPECT_EQ(log[1].method, "GET");
    EXPECT_EQ(log[1].route, "");
    EXPECT_EQ(server.CountRequests("/nowhere"), 1);
}

// ---------------------------------------------------------------- site folder

TEST(TestServerSite, ServesFilesOfTheFolderOnly) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const QString site = root.filePath("site");
    ASSERT_TRUE(QDir().mkpath(site + "/sub"));
    ASSERT_TRUE(WriteFile(site + "/index.html", "<h1>home</h1>"));
    ASSERT_TRUE(WriteFile(site + "/sub/index.htm", "sub home"));
    ASSERT_TRUE(WriteFile(site + "/sub/a.txt", "text"));
    ASSERT_TRUE(WriteFile(site + "/my file.pdf", "%PDF"));
    ASSERT_TRUE(WriteFile(site + "/Photo.JPG", QByteArray("\xff\xd8\x00\xff", 4)));
    ASSERT_TRUE(WriteFile(site + "/data.bin", "bin"));
    ASSERT_TRUE(WriteFile(root.filePath("secret.txt"), "secret"));
    ASSERT_TRUE(QFile::link(root.filePath("secret.txt"), site + "/link.txt"));

    TestServer server(R"json({"routes": {"/sub/a.txt": {"body": "route wins"}}})json", false,
                      site.toStdString());
    ASSERT_TRUE(server.Start());

    struct Case {
        const char* path;
        long status;
        const char* type;
        std::string body;
    };
    const Case cases[] = {
        {"/", 200, "text/html", "<h1>home</h1>"},
        {"/sub/", 200, "text/html", "sub home"},
        {"/sub/a.txt", 200, "text/html", "route wins"},
        {"/my%20file.pdf", 200, "application/pdf", "%PDF"},
        {"/Photo.JPG", 200, "image/jpeg", std::string("\xff\xd8\x00\xff", 4)},
        {"/data.bin", 200, "application/octet-stream", "bin"},
        {"/missing.htm", 404, "text/html", ""},
        {"/sub", 404, "text/html", ""},  // a folder is no file
        // None of these may reach the file beside the site folder.
        {"/../secret.txt", 404, "text/html", ""},
        {"/sub/../../secret.txt", 404, "text/html", ""},
        {"/%2e%2e/secret.txt", 404, "text/html", ""},
        {"/sub%2f..%2f..%2fsecret.txt", 404, "text/html", ""},
        {"/link.txt", 404, "text/html", ""},
    };
    for (const Case& c : cases) {
        FetchResult r = Fetch(server.Url(c.path), Opts().PathAsIs());
        EXPECT_EQ(r.status, c.status) << c.path;
        EXPECT_EQ(r.Header("Content-Type"), c.type) << c.path;
        if (c.status == 200)
            EXPECT_EQ(r.body, c.body) << c.path;
        else
            EXPECT_EQ(r.body.find("secret"), std::string::npos) << c.path;
    }
    EXPECT_EQ(server.Requests().size(), std::size(cases));
}
