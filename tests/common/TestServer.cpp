#include "TestServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdlib>
#include <iostream>

#include "ChildProcess.h"

namespace {

// Log text is ASCII JSON whose \u00XX escapes stand for single bytes; Latin-1 gives them back.
std::string Bytes(const QJsonValue& value) {
    return value.toString().toLatin1().toStdString();
}

TestRequest ParseRequest(const QJsonObject& o) {
    TestRequest r;
    r.method = Bytes(o.value("method"));
    r.target = Bytes(o.value("target"));
    r.path = Bytes(o.value("path"));
    r.query = Bytes(o.value("query"));
    r.version = Bytes(o.value("version"));
    r.proxy = o.value("proxy").toBool();
    r.connection = o.value("connection").toInt();
    r.time = o.value("time").toDouble();
    r.route = Bytes(o.value("route"));  // null reads as ""
    r.body = Bytes(o.value("body"));
    const QJsonObject headers = o.value("headers").toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        r.headers[it.key().toLatin1().toStdString()] = Bytes(it.value());
    return r;
}

}  // namespace

TestServer::TestServer(std::string configJson, bool tls, std::string siteDir)
    : m_config(std::move(configJson)), m_tls(tls), m_siteDir(std::move(siteDir)) {}

TestServer::~TestServer() {
    Stop();
}

bool TestServer::Start() {
    if (m_process && m_port != 0) return true;
    Stop();

    m_dir = std::make_unique<QTemporaryDir>();
    if (!m_dir->isValid()) {
        std::cerr << "TestServer: no temporary folder\n";
        return false;
    }
    const QString configPath = m_dir->filePath("config.json");
    const QString logPath = m_dir->filePath("log.jsonl");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(m_config.data(), static_cast<qint64>(m_config.size())) !=
            static_cast<qint64>(m_config.size())) {
        std::cerr << "TestServer: cannot write " << configPath.toStdString() << '\n';
        return false;
    }
    config.close();
    m_logPath = logPath.toStdString();

    QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty()) python = "/usr/bin/python3";
    std::vector<std::string> args{TARNWICK_TEST_SERVER, "--config", configPath.toStdString(),
                                  "--log", logPath.toStdString()};
    if (m_tls) args.push_back("--tls");
    if (!m_siteDir.empty()) args.insert(args.end(), {"--site", m_siteDir});
    if (m_addresses > 1) args.insert(args.end(), {"--addresses", std::to_string(m_addresses)});

    // The server's complaints (a refused config, a fault) go to the test's own error output.
    m_process = std::make_unique<ChildProcess>();
    if (!m_process->Start(python.toStdString(), args)) {
        std::cerr << "TestServer: cannot run " << python.toStdString() << ": " << m_process->Error()
                  << '\n';
        Stop();
        return false;
    }

    const QDeadlineTimer deadline(15000);
    std::string line;
    while (m_port == 0 && !deadline.hasExpired() &&
           m_process->ReadLine(line,
                               static_cast<int>(std::max<qint64>(1, deadline.remainingTime())))) {
        if (line.rfind("CA ", 0) == 0) m_caFile = line.substr(3);
        if (line.rfind("PORT ", 0) == 0) m_port = std::atoi(line.c_str() + 5);
    }
    if (m_port == 0 || (m_tls && m_caFile.empty())) {
        std::cerr << "TestServer: the server did not start\n";
        Stop();
        return false;
    }
    return true;
}

void TestServer::Stop() {
    // Closing stdin alone ends the server; SIGTERM makes sure, kill is the last word.
    if (m_process) m_process->Stop();
    m_process.reset();
    m_port = 0;
    m_caFile.clear();
    // The log stays readable after a stop; the folder goes with the object or the next Start.
}

std::string TestServer::BaseUrl() const {
    return std::string(m_tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(m_port);
}

std::vector<TestRequest> TestServer::Requests() const {
    std::vector<TestRequest> requests;
    if (m_logPath.empty()) return requests;
    QFile log(QString::fromStdString(m_logPath));
    if (!log.open(QIODevice::ReadOnly)) return requests;
    const QList<QByteArray> lines = log.readAll().split('\n');
    for (const QByteArray& line : lines) {
        // A line still being written by the server does not parse yet; it is skipped.
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        if (error.error == QJsonParseError::NoError && doc.isObject())
            requests.push_back(ParseRequest(doc.object()));
    }
    return requests;
}

int TestServer::CountRequests(const std::string& path) const {
    int count = 0;
    for (const TestRequest& r : Requests())
        if (r.path == path) ++count;
    return count;
}
