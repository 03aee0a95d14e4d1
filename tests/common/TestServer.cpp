#include "TestServer.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>
#include <QTemporaryDir>

#include <algorithm>
#include <iostream>

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
    QStringList args{QStringLiteral(TARNWICK_TEST_SERVER), "--config", configPath, "--log",
                     logPath};
    if (m_tls) args << "--tls";
    if (!m_siteDir.empty()) args << "--site" << QString::fromStdString(m_siteDir);

    m_process = std::make_unique<QProcess>();
    // The server's complaints (a refused config, a fault) belong in the test's output.
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->start(python, args);
    if (!m_process->waitForStarted(15000)) {
        std::cerr << "TestServer: cannot run " << python.toStdString() << ": "
                  << m_process->errorString().toStdString() << '\n';
        Stop();
        return false;
    }

    const QDeadlineTimer deadline(15000);
    while (m_port == 0) {
        while (m_process->canReadLine()) {
            const QByteArray line = m_process->readLine().trimmed();
            if (line.startsWith("CA ")) m_caFile = line.mid(3).toStdString();
            if (line.startsWith("PORT ")) m_port = line.mid(5).toInt();
        }
        if (m_port != 0) break;
        if (m_process->state() != QProcess::Running || deadline.hasExpired()) break;
        m_process->waitForReadyRead(
            static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    if (m_port == 0 || (m_tls && m_caFile.empty())) {
        std::cerr << "TestServer: the server did not start\n";
        Stop();
        return false;
    }
    return true;
}

void TestServer::Stop() {
    if (m_process) {
        if (m_process->state() != QProcess::NotRunning) {
            // Closing stdin alone ends the server; SIGTERM makes sure, kill is the last word.
            m_process->closeWriteChannel();
            m_process->terminate();
            if (!m_process->waitForFinished(5000)) {
                m_process->kill();
                m_process->waitForFinished(5000);
            }
        }
        m_process.reset();
    }
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
