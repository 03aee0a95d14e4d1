#include "TServerOptions.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QUrl>

#include <cmath>

#include "THttpScan.h"
#include "TIniFile.h"

TServerOptions::TServerOptions(QCheckBox* Robots, QDoubleSpinBox* HostDelay, QSpinBox* MaxPerHost,
                               THttpScan& Scan, QObject* Parent)
    : QObject(Parent),
      m_robots(Robots),
      m_hostDelay(HostDelay),
      m_maxPerHost(MaxPerHost),
      m_scan(Scan) {
    connect(m_robots, &QCheckBox::toggled, this, &TServerOptions::RobotsCheckBoxClick);
    connect(m_hostDelay, &QDoubleSpinBox::valueChanged, this,
            &TServerOptions::HostDelaySpinBoxChange);
    connect(m_maxPerHost, &QSpinBox::valueChanged, this, &TServerOptions::MaxPerHostSpinBoxChange);
}

void TServerOptions::Load(const TIniFile& Ini, const QString& Section, bool FirstStart) {
    // A new user starts as a considerate guest; a saved choice stays as it was saved.
    m_robots->setChecked(Ini.ReadBool(Section, "ObeyRobotsTxt", FirstStart));
    // Tenths of a second, as the field shows them; out-of-range values are clamped by the field.
    m_hostDelay->setValue(Ini.ReadInteger(Section, "HostDelayMs", 0) / 1000.0);
    m_maxPerHost->setValue(Ini.ReadInteger(Section, "MaxPerHost", 0));
    // Unchanged values raise no change event, so the crawler is told once more.
    RobotsCheckBoxClick();
    HostDelaySpinBoxChange();
    MaxPerHostSpinBoxChange();
}

void TServerOptions::Save(TIniFile& Ini, const QString& Section) const {
    Ini.WriteBool(Section, "ObeyRobotsTxt", m_robots->isChecked());
    Ini.WriteInteger(Section, "HostDelayMs",
                     static_cast<int>(std::lround(m_hostDelay->value() * 1000)));
    Ini.WriteInteger(Section, "MaxPerHost", m_maxPerHost->value());
}

void TServerOptions::RobotsCheckBoxClick() {
    m_scan.SetObeyRobotsTxt(m_robots->isChecked());
}

void TServerOptions::HostDelaySpinBoxChange() {
    m_scan.SetHostDelayMs(static_cast<int>(std::lround(m_hostDelay->value() * 1000)));
}

void TServerOptions::MaxPerHostSpinBoxChange() {
    m_scan.SetMaxPerHost(m_maxPerHost->value());
}

QString TServerOptions::WaitText(const QString& Server, int Milliseconds, const QString& Reason) {
    // The host as users write it: without the scheme's default port.
    const QUrl url(Server);
    const bool defaultPort = (url.scheme() == "http" && url.port() == 80) ||
                             (url.scheme() == "https" && url.port() == 443);
    QString host = url.host();
    if (url.port() > 0 && !defaultPort) host += ":" + QString::number(url.port());
    QString why = Reason;
    if (Reason == "429") why = "zu viele Anfragen";
    if (Reason == "delay") why = "Pause je Server";
    const int seconds = (Milliseconds + 999) / 1000;
    return QString("Warte %1 s auf %2 (%3)").arg(seconds).arg(host, why);
}

QString TServerOptions::ExcludedLine(int Count) {
    return " Gesperrt (robots.txt): " + QString::number(Count);
}
