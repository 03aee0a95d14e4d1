// Harvest runs in the window against sites served by the local test server: run control, list
// mode, the status displays, saving and the result manager.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>
#include <set>

#include "EventLoopWait.h"
#include "FakePrompter.h"
#include "Shown.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TJournalReader.h"
#include "TMainForm.h"
#include "TWhyForm.h"
#include "TZusammenfassenForm.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

const QString kReminder =
    "Zur Erinnerung: Sie haben eine Filter in der Lasche \"Filter\" für die URL gesetzt!";

class HarvestRunTest : public WindowTest {
protected:
    // A window that harvests e-mail addresses straight from 127.0.0.1.
    std::unique_ptr<TMainForm> NewWindow() {
        auto w = WindowTest::NewWindow();
        w->Controls().ProxyRadioGroupBox->SetItemIndex(0);
        w->Controls().CheckBox1->setChecked(true);
        return w;
    }
    void WriteLines(const QString& name, const QStringList& lines) {
        QFile f(File(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        for (const QString& line : lines) f.write(line.toLatin1() + "\r\n");
    }
    static QString Q(const std::string& s) { return QString::fromStdString(s); }
};

TEST_F(HarvestRunTest, ARunFromAUrlWithoutSchemeFillsEveryDisplay) {
    TestServer server(R"({"routes": {"/": {"body":
        "<a href=mailto:info@example.com>a</a> <a href=mailto:team%40example.com>b</a> <a href=/x.htm>x</a>"},
        "/x.htm": {"body": "<img src=pic.jpg>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    const QString bare = QString("127.0.0.1:%1/").arg(server.Port());
    u.URLEdit->setText(bare);
    QFile(w->ResultsFileName()).open(QIODevice::WriteOnly);
    w->StartBitBtnClick();
    EXPECT_EQ(u.URLEdit->text(), "http://" + bare);
    EXPECT_TRUE(m_prompter.informations.isEmpty());
    EXPECT_FALSE(u.StartBitBtn->isEnabled());
    EXPECT_TRUE(u.StopBitBtn->isEnabled());
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));

    EXPECT_EQ(w->StatusText(), "   2 Links gefunden...     Done.");
    EXPECT_EQ(u.ResultLabel->text(), "Ergebnis: 2 Links");
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  info@example.com\nmail  team@example.com");
    EXPECT_EQ(u.Memo6->toPlainText(), "http://" + bare + "\nhttp://" + bare + "x.htm");
    // A first start obeys robots.txt: the seventh line counts what it forbade.
    const QStringList stats = u.Memo7->toPlainText().split('\n');
    ASSERT_EQ(stats.size(), 7);
    EXPECT_EQ(stats[0], "      Noch zu besuchen: 0");
    EXPECT_EQ(stats[1], "         Besuchte URLs: 2");
    EXPECT_EQ(stats[2], "         Lade herunter: 0");
    EXPECT_EQ(stats[3], "   Noch zu Analysieren: 0");
    EXPECT_EQ(stats[4], " Wiederholungsversuche: 0");
    EXPECT_EQ(stats[5], "     Fehlerhafte Links: 0");
    EXPECT_EQ(stats[6], " Gesperrt (robots.txt): 0");
    for (const QString& line : stats) EXPECT_EQ(line.indexOf(':'), 22);
    EXPECT_TRUE(u.StartBitBtn->isEnabled());
    EXPECT_FALSE(u.StopBitBtn->isEnabled());
    EXPECT_FALSE(QFile::exists(w->ResultsFileName()));
}

TEST_F(HarvestRunTest, AResultsFileThatCannotBeWrittenIsReportedInGerman) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=mailto:info@example.com>a</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->HttpScan1().SetFileOfResults("/dev/full");
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(m_prompter.messages,
              QStringList{"Die Ergebnisdatei /dev/full konnte nicht geschrieben werden: No space "
                          "left on device. Die Suche wurde angehalten."});
}

// An index page linking Count pages (each is asked for once). Without DelaySeconds the pages
// are not there; with it each answers after that time, so that the run outlasts several
// statistics reports even when it crawls as fast as it can.
std::string ManyLinks(int Count, double DelaySeconds = 0) {
    std::string body, pages;
    for (int i = 1; i <= Count; ++i) {
        const std::string name = "/p" + std::to_string(i) + ".htm";
        body += "<a href=" + name.substr(1) + ">p</a> ";
        if (DelaySeconds > 0)
            pages += R"(, ")" + name + R"(": {"body": "x", "delay_before_headers": )" +
                     std::to_string(DelaySeconds) + "}";
    }
    return R"({"routes": {"/": {"body": ")" + body + R"("})" + pages + "}}";
}

