#pragma once
// Starts tests/server/testserver.py as a child process for one test: a local HTTP(S) server on
// 127.0.0.1 whose responses are described as JSON and which logs every request it receives.

#include <map>
#include <memory>
#include <string>
#include <vector>

class ChildProcess;
class QTemporaryDir;

// One request as the server logged it. Text is byte-exact (Latin-1 round trip).
struct TestRequest {
    std::string method, target, path, query, version;
    std::map<std::string, std::string> headers;  // lower-case names
    bool proxy = false;
    std::string route;   // the matched route key, empty when none matched
    std::string body;    // the request body the client sent, if any
    int connection = 0;  // which accepted connection carried it, counted from 1
    double time = 0;     // when the server read it: seconds of the wall clock
};

class TestServer {
public:
    // configJson: {"routes": {...}, "proxy": {...}, "keep_alive": seconds}, see testserver.py.
    // siteDir: files served for paths without a route.
    explicit TestServer(std::string configJson = "{}", bool tls = false, std::string siteDir = {});
    ~TestServer();
    TestServer(const TestServer&) = delete;
    TestServer& operator=(const TestServer&) = delete;

    // Launches the server and waits up to 15 s until it listens. False (with a message on
    // standard error) when python3 is missing, the config is refused, or it does not start.
    bool Start();
    // Before Start: also listen at 127.0.0.2 up to 127.0.0.Count on the same port, so that a
    // test has Count hosts (sites) of one server.
    void SetAddresses(int Count) { m_addresses = Count; }
    int Port() const { return m_port; }
    std::string BaseUrl() const;
    std::string Url(const std::string& path) const { return BaseUrl() + path; }
    std::string CaFile() const { return m_caFile; }

    // Every request logged so far, in order of arrival. A request is logged before it is
    // answered, so once a client has its response the request is listed.
    std::vector<TestRequest> Requests() const;
    int CountRequests(const std::string& path) const;

private:
    void Stop();

    std::string m_config;
    bool m_tls;
    std::string m_siteDir;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ChildProcess> m_process;
    std::string m_logPath;
    std::string m_caFile;
    int m_port = 0;
    int m_addresses = 1;
};
