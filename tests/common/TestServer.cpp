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
    r.route = Bytes(o.value("route"));  // null reads as ""
    r.body = Bytes(o.value("body"));
    const QJsonObject headers = o.value("headers").toObject();
    for (auto it = headers.begin(); it != headers.end(); ++it)
        r.headers[it.key().toLatin1().toStdString()] = Bytes(it.value());
    return r;
}

}  // namespace

TestServer::TestServer(std::string configJson, bool tls, std::string siteDir)
    : config_(std::move(configJson)), tls_(tls), siteDir_(std::move(siteDir)) {}

TestServer::~TestServer() {
    Stop();
}

bool TestServer::Start() {
    if (process_ && port_ != 0) return true;
    Stop();

    dir_ = std::make_unique<QTemporaryDir>();
    if (!dir_->isValid()) {
        std::cerr << "TestServer: no temporary folder\n";
        return false;
    }
    const QString configPath = dir_->filePath("config.json");
    const QString logPath = dir_->filePath("log.jsonl");
    QFile config(configPath);
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(config_.data(), static_cast<qint64>(config_.size())) !=
            static_cast<qint64>(config_.size())) {
        std::cerr << "TestServer: cannot write " << configPath.toStdString() << '\n';
        return false;
    }
    config.close();
    logPath_ = logPath.toStdString();

    QString python = QStandardPaths::findExecutable("python3");
    if (python.isEmpty()) python = "/usr/bin/python3";
    QStringList args{QStringLiteral(TARNWICK_TEST_SERVER), "--config", configPath, "--log",
                     logPath};
    if (tls_) args << "--tls";
    if (!siteDir_.empty()) args << "--site" << QString::fromStdString(siteDir_);

    process_ = std::make_unique<QProcess>();
    // The server's complaints (a refused config, a fault) belong in the test's output.
    process_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_->start(python, args);
    if (!process_->waitForStarted(15000)) {
        std::cerr << "TestServer: cannot run " << python.toStdString() << ": "
                  << process_->errorString().toStdString() << '\n';
        Stop();
        return false;
    }

    const QDeadlineTimer deadline(15000);
    while (port_ == 0) {
        while (process_->canReadLine()) {
            const QByteArray line = process_->readLine().trimmed();
            if (line.startsWith("CA ")) caFile_ = line.mid(3).toStdString();
            if (line.startsWith("PORT ")) port_ = line.mid(5).toInt();
        }
        if (port_ != 0) break;
        if (process_->state() != QProcess::Running || deadline.hasExpired()) break;
        process_->waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
    }
    if (port_ == 0 || (tls_ && caFile_.empty())) {
        std::cerr << "TestServer: the server did not start\n";
        Stop();
        return false;
    }
    return true;
}

void TestServer::Stop() {
    if (process_) {
        if (process_->state() != QProcess::NotRunning) {
            // Closing stdin alone ends the server; SIGTERM makes sure, kill is the last word.
            process_->closeWriteChannel();
            process_->terminate();
            if (!process_->waitForFinished(5000)) {
                process_->kill();
                process_->waitForFinished(5000);
            }
        }
        process_.reset();
    }
    port_ = 0;
    caFile_.clear();
    // The log stays readable after a stop; the folder goes with the object or the next Start.
}

std::string TestServer::BaseUrl() const {
    return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_);
}

std::vector<TestRequest> TestServer::Requests() const {
    std::vector<TestRequest> requests;
    if (logPath_.empty()) return requests;
    QFile log(QString::fromStdString(logPath_));
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