TEST_F(HarvestRunTest, LinksWaitingForRoomInTheQueueHaveALineOfTheirOwn) {
    TestServer server(ManyLinks(30, 0.03));
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(QFile::decodeName(w->HttpScan1().SpillFolder().c_str()), m_state.path());
    w->HttpScan1().SetMaxQueueSize(10);
    u.RobotsCheckBox->setChecked(false);  // the deferred links' line is the seventh
    int mostDeferred = -1;
    QObject::connect(u.Memo7, &QPlainTextEdit::textChanged, [&] {
        const QStringList lines = u.Memo7->toPlainText().split('\n');
        if (lines.size() == 7) mostDeferred = std::max(mostDeferred, lines[6].mid(24).toInt());
    });
    u.URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 30000));
    const QStringList stats = u.Memo7->toPlainText().split('\n');
    ASSERT_EQ(stats.size(), 7);
    EXPECT_EQ(stats[0], "      Noch zu besuchen: 0");
    EXPECT_EQ(stats[5], "     Fehlerhafte Links: 0");
    EXPECT_EQ(stats[6], "        Zurückgestellt: 0");
    for (const QString& line : stats) EXPECT_EQ(line.indexOf(':'), 22);
    EXPECT_GT(mostDeferred, 0);
    EXPECT_LE(mostDeferred, 20);
    for (int i = 1; i <= 30; ++i)
        EXPECT_EQ(server.CountRequests("/p" + std::to_string(i) + ".htm"), 1) << i;
}

TEST_F(HarvestRunTest, DeferredLinksThatCannotBeKeptAreReportedInGerman) {
    TestServer server(ManyLinks(30));
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->HttpScan1().SetMaxQueueSize(10);
    TUrlOverflow& overflow = ImplOf(w->HttpScan1()).Dwnld.Overflow;
    overflow.Budget = 1;
    overflow.OpenSpill = [](const std::string&, std::string&) {
        const int fd = ::open("/dev/full", O_RDWR);
        return fd >= 0 ? std::make_unique<TSpillFile>(fd, "/dev/full") : nullptr;
    };
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 30000));
    EXPECT_EQ(m_prompter.messages.join('|').toStdString(),
              std::string("Die zurückgestellten Links konnten nicht gespeichert werden (cannot "
                          "write overflow file /dev/full: No space left on device). Die Suche "
                          "wurde angehalten."));
    EXPECT_EQ(server.CountRequests("/p30.htm"), 0);
}

TEST_F(HarvestRunTest, BothFiltersTickedRemindOnce) {
    TestServer server(R"({"routes": {"/": {"body": "<p>x</p>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->Controls().IncludeCheckBox->setChecked(true);
    w->Controls().ExcludeCheckBox->setChecked(true);
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    EXPECT_EQ(m_prompter.informations, QStringList{kReminder});
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
}

TEST_F(HarvestRunTest, AListIsCrawledInFileOrderAndItsResultsGather) {
    TestServer server(R"({"routes": {
        "/a": {"body": "<a href=mailto:same@example.com>s</a> <a href=mailto:a@example.com>a</a>"},
        "/b": {"body": "<a href=mailto:same@example.com>s</a>"},
        "/c": {"body": "<a href=mailto:SAME@example.com>s</a> <a href=mailto:same@example.com>s</a>"}}})");
    ASSERT_TRUE(server.Start());
    WriteLines("list.txt", {Q(server.Url("/a")), Q(server.Url("/b")), Q(server.Url("/c"))});
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    m_prompter.openAnswers = {File("list.txt")};
    w->ListSearchBitBtnClick();
    ASSERT_EQ(m_prompter.informations.size(), 1);
    EXPECT_TRUE(m_prompter.informations[0].startsWith("Hier kann eine Liste von URLs"));
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start Liste");

    QStringList captions;
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor(
        [&] {
            const QString caption = Shown(u.ListSearchBitBtn->text());
            if (captions.isEmpty() || captions.back() != caption) captions << caption;
            return caption == "Liste abarbeiten" && RunEnded(*w);
        },
        30000));
    EXPECT_EQ(captions, (QStringList{"Seite 1 durchsuchen", "Seite 2 durchsuchen",
                                     "Seite 3 durchsuchen", "Liste abarbeiten"}));
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start");
    std::vector<std::string> order;
    for (const TestRequest& r : server.Requests())
        if (r.path != "/robots.txt") order.push_back(r.path);
    EXPECT_EQ(order, (std::vector<std::string>{"/a", "/b", "/c"}));

    // Each run reports the address again; the list counts every report.
    EXPECT_EQ(w->ResultLines().size(), 4u);
    EXPECT_EQ(u.ResultLabel->text(), "Ergebnis: 4 Links");

    // Saved: each distinct line once, addresses that differ in case both kept.
    m_prompter.saveAnswers = {File("saved.txt")};
    w->SaveBitBtnClick();
    EXPECT_EQ(Read(File("saved.txt")), "a@example.com\r\nSAME@example.com\r\nsame@example.com\r\n");
    EXPECT_EQ(u.ResultLabel->text(), "Ergebnis: 3 Links (ohne Dubletten) wurden gespeichert!");
    EXPECT_EQ(m_prompter.informations.back(),
              "Ergebnis wurde gespeichert! Eventuelle vorhandene Dubletten wurden gelöscht!");
    EXPECT_TRUE(u.ErgMemo->toPlainText().isEmpty());
    EXPECT_EQ(w->LastSaveDir(), m_files.path() + "/");
}

