#include <gtest/gtest.h>

#include <sys/stat.h>

#include <QComboBox>
#include <QFile>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>

#include <memory>

#include "EventLoopWait.h"
#include "FakePrompter.h"
#include "Shown.h"
#include "THttpScan.h"
#include "TMainForm.h"
#include "TSpezialURLForm.h"
#include "TestServer.h"
#include "ui_TMainForm.h"

namespace {

class TMainFormTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_app.isValid() && m_state.isValid());
        // The hint and the promotional window stay away unless a test wants them.
        Touch("NoTip.ini");
    }
    QString AppFile(const QString& name) const { return m_app.filePath(name); }
    void Touch(const QString& name) {
        QFile f(AppFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    void WriteFile(const QString& name, const QByteArray& bytes) {
        QFile f(AppFile(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray ReadFile(const QString& name) const {
        QFile f(AppFile(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::unique_ptr<TMainForm> NewWindow() {
        return std::make_unique<TMainForm>(m_app.path(), m_state.path(), m_prompter);
    }
    std::string TypeList(TMainForm& w) { return w.HttpScan1().TypeList(); }

    QTemporaryDir m_app;
    QTemporaryDir m_state;
    FakePrompter m_prompter;
};

TEST_F(TMainFormTest, LayoutHasEveryControlWithItsGermanText) {
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(w->windowTitle(), "Tarnwick pro");
    EXPECT_EQ(u.PageControl1->count(), 3);
    EXPECT_EQ(Shown(u.PageControl1->tabText(0)), "Email-Adressen suchen");
    EXPECT_EQ(Shown(u.PageControl1->tabText(1)), "Filter");
    EXPECT_EQ(Shown(u.PageControl1->tabText(2)), "Optionen");
    EXPECT_EQ(u.PageControl1->currentIndex(), 0);
    EXPECT_EQ(Shown(u.Label14->text()), "Startseite");
    EXPECT_EQ(Shown(u.CheckUrlBitBtn->text()), "Seite anzeigen");
    EXPECT_EQ(Shown(u.ListSearchBitBtn->text()), "Liste abarbeiten");
    EXPECT_TRUE(u.StartBitBtn->isEnabled());
    EXPECT_FALSE(u.StopBitBtn->isEnabled());
    EXPECT_FALSE(u.Stop1->isEnabled());
    EXPECT_EQ(Shown(u.Label3->text()), "Tiefe der zu verfolgenden Links");
    EXPECT_EQ(Shown(u.Label1->text()), "Anzahl parallerer Prozesse gleichzeitig");
    EXPECT_EQ(u.SpiderOptionsGroupBox->title(), "Spider Einstellungen");
    EXPECT_EQ(u.SpiderOptionsGroupBox->Items(),
              (QStringList{"Alle Links verfolgen", "Nur Links der Startseite",
                           "Nur Links mit gleicher Quell-URL"}));
    EXPECT_EQ(u.ProxyRadioGroupBox->Items(), (QStringList{"Direkte Verbindung", "Proxy verwenden",
                                                          "Einstellungen des Browsers verwenden"}));
    EXPECT_EQ(u.Edit8->toolTip(), "IP Adresse oder Name des Proxy-Servers");
    EXPECT_EQ(u.MaskEdit1->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(u.SearchForMemo->isHidden());
    EXPECT_TRUE(u.FilterCheckBox->isHidden());
    EXPECT_TRUE(u.FilterCheckBox->isChecked());
    EXPECT_TRUE(u.RedirectionCheckBox->isHidden());
    EXPECT_TRUE(u.RadioGroup3->isHidden());
    EXPECT_EQ(u.RadioGroup3->ItemIndex(), -1);
    EXPECT_TRUE(u.Memo6->isReadOnly());
    EXPECT_TRUE(u.ErgMemo->isReadOnly());
    EXPECT_EQ(u.GroupBox2->title(), "URL muss Begriffe enthalten");
    EXPECT_EQ(u.GroupBox1->title(), "URL darf Begriffe nicht enthalten");
    EXPECT_EQ(Shown(u.Programm1->title()), "Programm");
    EXPECT_EQ(Shown(u.Hilfe1->title()), "Hilfe");
    EXPECT_EQ(Shown(u.Beenden1->text()), "Beenden");
}

TEST_F(TMainFormTest, DefaultsWithoutProgramIni) {
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    THttpScan& scan = w->HttpScan1();
    EXPECT_EQ(u.URLEdit->text(), "");
    EXPECT_EQ(u.Edit3->text(), "3");
    EXPECT_EQ(u.Edit6->text(), "6");
    EXPECT_EQ(scan.DepthSearchLevel(), 3);
    EXPECT_EQ(scan.ConcurrentDownloads(), 6);
    EXPECT_EQ(u.SpiderOptionsGroupBox->ItemIndex(), 0);
    EXPECT_EQ(scan.LinkScan(), scanAllLinks);
    EXPECT_FALSE(u.IncludeCheckBox->isChecked());
    EXPECT_FALSE(u.ExcludeCheckBox->isChecked());
    EXPECT_FALSE(scan.KeywordsFilterEnabled());
    EXPECT_FALSE(scan.KeywordsLimiterEnabled());
    EXPECT_EQ(u.Edit5->text(), "");
    EXPECT_EQ(u.Edit7->text(), "");
    EXPECT_EQ(scan.Retries(), 3);
    EXPECT_EQ(scan.TimeOut(), 300);
    // The first start uses the system's proxy settings, so the first harvest works.
    EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), 2);
    EXPECT_EQ(scan.ProxyType(), PROXY_DEFAULT);
    EXPECT_EQ(scan.ProxyAddress(), "");
    EXPECT_EQ(scan.ProxyPort(), 80);
    // The crawler looks for mail addresses from the start; the first start ticks their box.
    EXPECT_TRUE(u.CheckBox1->isChecked());
    for (QCheckBox* box : {u.CheckBox2, u.CheckBox3, u.CheckBox4, u.CheckBox5, u.CheckBox6})
        EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(TypeList(*w), "mail\r\n");
    EXPECT_TRUE(scan.TypeFilterEnabled());
    EXPECT_TRUE(scan.AllowRedirect());
    EXPECT_EQ(scan.LinkReport(), reportAllLinks);
    EXPECT_EQ(scan.FileOfResults(), m_state.filePath("Tarnwick.bin").toStdString());
    // Nothing is written while the program runs.
    EXPECT_FALSE(QFile::exists(AppFile("Program.ini")));
}

TEST_F(TMainFormTest, LoadedValuesAreReadByTheirRulesAndReachTheCrawler) {
    WriteFile("Program.ini",
              "[SETTINGS]\r\nURL=http://start.example/\r\nDepth=0\r\nConcurrentDownloads=250\r\n"
              "SpiderOptionsGroupBox=2\r\nsearch_gif=true\r\nsearch_jpg=1\r\nsearch_zip=TRUE\r\n"
              "IncludeUrlsChecked=True\r\nRetrys=abc\r\nTimeout=45\r\nProxyRadioGroupBox=7\r\n"
              "IpAdress=proxy.example\r\nPort=8080x\r\nUserName=pu\r\nPassword=pw\r\n");
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    THttpScan& scan = w->HttpScan1();
    EXPECT_EQ(u.URLEdit->text(), "http://start.example/");
    EXPECT_EQ(u.Edit3->text(), "1");
    EXPECT_EQ(scan.DepthSearchLevel(), 1);
    EXPECT_EQ(u.Edit6->text(), "100");
    EXPECT_EQ(scan.ConcurrentDownloads(), 100);
    EXPECT_EQ(scan.LinkScan(), scanInitialPath);
    EXPECT_TRUE(u.CheckBox3->isChecked());   // "true" in lower case
    EXPECT_FALSE(u.CheckBox2->isChecked());  // "1" is not TRUE
    EXPECT_TRUE(u.CheckBox6->isChecked());
    EXPECT_EQ(TypeList(*w), "gif\r\nzip\r\n");
    EXPECT_TRUE(scan.KeywordsLimiterEnabled());
    EXPECT_EQ(u.Edit5->text(), "abc");
    EXPECT_EQ(scan.Retries(), 3);
    EXPECT_EQ(scan.TimeOut(), 45);
    EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), 2);
    EXPECT_EQ(scan.ProxyType(), PROXY_DEFAULT);
    EXPECT_EQ(scan.ProxyAddress(), "proxy.example");
    EXPECT_EQ(scan.ProxyPort(), 80);
    EXPECT_EQ(scan.ProxyUser(), "pu");
    EXPECT_EQ(scan.ProxyPassword(), "pw");
}

TEST_F(TMainFormTest, ControlsPassTheirValuesWhenTheyChange) {
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    THttpScan& scan = w->HttpScan1();
    u.UpDown1->UpButton()->click();
    EXPECT_EQ(u.Edit3->text(), "4");
    EXPECT_EQ(scan.DepthSearchLevel(), 4);
    u.UpDown2->DownButton()->click();
    EXPECT_EQ(scan.ConcurrentDownloads(), 5);
    u.ErgMemo->setPlainText("mail  a@b.example");
    u.SpiderOptionsGroupBox->Button(1)->click();
    EXPECT_EQ(scan.LinkScan(), scanInitialSite);
    EXPECT_TRUE(u.ErgMemo->toPlainText().isEmpty());
    u.ExcludeCheckBox->setChecked(true);
    EXPECT_TRUE(scan.KeywordsFilterEnabled());
    u.ExcludeMemo->setPlainText("Werbung\nTRACK");
    EXPECT_EQ(scan.ExcludeKeywords(), "track\r\nwerbung\r\n");
    u.CheckBox1->setChecked(true);
    u.CheckBox5->setChecked(true);
    EXPECT_EQ(u.SearchForMemo->toPlainText(), "mail\npdf");
    EXPECT_EQ(TypeList(*w), "mail\r\npdf\r\n");
    u.CheckBox1->setChecked(false);
    u.CheckBox5->setChecked(false);
    EXPECT_EQ(scan.TypeList(), "");
    u.Edit7->setText("x");
    EXPECT_EQ(scan.TimeOut(), 300);
    u.Edit9->setText("3128");
    EXPECT_EQ(scan.ProxyPort(), 3128);
    u.ProxyRadioGroupBox->Button(0)->click();
    EXPECT_EQ(scan.ProxyType(), PROXY_DIRECT);
}

TEST_F(TMainFormTest, SettingsSurviveASaveAndALoadByteForByte) {
    {
        auto w = NewWindow();
        Ui::TMainForm& u = w->Controls();
        u.URLEdit->setText("http://host.example/a,b?q=\"x\"&r=\u00e4");
        u.UpDown1->UpButton()->click();
        u.UpDown2->UpButton()->click();
        u.SpiderOptionsGroupBox->SetItemIndex(2);
        u.CheckBox1->setChecked(false);
        u.CheckBox2->setChecked(true);
        u.CheckBox4->setChecked(true);
        u.IncludeCheckBox->setChecked(true);
        u.Edit5->setText("letters");
        u.Edit7->setText(" 60 ");
        u.ProxyRadioGroupBox->SetItemIndex(0);
        u.Edit8->setText("\"quoted\"");
        u.Edit9->setText("3128");
        u.Edit4->setText("user, name");
        u.MaskEdit1->setText("p\u00e4ss;word=1");
        u.IncludeMemo->setPlainText("shop\nkontakt");
        u.ExcludeMemo->setPlainText("");
        w->SaveSettings();
    }
    const QByteArray ini = ReadFile("Program.ini");
    EXPECT_TRUE(ini.startsWith("[SETTINGS]\r\nURL=http://host.example/a,b?q=\"x\"&r=\xe4\r\n"))
        << ini.toStdString();
    EXPECT_TRUE(ini.contains("Retrys=letters\r\n"));
    EXPECT_TRUE(ini.contains("search_mail=FALSE\r\nsearch_jpg=TRUE\r\n"));
    EXPECT_TRUE(ini.contains("Password=p\xe4ss;word=1\r\n"));  // plain text, as it always was
    struct stat info {};
    ASSERT_EQ(stat(QFile::encodeName(AppFile("Program.ini")).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);  // it holds the proxy password
    EXPECT_EQ(ReadFile("Include.ini"), "shop\r\nkontakt\r\n");
    EXPECT_EQ(ReadFile("Exclude.ini"), "");

    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(u.URLEdit->text(), "http://host.example/a,b?q=\"x\"&r=\u00e4");
    EXPECT_EQ(u.Edit3->text(), "4");
    EXPECT_EQ(u.Edit6->text(), "7");
    EXPECT_EQ(u.SpiderOptionsGroupBox->ItemIndex(), 2);
    EXPECT_TRUE(u.CheckBox2->isChecked());
    EXPECT_TRUE(u.CheckBox4->isChecked());
    EXPECT_FALSE(u.CheckBox1->isChecked());
    EXPECT_TRUE(u.IncludeCheckBox->isChecked());
    EXPECT_EQ(u.Edit5->text(), "letters");
    EXPECT_EQ(u.Edit7->text(), " 60 ");
    EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), 0);
    EXPECT_EQ(u.Edit8->text(), "\"quoted\"");
    EXPECT_EQ(u.Edit4->text(), "user, name");
    EXPECT_EQ(u.MaskEdit1->text(), "p\u00e4ss;word=1");
    EXPECT_EQ(u.IncludeMemo->toPlainText(), "shop\nkontakt");
    EXPECT_EQ(w->HttpScan1().IncludeKeywords(), "kontakt\r\nshop\r\n");
    EXPECT_EQ(w->HttpScan1().ProxyPort(), 3128);
    EXPECT_EQ(w->HttpScan1().TimeOut(), 60);
}

TEST_F(TMainFormTest, HintOnFirstShowUnlessSuppressed) {
    {
        auto w = NewWindow();
        w->show();
        SpinFor(50);
        EXPECT_TRUE(m_prompter.dialogs.isEmpty());
        EXPECT_TRUE(w->isMaximized());
    }
    QFile::remove(AppFile("NoTip.ini"));
    auto w = NewWindow();
    w->show();
    SpinFor(50);
    w->hide();
    w->show();
    SpinFor(50);
    EXPECT_EQ(m_prompter.dialogs, QStringList{"TTipForm"});  // once per program run
}

TEST_F(TMainFormTest, ClosingWhileIdleSavesDeletesAndShowsThePromotion) {
    auto w = NewWindow();
    QSignalSpy quit(w.get(), &TMainForm::Quit);
    QFile results(w->ResultsFileName());
    ASSERT_TRUE(results.open(QIODevice::WriteOnly));
    results.close();
    w->show();
    SpinFor(20);
    EXPECT_TRUE(w->close());
    EXPECT_FALSE(QFile::exists(w->ResultsFileName()));
    EXPECT_TRUE(QFile::exists(AppFile("Program.ini")));
    EXPECT_EQ(m_prompter.dialogs, QStringList{"TPromoForm"});
    EXPECT_EQ(quit.count(), 1);

    Touch("NoWer.ini");
    m_prompter.dialogs.clear();
    auto second = NewWindow();
    EXPECT_TRUE(second->close());
    EXPECT_TRUE(m_prompter.dialogs.isEmpty());
}

TEST_F(TMainFormTest, CloseDuringARunStopsItAndClosesAtItsEnd) {
    TestServer server(R"({"routes": {"/": {"body": "<p>slow</p>", "delay_before_headers": 30}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    QSignalSpy quit(w.get(), &TMainForm::Quit);
    w->Controls().ProxyRadioGroupBox->SetItemIndex(0);
    w->Controls().URLEdit->setText(QString::fromStdString(server.Url("/")));
    w->show();
    w->StartBitBtnClick();
    ASSERT_FALSE(w->ScanIdle());
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/") == 1; }));

    // Beenden does nothing while a run is active.
    w->Beenden1Click();
    EXPECT_EQ(quit.count(), 0);
    EXPECT_TRUE(w->isVisible());

    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->CloseRequested());
    EXPECT_FALSE(QFile::exists(AppFile("Program.ini")));
    ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }, 10000));
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(w->ScanIdle());
    EXPECT_TRUE(QFile::exists(AppFile("Program.ini")));
    EXPECT_FALSE(QFile::exists(w->ResultsFileName()));
}

