// The group "Rücksicht auf Server": its settings reach the crawler and Program.ini, and a crawl
// that keeps to a server's rules shows what it skipped and why it waits.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QStatusBar>

#include "EventLoopWait.h"
#include "TIniFile.h"
#include "TServerOptions.h"
#include "TWhyForm.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

using ServerOptionsTest = WindowTest;

TEST_F(ServerOptionsTest, SettingsReachTheCrawlerAndProgramIniAndOldFilesLoadUnchanged) {
    {
        // A Program.ini of an earlier version: the crawler's defaults, everything off.
        QFile ini(m_app.filePath("Program.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        ini.write("[SETTINGS]\r\nDepth=2\r\n");
    }
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_FALSE(u.RobotsCheckBox->isChecked());
    EXPECT_FALSE(w->HttpScan1().ObeyRobotsTxt());
    EXPECT_EQ(w->HttpScan1().HostDelayMs(), 0);
    EXPECT_EQ(u.MaxPerHostSpinBox->text(), "unbegrenzt");

    u.RobotsCheckBox->setChecked(true);
    u.HostDelaySpinBox->setValue(1.5);
    u.MaxPerHostSpinBox->setValue(2);
    EXPECT_TRUE(w->HttpScan1().ObeyRobotsTxt());
    EXPECT_EQ(w->HttpScan1().HostDelayMs(), 1500);
    EXPECT_EQ(w->HttpScan1().MaxPerHost(), 2);
    w->Beenden1Click();

    const TIniFile saved(m_app.filePath("Program.ini"));
    EXPECT_TRUE(saved.ReadBool("SETTINGS", "ObeyRobotsTxt", false));
    EXPECT_EQ(saved.ReadInteger("SETTINGS", "HostDelayMs", -1), 1500);
    EXPECT_EQ(saved.ReadInteger("SETTINGS", "MaxPerHost", -1), 2);
    auto again = NewWindow();
    EXPECT_TRUE(again->HttpScan1().ObeyRobotsTxt());
    EXPECT_EQ(again->HttpScan1().HostDelayMs(), 1500);
    EXPECT_EQ(again->HttpScan1().MaxPerHost(), 2);
}

TEST(ServerOptionsTextTest, WaitsAreToldInGerman) {
    const struct {
        QString server;
        int ms;
        QString reason, text;
    } cases[] = {
        {"http://www.example.org:80", 4000, "Retry-After",
         "Warte 4 s auf www.example.org (Retry-After)"},
        {"https://www.example.org:443", 1200, "Crawl-delay",
         "Warte 2 s auf www.example.org (Crawl-delay)"},
        {"http://127.0.0.1:8080", 2000, "429", "Warte 2 s auf 127.0.0.1:8080 (zu viele Anfragen)"},
        {"http://host.test:80", 1000, "delay", "Warte 1 s auf host.test (Pause je Server)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TServerOptions::WaitText(c.server, c.ms, c.reason), c.text);
    EXPECT_EQ(TServerOptions::ExcludedLine(3).indexOf(':'), 22);  // aligned with the six lines
}

TEST_F(ServerOptionsTest, ARunShowsWhatRobotsTxtExcludedAndWhyItWaits) {
    TestServer server(R"({"routes": {
        "/robots.txt": {"body": "User-agent: *\nDisallow: /intern", "content_type": "text/plain"},
        "/": {"body": "<a href=mailto:a@example.com>a</a> <a href=/intern/x.htm>x</a> <a href=/p.htm>p</a>"},
        "/intern/x.htm": {"body": "<a href=mailto:intern@example.com>i</a>"},
        "/p.htm": {"before": [{"status": 429, "headers": [["Retry-After", "2"]]}],
                   "body": "<a href=mailto:p@example.com>p</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    u.ProxyRadioGroupBox->SetItemIndex(0);
    u.CheckBox1->setChecked(true);
    u.RobotsCheckBox->setChecked(true);
    u.URLEdit->setText(QString::fromStdString(server.Url("/")));
    QString waitShown;
    QObject::connect(u.StatusBar1, &QStatusBar::messageChanged, [&](const QString& message) {
        if (!message.isEmpty()) waitShown = message;
    });
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 20000));

    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  a@example.com\nmail  p@example.com");
    EXPECT_EQ(server.CountRequests("/intern/x.htm"), 0);
    const QStringList stats = u.Memo7->toPlainText().split('\n');
    ASSERT_EQ(stats.size(), 7);
    EXPECT_EQ(stats[6], " Gesperrt (robots.txt): 1");
    EXPECT_EQ(waitShown, QString("Warte 2 s auf 127.0.0.1:%1 (Retry-After)").arg(server.Port()));
}

// The window assigns no meta-tag handler: the crawler reads a page's nofollow all the same.
TEST_F(ServerOptionsTest, AFirstStartObeysRobotsTxtAndNoFollowUntilTheBoxIsUnticked) {
    TestServer server(R"({"routes": {
        "/": {"body": "<html><head><meta name=robots content=nofollow></head><body><a href=mailto:start@example.org>s</a> <a href=/p.htm>p</a></body></html>"},
        "/p.htm": {"body": "<a href=mailto:p@example.org>p</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();  // no Program.ini yet
    Ui::TMainForm& u = w->Controls();
    EXPECT_TRUE(u.RobotsCheckBox->isChecked());
    EXPECT_TRUE(w->HttpScan1().ObeyRobotsTxt());
    u.ProxyRadioGroupBox->SetItemIndex(0);
    const QString start = QString::fromStdString(server.Url("/"));
    const QString page = QString::fromStdString(server.Url("/p.htm"));
    auto crawl = [&] {
        u.URLEdit->setText(start);
        w->StartBitBtnClick();
        return WaitFor([&] { return RunEnded(*w); }, 20000);
    };
    ASSERT_TRUE(crawl());
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  start@example.org");
    EXPECT_EQ(server.CountRequests("/p.htm"), 0);
    w->WhyForm().Ask(page);
    EXPECT_EQ(w->WhyForm().AnswerText(),
              "Gefunden auf " + start +
                  " (Tiefe 1). Nicht besucht: Die Seite, auf der der Link steht, bittet mit "
                  "\"nofollow\" (Meta-Tag robots oder X-Robots-Tag), ihren Links nicht zu folgen "
                  "(Optionen, Rücksicht auf Server: \"robots.txt beachten\").");

    u.RobotsCheckBox->setChecked(false);
    ASSERT_TRUE(crawl());
    EXPECT_TRUE(u.ErgMemo->toPlainText().contains("mail  p@example.org"));
    EXPECT_EQ(server.CountRequests("/p.htm"), 1);
    w->SaveSettings();
    w.reset();
    // The choice once saved is kept.
    EXPECT_FALSE(NewWindow()->Controls().RobotsCheckBox->isChecked());
}

}  // namespace