TEST_F(HarvestRunTest, StopEndsOnlyTheCurrentEntryOfAList) {
    TestServer server(R"({"routes": {"/a": {"body": "<p>a</p>"},
        "/b": {"body": "<p>b</p>", "delay_before_headers": 30},
        "/c": {"body": "<a href=mailto:c@example.com>c</a>"}}})");
    ASSERT_TRUE(server.Start());
    WriteLines("list.txt", {Q(server.Url("/a")), Q(server.Url("/b")), Q(server.Url("/c"))});
    auto w = NewWindow();
    m_prompter.openAnswers = {File("list.txt")};
    w->ListSearchBitBtnClick();
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/b") == 1; }));
    w->StopBitBtnClick();
    EXPECT_TRUE(w->StatusText().endsWith("    stopping..."));
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/c") == 1; }, 20000));
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w) && w->ResultLines().size() == 1; }));
    EXPECT_EQ(w->ResultLines()[0], "mail  c@example.com");
}

TEST_F(HarvestRunTest, ClosingDuringAListEndsAfterTheCurrentRun) {
    TestServer server(R"({"routes": {"/a": {"body": "<p>a</p>", "delay_before_headers": 30},
        "/b": {"body": "<p>b</p>"}}})");
    ASSERT_TRUE(server.Start());
    WriteLines("list.txt", {Q(server.Url("/a")), Q(server.Url("/b"))});
    auto w = NewWindow();
    QSignalSpy quit(w.get(), &TMainForm::Quit);
    m_prompter.openAnswers = {File("list.txt")};
    w->ListSearchBitBtnClick();
    w->show();
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/a") == 1; }));
    EXPECT_FALSE(w->close());
    ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }, 20000));
    SpinFor(300);  // the list timer would have fired by now
    EXPECT_EQ(server.CountRequests("/b"), 0);
    EXPECT_FALSE(w->isVisible());
}

TEST_F(HarvestRunTest, AFailedSaveKeepsTheResultList) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=mailto:x@example.com>x</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    m_prompter.saveAnswers = {File("no/such/folder/out.txt")};
    w->SaveBitBtnClick();
    ASSERT_EQ(m_prompter.informations.size(), 1);
    EXPECT_EQ(m_prompter.informations[0],
              "Die Datei \"" + File("no/such/folder/out.txt") +
                  "\" konnte nicht geschrieben werden: Die Datei oder ihr Ordner ist nicht "
                  "vorhanden.");
    EXPECT_EQ(w->Controls().ErgMemo->toPlainText(), "mail  x@example.com");
    EXPECT_EQ(w->ResultLines().size(), 1u);

    // Cancelling the dialog changes nothing either; an empty list is not saved at all.
    w->SaveBitBtnClick();
    EXPECT_EQ(w->ResultLines().size(), 1u);
    m_prompter.saveAnswers = {File("one.txt"), File("empty.txt")};
    w->SaveBitBtnClick();
    w->SaveBitBtnClick();
    EXPECT_EQ(Read(File("one.txt")), "x@example.com\r\n");
    EXPECT_EQ(Read(File("empty.txt")), "<missing>");
    EXPECT_EQ(m_prompter.informations.back(), "Die Ergebnisliste ist leer.");
    EXPECT_EQ(w->Controls().ResultLabel->text(),
              "Ergebnis: 1 Links (ohne Dubletten) wurden gespeichert!");
}

