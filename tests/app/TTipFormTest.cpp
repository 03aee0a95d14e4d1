#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QObject>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include "FakePrompter.h"
#include "Shown.h"
#include "TTipForm.h"

namespace {

// Stands in for the browser: records the addresses it was asked to open.
class BrowserRecorder : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void Open(const QUrl& url) { opened.append(url); }
};

class TTipFormTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_app.isValid()); }
    QString AppPath() const { return m_app.path() + "/"; }
    QString Marker() const { return m_app.filePath("NoTip.ini"); }

    QTemporaryDir m_app;
    FakePrompter m_prompter;
};

TEST_F(TTipFormTest, TickedWeiterWritesAnEmptyMarkerAndCloses) {
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    tip.CheckBox1()->setChecked(true);
    tip.BitBtn1Click();
    EXPECT_EQ(tip.result(), QDialog::Accepted);
    QFile marker(Marker());
    ASSERT_TRUE(marker.exists());
    EXPECT_EQ(marker.size(), 0);
    EXPECT_TRUE(m_prompter.messages.isEmpty());
}

TEST_F(TTipFormTest, MarkerWithContentIsReplacedByAnEmptyOne) {
    {
        QFile old(Marker());
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("[old]\r\nkey=value\r\n");
    }
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    tip.CheckBox1()->setChecked(true);
    tip.BitBtn1Click();
    EXPECT_EQ(QFile(Marker()).size(), 0);
}

TEST_F(TTipFormTest, NothingIsWrittenUnlessTickedAndWeiter) {
    TTipForm unticked(AppPath(), nullptr, &m_prompter);
    EXPECT_FALSE(unticked.CheckBox1()->isChecked());
    unticked.BitBtn1Click();
    EXPECT_EQ(unticked.result(), QDialog::Accepted);
    EXPECT_FALSE(QFile::exists(Marker()));

    // The close box and Escape reject the dialog; even a ticked box leaves no file then.
    TTipForm rejected(AppPath(), nullptr, &m_prompter);
    rejected.CheckBox1()->setChecked(true);
    rejected.reject();
    EXPECT_FALSE(QFile::exists(Marker()));

    TTipForm closed(AppPath(), nullptr, &m_prompter);
    closed.show();
    closed.CheckBox1()->setChecked(true);
    EXPECT_TRUE(closed.close());
    EXPECT_EQ(closed.result(), QDialog::Rejected);
    EXPECT_FALSE(QFile::exists(Marker()));
}

TEST_F(TTipFormTest, UnwritableMarkerIsReportedAndTheDialogStillCloses) {
    // A folder in the marker's place makes the write fail on any platform and any user.
    ASSERT_TRUE(QDir(m_app.path()).mkdir("NoTip.ini"));
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    tip.CheckBox1()->setChecked(true);
    tip.BitBtn1Click();
    EXPECT_EQ(tip.result(), QDialog::Accepted);
    ASSERT_EQ(m_prompter.messages.size(), 1);
    EXPECT_FALSE(m_prompter.messages[0].isEmpty());
}

TEST_F(TTipFormTest, ClickOnTheExampleAddressOpensItInTheBrowser) {
    BrowserRecorder browser;
    QDesktopServices::setUrlHandler("http", &browser, "Open");
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    tip.show();
    QLabel* link = tip.Label2();
    EXPECT_EQ(link->text(), TTipForm::ExamplePage());
    EXPECT_EQ(link->cursor().shape(), Qt::PointingHandCursor);

    // A right click is no link click.
    QTest::mouseClick(link, Qt::RightButton);
    EXPECT_TRUE(browser.opened.isEmpty());
    QTest::mouseClick(link, Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");

    ASSERT_EQ(browser.opened.size(), 1);
    EXPECT_EQ(browser.opened[0], QUrl(TTipForm::ExamplePage()));
    EXPECT_TRUE(m_prompter.messages.isEmpty());
}

TEST_F(TTipFormTest, BrowserFailureShowsTheEnglishMessage) {
    // A handler without the named slot makes the desktop report failure, like a missing browser.
    BrowserRecorder broken;
    QDesktopServices::setUrlHandler("http", &broken, "NoSuchSlot");
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    tip.Label2Click();
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(m_prompter.messages,
              QStringList{"Unable to start internet browser! Make sure you have it properly "
                          "set-up on your system!"});
}

TEST_F(TTipFormTest, ShowsTheHintTexts) {
    TTipForm tip(AppPath(), nullptr, &m_prompter);
    EXPECT_EQ(tip.windowTitle(), "Hinweis");
    const auto text = [&](const char* name) {
        auto* label = tip.findChild<QLabel*>(name);
        return label ? label->text() : QString("<missing %1>").arg(name);
    };
    EXPECT_EQ(text("Label3"), "Tipp");
    EXPECT_EQ(text("Label4"), "Bitte unbedingt lesen sonst funktioniert das Programm nicht!");
    EXPECT_EQ(text("Memo1"),
              "Entscheident für die Funktion ist, dass Sie eine gute Startseite wissen! ");
    EXPECT_EQ(text("Memo4"),
              "Von dieser Startseite aus verfolgt Tarnwick pro alle Links, besucht alle "
              "nachfolgenden Seiten \nund sucht dort nach Email-Adressen.");
    EXPECT_EQ(text("Label1"), "Hier ein Beispiel für eine gute Startseite:");
    EXPECT_EQ(text("Label5"),
              "Es handlet sich hierbei um eine Liste von Musikbands deren Seiten besucht und "
              "deren Email-Adressen gescannt werden.");
    EXPECT_EQ(text("Memo2").split('\n'),
              (QStringList{"Sie können nun natürlich im Internet einfach nach Startseiten mit "
                           "Themengebieten suchen z.B. ",
                           "Listen mit Autohändlern, Listen mit mittelständischen Betrieben, "
                           "Listen mit Reisebüros etc. etc."}));
    EXPECT_EQ(text("Memo3").split('\n'),
              (QStringList{"Sie können auch eine Suchmaschinenseite oder ein Forum als "
                           "Startseite nehmen. Geben Sie ",
                           "hierzu in der gewünschten Suchmaschine Ihr Themengebiet ein und "
                           "drücken Sie auf Suche. ",
                           "Sie können nun den dementsprechenden Link mit Ihrem Suchergebnis von "
                           "Ihrem Browser in den ",
                           "Tarnwick kopieren und somit die Suchmaschinenseite als Startseite "
                           "verwenden."}));
    EXPECT_EQ(Shown(tip.CheckBox1()->text()), "Diese Meldung nicht mehr anzeigen");
}

TEST_F(TTipFormTest, PictureLoadsFromRecomAndMayBeMissing) {
    TTipForm without(AppPath(), nullptr, &m_prompter);
    auto* empty = without.findChild<QLabel*>("Image1");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->pixmap().isNull());

    ASSERT_TRUE(QDir(m_app.path()).mkdir("recom"));
    const QString shipped = QStringLiteral(TARNWICK_DATA_DIR "/recom/tip.jpg");
    ASSERT_TRUE(QFile::copy(shipped, m_app.filePath("recom/tip.jpg")));
    TTipForm with(AppPath(), nullptr, &m_prompter);
    EXPECT_FALSE(with.findChild<QLabel*>("Image1")->pixmap().isNull());
}

}  // namespace

#include "TTipFormTest.moc"
