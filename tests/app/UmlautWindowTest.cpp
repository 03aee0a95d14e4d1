// The window on pages with text outside ASCII: the result list shows characters, saved files are
// UTF-8, and a start URL, keywords and settings typed with umlauts reach the engine and come back
// unchanged.

#include <gtest/gtest.h>

#include <QListWidget>

#include "EventLoopWait.h"
#include "TZusammenfassenForm.h"
#include "TestServer.h"
#include "UmlautSite.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

class UmlautWindowTest : public WindowTest {
protected:
    // A window that harvests addresses and PDF links straight from 127.0.0.1.
    std::unique_ptr<TMainForm> NewWindow() {
        auto w = WindowTest::NewWindow();
        w->Controls().ProxyRadioGroupBox->SetItemIndex(0);
        w->Controls().CheckBox1->setChecked(true);
        w->Controls().CheckBox5->setChecked(true);
        return w;
    }
    void Run(TMainForm& w, const QString& Url) {
        w.Controls().URLEdit->setText(Url);
        w.StartBitBtnClick();
        ASSERT_TRUE(WaitFor([&] { return RunEnded(w); }));
    }
};

TEST_F(UmlautWindowTest, TheListShowsCharactersAndTheSavedFileIsUtf8) {
    TestServer server(UmlautSiteConfig());
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Run(*w, QString::fromStdString(server.Url("/")));
    const QString pdf = QString::fromStdString(server.Url("/pr%C3%BCfung.pdf"));
    const QString books = QString::fromStdString(server.Url("/b%C3%BCcher.pdf"));
    // Both pages' umlauts read right, the UTF-8 page's and the Latin-1 page's; the file once.
    EXPECT_EQ(w->Controls().ErgMemo->toPlainText(),
              QString::fromUtf8("mail  jürgen@müller.test\n"
                                "mail  anna@müller.test\n"
                                "pdf   ") +
                  pdf +
                  QString::fromUtf8("\nmail  müller@latin.test\n"
                                    "pdf   ") +
                  books);

    m_prompter.saveAnswers = {File("out.txt")};
    w->SaveBitBtnClick();
    EXPECT_EQ(Read(File("out.txt")), "anna@m\xC3\xBCller.test\r\n" + books.toUtf8() + "\r\n" +
                                         pdf.toUtf8() +
                                         "\r\nj\xC3\xBCrgen@m\xC3\xBCller.test\r\n"
                                         "m\xC3\xBCller@latin.test\r\n");

    // The result manager merges into UTF-8: a file that an older version saved in Latin-1 gives
    // its results as characters, and one it shares with a UTF-8 file is kept once.
    QFile more(File("more.txt"));
    ASSERT_TRUE(more.open(QIODevice::WriteOnly));
    more.write("anna@m\xC3\xBCller.test\r\nz\xFC@x.test\r\nm\xFCller@latin.test\r\n");
    more.close();
    TZusammenfassenForm& merger = w->Merger();
    merger.ChooseFolder(m_files.path());
    for (int i = 0; i < merger.CheckListBox1()->count(); ++i)
        merger.CheckListBox1()->item(i)->setCheckState(Qt::Checked);
    m_prompter.saveAnswers = {File("all.txt")};
    merger.ZusammenfassenBitBtnClick();
    EXPECT_EQ(Read(File("all.txt")), Read(File("out.txt")) + "z\xC3\xBC@x.test\r\n");
}

TEST_F(UmlautWindowTest, ATypedStartUrlWithUmlautsIsCrawledAndKeptInTheSettings) {
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=\"/k\u00c3\u00a4se/\">k</a> <a href=\"/other/x.pdf\">o</a>"},
        "/k%C3%A4se/": {"body": "<a href=\"mailto:k\u00c3\u00a4se@example.test\">k</a> <a href=\"a.pdf\">a</a>"}}})");
    ASSERT_TRUE(server.Start());
    const QString port = QString::number(server.Port());
    const QString start = QString::fromUtf8("http://müller.localhost:") + port + "/";
    {
        auto w = NewWindow();
        // A keyword outside ASCII finds the URLs, which are kept percent-encoded.
        w->Controls().IncludeMemo->setPlainText(QString::fromUtf8("käse"));
        w->Controls().IncludeCheckBox->setChecked(true);
        w->Controls().ExcludeMemo->setPlainText(QString::fromUtf8("€uro"));
        Run(*w, start);
        EXPECT_EQ(w->Controls().URLEdit->text(), start);
        EXPECT_EQ(w->Controls().ErgMemo->toPlainText(),
                  QString::fromUtf8("mail  käse@example.test\npdf   ") + start + "k%C3%A4se/a.pdf")
            << w->Controls().ErgMemo->toPlainText().toStdString();
        w->SaveSettings();
    }
    ASSERT_FALSE(server.Requests().empty());
    EXPECT_EQ(server.Requests().front().headers.at("host"),
              "xn--mller-kva.localhost:" + port.toStdString());
    // Text that fits Latin-1 is stored as before; text beyond it as UTF-8. Both load back.
    EXPECT_TRUE(Read(m_app.filePath("Program.ini"))
                    .contains("URL=http://m\xFCller.localhost:" + port.toLatin1() + "/\r\n"));
    EXPECT_EQ(Read(m_app.filePath("Include.ini")), "k\xE4se\r\n");
    EXPECT_EQ(Read(m_app.filePath("Exclude.ini")), "\xE2\x82\xACuro\r\n");
    auto again = NewWindow();
    EXPECT_EQ(again->Controls().URLEdit->text(), start);
    EXPECT_EQ(again->Controls().IncludeMemo->toPlainText(), QString::fromUtf8("käse"));
    EXPECT_EQ(again->Controls().ExcludeMemo->toPlainText(), QString::fromUtf8("€uro"));
}

}  // namespace