TEST_F(HarvestRunTest, TheManagerMergesTickedFilesWithoutDuplicates) {
    QStringList first, second, third;
    for (int i = 0; i < 10; ++i) first << QString("first%1@example.com").arg(i);
    for (int i = 0; i < 5; ++i) second << first[i];  // five lines stand in both
    for (int i = 0; i < 15; ++i) second << QString("second%1@example.com").arg(i);
    for (int i = 0; i < 30; ++i) third << QString("third%1@example.com").arg(i);
    WriteLines("one.txt", first);
    WriteLines("two.txt", second);
    WriteLines("three.txt", third);
    WriteLines("notes.md", {"not listed"});

    auto w = NewWindow();
    TZusammenfassenForm& merger = w->Merger();
    EXPECT_EQ(merger.windowTitle(), "Ergebnis Manager");
    merger.ChooseFolder(m_files.path());
    QListWidget* list = merger.CheckListBox1();
    std::set<QString> names;
    for (int i = 0; i < list->count(); ++i) names.insert(list->item(i)->text());
    EXPECT_EQ(names, (std::set<QString>{"one.txt", "two.txt", "three.txt"}));

    merger.ZusammenfassenBitBtnClick();
    EXPECT_EQ(m_prompter.informations.back(), "Bitte treffen Sie zuerst eine Auswahl!");

    for (int i = 0; i < list->count(); ++i) list->item(i)->setCheckState(Qt::Checked);
    m_prompter.saveAnswers = {File("two.txt")};  // the target is one of the sources
    merger.ZusammenfassenBitBtnClick();
    const QList<QByteArray> merged = Read(File("two.txt")).split('\n');
    EXPECT_EQ(merged.size(), 56);  // 55 lines and the empty rest after the last line end
    EXPECT_EQ(w->Controls().ResultLabel->text(),
              "Ergebnis: 55 Links (ohne Dubletten) wurden gespeichert!");
    EXPECT_EQ(m_prompter.informations.back(),
              "Zusammenfassung wurde gespeichert! Eventuelle vorhandene Dubletten wurden "
              "gelöscht!");
    EXPECT_EQ(merged[0], "first0@example.com\r");
    for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->item(i)->checkState(), Qt::Unchecked);

    // Opening needs a selection.
    list->setCurrentItem(nullptr);
    merger.CheckListBox1DblClick();
    EXPECT_EQ(m_prompter.informations.back(), "Bitte treffen Sie zuerst eine Auswahl!");
}

