#pragma once
// The window's group "Rücksicht auf Server": robots.txt, the pause between two requests to one
// server and the number of parallel downloads to one server. It passes every change to the
// crawler, keeps the settings in Program.ini (missing keys give the crawler's defaults, all off,
// so files of earlier versions load unchanged; a first start, without the file, obeys
// robots.txt) and words the crawler's waits for the status bar.
// GUI thread only; the controls belong to the window.

#include <QObject>
#include <QString>

class QCheckBox;
class QDoubleSpinBox;
class QSpinBox;
class THttpScan;
class TIniFile;

class TServerOptions : public QObject {
    Q_OBJECT
public:
    TServerOptions(QCheckBox* Robots, QDoubleSpinBox* HostDelay, QSpinBox* MaxPerHost,
                   THttpScan& Scan, QObject* Parent = nullptr);

    // FirstStart: there is no Program.ini yet.
    void Load(const TIniFile& Ini, const QString& Section, bool FirstStart);
    void Save(TIniFile& Ini, const QString& Section) const;

    // "Warte 4 s auf www.example.org (Retry-After)": Server as the crawler names it
    // ("http://host:80"), the wait in ms, the crawler's reason word.
    static QString WaitText(const QString& Server, int Milliseconds, const QString& Reason);
    // The statistics line of the URLs that robots.txt kept from being fetched.
    static QString ExcludedLine(int Count);

private:
    void RobotsCheckBoxClick();
    void HostDelaySpinBoxChange();
    void MaxPerHostSpinBoxChange();

    QCheckBox* m_robots;
    QDoubleSpinBox* m_hostDelay;
    QSpinBox* m_maxPerHost;
    THttpScan& m_scan;
};