TEST_F(TMainFormTest, BeendenWhenIdleEndsWithoutThePromotion) {
    auto w = NewWindow();
    QSignalSpy quit(w.get(), &TMainForm::Quit);
    w->show();
    w->Beenden1Click();
    EXPECT_EQ(quit.count(), 1);
    EXPECT_FALSE(w->isVisible());
    EXPECT_TRUE(m_prompter.dialogs.isEmpty());
    EXPECT_TRUE(QFile::exists(AppFile("Program.ini")));
}

TEST_F(TMainFormTest, MissingKeywordFilesGiveEmptyListsAndShippedOnesAreLoaded) {
    WriteFile("Exclude.ini", "track\r\nhitbox\r\n");
    auto w = NewWindow();
    EXPECT_EQ(w->Controls().IncludeMemo->toPlainText(), "");
    EXPECT_EQ(w->Controls().ExcludeMemo->toPlainText(), "track\nhitbox");
    EXPECT_EQ(w->HttpScan1().ExcludeKeywords(), "hitbox\r\ntrack\r\n");
}

TEST_F(TMainFormTest, TheUrlBuilderFillsTheStartUrlOnlyWhenAccepted) {
    auto w = NewWindow();
    w->Controls().URLEdit->setText("http://before.example/");
    m_prompter.onModal = [](QDialog&) { return QDialog::Rejected; };
    w->SpecialBitBtnClick();
    EXPECT_EQ(w->Controls().URLEdit->text(), "http://before.example/");

    m_prompter.onModal = [](QDialog& dialog) {
        auto& builder = dynamic_cast<TSpezialURLForm&>(dialog);
        builder.ComboBox1()->setCurrentIndex(1);
        builder.Edit1()->setText(" Musik ");
        builder.BitBtn1Click();
        return QDialog::Accepted;
    };
    w->Controls().SpezialURL1->trigger();  // the menu item does the same as the button
    EXPECT_EQ(w->Controls().URLEdit->text(),
              "http://www.google.de/search?q=Musik&btnG=Google-Suche&meta=lr%3Dlang_de");
    EXPECT_EQ(m_prompter.dialogs.size(), 2);
    EXPECT_FALSE(w->HttpScan1().Running());  // no run starts
}

TEST_F(TMainFormTest, InfoShowsTheAboutBox) {
    auto w = NewWindow();
    w->Controls().Info1->trigger();
    ASSERT_EQ(m_prompter.dialogs.size(), 1);
    EXPECT_EQ(m_prompter.dialogs[0], "TAboutBox");
}

}  // namespace