TEST_F(HarvestRunTest, AddressesOfTheNeverCollectListAreShownSavedAndMergedNowhere) {
    TestServer server(R"({"routes": {"/": {"body":
        "<a href=mailto:Anna@Example.org>a</a> <a href=mailto:bert@example.org>b</a> <a href=mailto:x@sub.verein.example>v</a> <a href=mailto:cleo@example.org>c</a>"}}})");
    ASSERT_TRUE(server.Start());
    {
        QFile list(m_app.filePath("Sperrliste.ini"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("anna@example.org\r\n@.verein.example\r\n");
    }
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(u.NeverMemo->toPlainText(), "anna@example.org\n@.verein.example");
    w->HttpScan1().SetFileOfResults(File("results.bin").toStdString());
    u.URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  bert@example.org\nmail  cleo@example.org");
    EXPECT_TRUE(w->StatusText().endsWith("Done.     Nie erfasst: 2 Adressen der Sperrliste"))
        << w->StatusText().toStdString();
    const QByteArray results = Read(File("results.bin")).toLower();
    EXPECT_TRUE(results.contains("bert@example.org")) << results.toStdString();
    EXPECT_FALSE(results.contains("anna") || results.contains("verein")) << results.toStdString();

    // An address listed later leaves the result list at once, and so is never saved.
    u.NeverMemo->appendPlainText("BERT@example.org");
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  cleo@example.org");
    EXPECT_EQ(u.ResultLabel->text(), "Ergebnis: 1 Links");
    m_prompter.saveAnswers = {File("saved.txt")};
    w->SaveBitBtnClick();
    EXPECT_EQ(Read(File("saved.txt")), "cleo@example.org\r\n");

    // The manager leaves listed addresses out of what it merges.
    WriteLines("old.txt", {"anna@example.org", "dora@example.org", "kassenwart@verein.example"});
    TZusammenfassenForm& merger = w->Merger();
    merger.ChooseFolder(m_files.path());
    QListWidget* files = merger.CheckListBox1();
    for (int i = 0; i < files->count(); ++i) files->item(i)->setCheckState(Qt::Checked);
    m_prompter.saveAnswers = {File("merged.txt")};
    merger.ZusammenfassenBitBtnClick();
    EXPECT_EQ(Read(File("merged.txt")), "cleo@example.org\r\ndora@example.org\r\n");

    w->SaveSettings();
    EXPECT_EQ(Read(m_app.filePath("Sperrliste.ini")),
              "anna@example.org\r\n@.verein.example\r\nBERT@example.org\r\n");
    EXPECT_EQ(QFile::permissions(m_app.filePath("Sperrliste.ini")),
              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser |
                  QFileDevice::WriteUser);

    // A line that is no entry is named at the next start.
    u.NeverMemo->appendPlainText("Anna Beispiel");
    m_prompter.informations.clear();
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(m_prompter.informations,
              QStringList{"In der Liste \"Nie erfassen\" ist Zeile 4 weder eine Adresse noch "
                          "eine Domain und wird nicht beachtet. Bitte korrigieren Sie sie."});
}

TEST_F(HarvestRunTest, APageThatCannotBeFetchedIsToldInTheStatusBarWithItsReason) {
    EXPECT_EQ(TMainForm::FailureText("http://a.test/", TFetchFailure::TimedOut, 200),
              "Nicht geladen: http://a.test/ (Zeitüberschreitung)");
    EXPECT_EQ(TMainForm::FailureText("http://a.test/x", TFetchFailure::HttpStatus, 404),
              "Nicht geladen: http://a.test/x (HTTP-Status 404)");
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    u.RobotsCheckBox->setChecked(false);
    u.Edit5->setText("1");
    u.URLEdit->setText("http://127.0.0.1:1/");
    QStringList shown;
    QObject::connect(u.StatusBar1, &QStatusBar::messageChanged, [&](const QString& message) {
        if (!message.isEmpty()) shown << message;
    });
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(shown, QStringList{"Nicht geladen: http://127.0.0.1:1/ (Verbindung abgelehnt)"});
    EXPECT_EQ(w->StatusText(), "   Working...     Done.");

    // Obeying robots.txt, a server that does not answer has forbidden nothing: the page is a
    // failed link, and the reason is the refused connection of its robots.txt.
    u.RobotsCheckBox->setChecked(true);
    shown.clear();
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(shown, QStringList{"Nicht geladen: http://127.0.0.1:1/ (robots.txt nicht lesbar: "
                                 "Verbindung abgelehnt)"});
    const QStringList stats = u.Memo7->toPlainText().split('\n');
    ASSERT_EQ(stats.size(), 7);
    EXPECT_EQ(stats[5], "     Fehlerhafte Links: 1");
    EXPECT_EQ(stats[6], " Gesperrt (robots.txt): 0");
    w->WhyForm().Ask("http://127.0.0.1:1/");
    EXPECT_EQ(w->WhyForm().AnswerText(),
              "Startadresse des Laufs. Nicht besucht: Die robots.txt des Servers konnte nicht "
              "gelesen werden (Verbindung abgelehnt). Ohne sie wird von diesem Server nichts "
              "geladen (Optionen, Rücksicht auf Server: \"robots.txt beachten\"). Unter dieser "
              "Adresse und diesem Port nimmt kein Server Verbindungen an: Adresse und Port "
              "prüfen.");
}

TEST_F(HarvestRunTest, TheManagerOpensAtTheLastSaveFolder) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=mailto:x@example.com>x</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    WriteLines("kept.txt", {"a@example.com"});
    m_prompter.saveAnswers = {File("saved.txt")};
    w->SaveBitBtnClick();
    m_prompter.onModal = [](QDialog& dialog) {
        dialog.show();  // shows it once, which refreshes the list from the last save folder
        dialog.hide();
        return QDialog::Rejected;
    };
    w->ErgManagerBitBtnClick();
    EXPECT_EQ(w->Merger().CurrentFolder(), m_files.path() + "/");
    EXPECT_EQ(w->Merger().CheckListBox1()->count(), 2);
}

}  // namespace

TEST_F(HarvestRunTest, AWindowDestroyedDuringARunLeavesItsJournalToResume) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=/slow>s</a>"},
        "/slow": {"body": "<p>s</p>", "delay_before_headers": 30}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    w->Controls().URLEdit->setText(Q(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/slow") == 1; }));
    const QString journal = w->JournalFileName();
    // The engine ends its run while the window goes: no handler of the half-destroyed window
    // may run, and the journal stays for the next start.
    w.reset();
    const TJournalContents kept = TJournalReader::Read(journal.toStdString());
    EXPECT_TRUE(kept.Resumable()) << kept.Error;
    ASSERT_EQ(kept.Runs.size(), 1u);
    EXPECT_FALSE(kept.Runs[0].Finished);
}
