// "Nur Kontaktseiten": kept in Program.ini, passed to the crawler, and a search that follows
// only the pages that Kontaktseiten.ini names.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>

#include "EventLoopWait.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

class ContactPagesWindowTest : public WindowTest {
protected:
    void WriteAppFile(const QString& Name, const QByteArray& Bytes) {
        QFile f(m_app.filePath(Name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Bytes);
    }
};

TEST_F(ContactPagesWindowTest, TheBoxIsSavedLoadedAndTellsTheCrawler) {
    {
        auto w = NewWindow();
        QCheckBox& box = *w->Controls().ContactPagesCheckBox;
        EXPECT_EQ(box.text(), "Nur &Kontaktseiten");
        EXPECT_FALSE(box.isChecked());
        EXPECT_FALSE(w->HttpScan1().FollowKeywordsEnabled());
        box.setChecked(true);
        EXPECT_TRUE(w->HttpScan1().FollowKeywordsEnabled());
        w->SaveSettings();
    }
    const QByteArray ini = Read(m_app.filePath("Program.ini"));
    // A key of its own, after the described ones.
    EXPECT_GT(ini.indexOf("ContactPagesOnly=TRUE\r\n"), ini.indexOf("Password="));
    auto w = NewWindow();
    EXPECT_TRUE(w->Controls().ContactPagesCheckBox->isChecked());
    EXPECT_TRUE(w->HttpScan1().FollowKeywordsEnabled());
    w->Controls().ContactPagesCheckBox->setChecked(false);
    EXPECT_FALSE(w->HttpScan1().FollowKeywordsEnabled());
}

TEST_F(ContactPagesWindowTest, ASearchFollowsOnlyThePagesOfTheListAndAnEmptyListIsSaid) {
    TestServer server(R"({"routes": {
        "/": {"body": "<a href=/%C3%BCber-uns.htm>u</a> <a href=/produkte.htm>p</a>"},
        "/%C3%BCber-uns.htm": {"body": "<a href=mailto:info@example.org>m</a>"},
        "/produkte.htm": {"body": "<a href=mailto:verkauf@example.org>m</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    u.ProxyRadioGroupBox->SetItemIndex(0);
    u.CheckBox1->setChecked(true);
    u.ContactPagesCheckBox->setChecked(true);
    u.URLEdit->setText(QString::fromStdString(server.Url("/")));

    WriteAppFile("Kontaktseiten.ini", "\r\n");
    w->StartBitBtnClick();
    EXPECT_FALSE(w->HttpScan1().Running());
    ASSERT_EQ(m_prompter.informations.size(), 1);
    EXPECT_TRUE(m_prompter.informations[0].contains("enthält keinen Begriff"));

    WriteAppFile("Kontaktseiten.ini",
                 "Impressum\r\n\xC3\x9C"
                 "ber-uns\r\n");
    w->StartBitBtnClick();
    EXPECT_EQ(w->HttpScan1().FollowKeywords(),
              "impressum\r\n\xC3\xBC"
              "ber-uns\r\n");
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  info@example.org");
    EXPECT_EQ(server.CountRequests("/produkte.htm"), 0);
}

}  // namespace
