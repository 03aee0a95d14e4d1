// The window's run journal against sites of the local test server: a search cut short is offered
// at the next start and continued to the same results, its results can be saved instead, and
// journals that hold nothing to continue ask nothing.

#include <gtest/gtest.h>

#include <QFile>
#include <QPlainTextEdit>
#include <QSignalSpy>

#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "EventLoopWait.h"
#include "Shown.h"
#include "THttpScan.h"
#include "TImpl.h"
#include "TMainForm.h"
#include "TRunJournal.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

const QString kResume = "Der letzte Suchlauf wurde nicht beendet. Fortsetzen?";
const QString kSave = "Die Ergebnisse des abgebrochenen Suchlaufs speichern?";

// A page Path with the address Name@example.com that links Count pages Path1, Path2, ... each
// with an address of its own, answering after Delay seconds; Path also links Extra, when given.
std::string Site(const std::string& Path, const std::string& Name, int Count, double Delay,
                 const std::string& Extra = {}) {
    std::string links = Extra.empty() ? "" : " <a href=" + Extra + ">x</a>", pages;
    for (int i = 1; i <= Count; ++i) {
        const std::string page = Path + "p" + std::to_string(i);
        links += " <a href=" + page + ">p</a>";
        pages += ", \"" + page + R"(": {"body": "<a href=mailto:)" + Name + std::to_string(i) +
                 R"(@example.com>m</a>", "delay_before_headers": )" + std::to_string(Delay) + "}";
    }
    return "\"" + Path + R"(": {"body": "<a href=mailto:)" + Name + "@example.com>m</a>" + links +
           "\"}" + pages;
}

// The start page with three addresses and a link to a page that answers after 30 s.
std::string SlowSite() {
    return "{\"routes\": {" + Site("/", "index", 2, 0, "/slow") +
           R"(, "/slow": {"body": "x", "delay_before_headers": 30}}})";
}

class SearchJournalTest : public WindowTest {
protected:
    std::unique_ptr<TMainForm> NewWindow() {
        auto w = WindowTest::NewWindow();
        w->Controls().ProxyRadioGroupBox->SetItemIndex(0);
        w->Controls().CheckBox1->setChecked(true);
        w->HttpScan1().SetConcurrentDownloads(2);
        return w;
    }
    static void Search(TMainForm& w, const std::string& Url) {
        w.Controls().URLEdit->setText(QString::fromStdString(Url));
        w.StartBitBtnClick();
    }
    static void StopSearch(TMainForm& w) {
        w.StopBitBtnClick();
        ASSERT_TRUE(WaitFor([&] { return RunEnded(w); }));
    }
    // A new window, shown as at program start, once it has done its start-up chores.
    std::unique_ptr<TMainForm> StartedWindow() {
        auto w = NewWindow();
        w->show();
        EXPECT_TRUE(WaitFor([&] { return w->isMaximized(); }));
        return w;
    }
    // The journal as a kill would leave it, taken once the window holds Results results.
    QByteArray JournalAfter(TMainForm& w, std::size_t Results) {
        EXPECT_TRUE(WaitFor([&] { return w.ResultLines().size() >= Results; }, 30000));
        return Read(w.JournalFileName());
    }
    void PutBack(const QString& Path, const QByteArray& Data) {
        QFile f(Path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(Data);
    }
    static std::vector<std::string> Sorted(std::vector<std::string> Lines) {
        std::sort(Lines.begin(), Lines.end());
        return Lines;
    }
};

TEST_F(SearchJournalTest, AKilledSearchIsContinuedToTheResultsOfAnUninterruptedOne) {
    TestServer server("{\"routes\": {" + Site("/", "index", 8, 0.15) + "}}");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    // Settings changed for this search only: Program.ini still holds the defaults.
    w->Controls().Edit5->setText("5");
    w->Controls().SpiderOptionsGroupBox->SetItemIndex(1);
    const QString exclude = "nirgends\nK\u00e4se";
    w->Controls().ExcludeMemo->setPlainText(exclude);
    Search(*w, server.Url("/"));
    QByteArray killed = JournalAfter(*w, 4);
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 30000));
    const QString journal = w->JournalFileName();
    EXPECT_FALSE(QFile::exists(journal)) << "a search that ended leaves no journal";
    const std::vector<std::string> uninterrupted = Sorted(w->ResultLines());
    const QString stats = w->Controls().Memo7->toPlainText();
    ASSERT_EQ(uninterrupted.size(), 9u);
    w.reset();

    // A write cut short by the kill is left out, and the user learns so.
    PutBack(journal, killed + "Q\t17");
    const int fetchedBefore = static_cast<int>(server.Requests().size());
    m_prompter.questionAnswers = {true};
    w = StartedWindow();
    EXPECT_EQ(m_prompter.questions, QStringList{kResume});
    // The controls show what the search goes on with.
    EXPECT_EQ(w->Controls().Edit5->text(), "5");
    EXPECT_EQ(w->Controls().SpiderOptionsGroupBox->ItemIndex(), 1);
    EXPECT_EQ(w->Controls().Edit6->text(), "2");
    EXPECT_EQ(w->HttpScan1().Retries(), 5);
    EXPECT_EQ(w->Controls().ExcludeMemo->toPlainText().toStdString(), exclude.toStdString());
    // The statistics go on from the pages done before the kill (the start page at least).
    const QStringList resumedStats = w->Controls().Memo7->toPlainText().split('\n');
    ASSERT_GE(resumedStats.size(), 2);
    EXPECT_GE(resumedStats[1].mid(24).toInt(), 1) << resumedStats[1].toStdString();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 30000));
    EXPECT_EQ(Sorted(w->ResultLines()), uninterrupted);
    EXPECT_EQ(w->Controls().ErgMemo->toPlainText().count('\n') + 1, 9);
    EXPECT_EQ(w->Controls().Memo7->toPlainText().toStdString(), stats.toStdString());
    EXPECT_EQ(w->Controls().URLEdit->text().toStdString(), server.Url("/"));
    ASSERT_EQ(m_prompter.messages.size(), 1);
    EXPECT_EQ(m_prompter.messages[0].toStdString(),
              ("Das Protokoll des letzten Suchlaufs " + journal +
               " war nicht ganz lesbar; verwendet wird nur der lesbare Teil. Ausgelassen: die "
               "letzten 4 Bytes, nicht zu Ende geschrieben.")
                  .toStdString());
    // The start page was done before the kill: it is not fetched again.
    EXPECT_EQ(server.CountRequests("/"), 1);
    EXPECT_LT(static_cast<int>(server.Requests().size()) - fetchedBefore, 9);
    EXPECT_FALSE(QFile::exists(journal));
}

TEST_F(SearchJournalTest, NoDiscardsTheSearchAndOffersItsResults) {
    TestServer server(SlowSite());
    ASSERT_TRUE(server.Start());
    struct Case {
        bool save;
        std::string file;  // what the saved file holds
    };
    for (const Case& c : {Case{true,
                               "index1@example.com\r\nindex2@example.com\r\nindex@example."
                               "com\r\n"},
                          Case{false, "<missing>"}}) {
        SCOPED_TRACE(c.save);
        const QString saved = File(c.save ? "saved.txt" : "unsaved.txt");
        {
            // Stop leaves the journal; the window then goes away without quitting.
            auto w = NewWindow();
            Search(*w, server.Url("/"));
            ASSERT_TRUE(WaitFor([&] { return w->ResultLines().size() == 3; }));
            StopSearch(*w);
            ASSERT_TRUE(QFile::exists(w->JournalFileName()));
        }
        m_prompter.questions.clear();
        m_prompter.questionAnswers = {false, c.save};
        m_prompter.saveAnswers = {saved};
        auto w = StartedWindow();
        EXPECT_EQ(m_prompter.questions, (QStringList{kResume, kSave}));
        EXPECT_EQ(Read(saved).toStdString(), c.file);
        EXPECT_TRUE(w->ResultLines().empty());
        EXPECT_FALSE(QFile::exists(w->JournalFileName()));
        EXPECT_FALSE(w->HttpScan1().Running());
    }
}

TEST_F(SearchJournalTest, AJournalWithNothingToContinueAsksNothing) {
    struct Case {
        const char* name;
        std::function<void(const std::string&)> make;
        bool kept;  // the file is still there afterwards
    };
    const Case cases[] = {
        {"absent", [](const std::string&) {}, false},
        {"finished",
         [](const std::string& path) {
             THttpScan scan;
             ASSERT_TRUE(scan.OpenJournal(path));
             ASSERT_TRUE(scan.FinishJournal());
         },
         false},
        {"begun, no run yet",
         [](const std::string& path) {
             THttpScan scan;
             ASSERT_TRUE(scan.OpenJournal(path));
         },
         false},
        // Left for the next search to replace: it may be someone's file.
        {"not a journal",
         [](const std::string& path) {
             QFile f(QFile::decodeName(path.c_str()));
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write("not a journal\n");
         },
         true},
    };
    const QString journal = NewWindow()->JournalFileName();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.make(QFile::encodeName(journal).toStdString());
        auto w = StartedWindow();
        EXPECT_TRUE(m_prompter.questions.isEmpty());
        EXPECT_TRUE(m_prompter.messages.isEmpty());
        EXPECT_FALSE(w->HttpScan1().Running());
        EXPECT_EQ(QFile::exists(journal), c.kept);
        QFile::remove(journal);
    }
}

TEST_F(SearchJournalTest, StopKeepsTheJournalAndQuittingRemovesIt) {
    TestServer server(SlowSite());
    ASSERT_TRUE(server.Start());
    for (const bool beenden : {true, false}) {
        SCOPED_TRACE(beenden);
        auto w = StartedWindow();
        Search(*w, server.Url("/"));
        ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/slow") > 0; }));
        // Start pressed again during the run neither starts nor replaces the run's journal.
        const QByteArray before = Read(w->JournalFileName());
        w->StartBitBtnClick();
        EXPECT_TRUE(Read(w->JournalFileName()).startsWith(before));
        StopSearch(*w);
        EXPECT_TRUE(QFile::exists(w->JournalFileName()));
        m_prompter.choiceAnswers = {TAnswer::No};  // the results may go unsaved
        if (beenden)
            w->Beenden1Click();
        else
            EXPECT_TRUE(w->close());
        EXPECT_FALSE(QFile::exists(w->JournalFileName()));
    }
}

TEST_F(SearchJournalTest, TheSessionEndingKeepsTheSearchForTheNextStart) {
    TestServer server(SlowSite());
    ASSERT_TRUE(server.Start());
    auto w = StartedWindow();
    QSignalSpy quit(w.get(), &TMainForm::Quit);
    Search(*w, server.Url("/"));
    ASSERT_TRUE(WaitFor([&] { return w->ResultLines().size() == 3; }));
    QFile::remove(m_app.filePath("NoWer.ini"));
    w->EndSession();
    ASSERT_TRUE(WaitFor([&] { return quit.count() == 1; }));
    EXPECT_TRUE(QFile::exists(w->JournalFileName()));
    EXPECT_TRUE(m_prompter.dialogs.isEmpty()) << "no promotion";
    w.reset();

    m_prompter.questionAnswers = {true};
    w = StartedWindow();
    EXPECT_EQ(m_prompter.questions, QStringList{kResume});
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/slow") == 2; }));
    EXPECT_EQ(w->ResultLines().size(), 3u);
    EXPECT_EQ(server.CountRequests("/"), 1);
    StopSearch(*w);
}

TEST_F(SearchJournalTest, ASecondWindowLeavesTheFirstOnesJournalAlone) {
    TestServer server(SlowSite());
    ASSERT_TRUE(server.Start());
    auto first = NewWindow();
    Search(*first, server.Url("/"));
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/slow") == 1; }));
    const QByteArray journal = Read(first->JournalFileName());
    auto second = StartedWindow();
    Search(*second, server.Url("/"));
    ASSERT_TRUE(WaitFor([&] { return server.CountRequests("/slow") == 2; }));
    StopSearch(*second);
    EXPECT_TRUE(m_prompter.questions.isEmpty());
    EXPECT_EQ(m_prompter.messages,
              QStringList{"Das Protokoll des Suchlaufs " + first->JournalFileName() +
                          " wird bereits von einem anderen Tarnwick-Fenster benutzt. Die Suche "
                          "läuft ohne Protokoll und kann nach einem Absturz nicht fortgesetzt "
                          "werden."});
    EXPECT_TRUE(Read(first->JournalFileName()).startsWith(journal));
    // The first goes away as in a crash; the second quits and leaves its journal.
    StopSearch(*first);
    first.reset();
    second->Beenden1Click();
    EXPECT_TRUE(Read(second->JournalFileName()).startsWith(journal));
}

TEST_F(SearchJournalTest, AJournalAnotherProgramHoldsIsNeitherOfferedNorTaken) {
    TestServer server("{\"routes\": {" + Site("/", "index", 2, 0) + "}}");
    ASSERT_TRUE(server.Start());
    const QString file = NewWindow()->JournalFileName();
    // Another program's crawl that can be continued, with its journal open.
    TRunJournal other;
    ASSERT_TRUE(other.Create(file.toStdString()));
    other.Add('B', {"StartingUrl", server.Url("/")});
    other.Commit();
    ASSERT_TRUE(other.Flush());
    const QByteArray held = Read(file);
    auto w = StartedWindow();
    EXPECT_TRUE(m_prompter.questions.isEmpty());
    Search(*w, server.Url("/"));
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w) && w->ResultLines().size() == 3; }));
    EXPECT_EQ(m_prompter.messages,
              QStringList{"Das Protokoll des Suchlaufs " + file +
                          " wird bereits von einem anderen Programm benutzt. Die Suche läuft "
                          "ohne Protokoll und kann nach einem Absturz nicht fortgesetzt werden."});
    w->Beenden1Click();
    EXPECT_EQ(Read(file), held);
}

TEST_F(SearchJournalTest, AJournalThatCannotBeWrittenIsReportedInGerman) {
    TestServer server("{\"routes\": {" + Site("/", "index", 3, 0.1) + "}}");
    ASSERT_TRUE(server.Start());
    struct Case {
        int writes;  // the writes that succeed
        QString message;
        int requests;
    };
    const QString reason = "No space left on device";
    for (const Case& c :
         {Case{0, " konnte nicht angelegt werden: " + reason + ". Die Suche wurde nicht gestartet.",
               0},
          Case{1, " konnte nicht geschrieben werden: " + reason + ". Die Suche wurde angehalten.",
               1}}) {
        SCOPED_TRACE(c.writes);
        auto w = NewWindow();
        ImplOf(w->HttpScan1()).Journal.Write = [n = 0, c](int fd, const void* data,
                                                          std::size_t size) mutable -> ssize_t {
            return n++ < c.writes ? ::write(fd, data, size) : 0;
        };
        const int requestsBefore = static_cast<int>(server.Requests().size());
        m_prompter.messages.clear();
        Search(*w, server.Url("/"));
        ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
        EXPECT_EQ(m_prompter.messages,
                  QStringList{"Das Protokoll des Suchlaufs " + w->JournalFileName() + c.message});
        // Stopped at the failure: the start page at most.
        EXPECT_LE(static_cast<int>(server.Requests().size()) - requestsBefore, c.requests);
        EXPECT_TRUE(w->Controls().StartBitBtn->isEnabled());
    }
}

TEST_F(SearchJournalTest, AListIsContinuedAtTheEntryWhereItStopped) {
    TestServer server(R"({"routes": {"/a": {"body": "<a href=mailto:a@example.com>a</a>"}, )" +
                      Site("/b", "b", 6, 0.15) +
                      R"(, "/c": {"body": "<a href=mailto:c@example.com>c</a>"}}})");
    ASSERT_TRUE(server.Start());
    {
        QFile list(File("list.txt"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        for (const char* path : {"/a", "/b", "/c"}) list.write((server.Url(path) + "\r\n").c_str());
    }
    auto w = NewWindow();
    m_prompter.openAnswers = {File("list.txt")};
    w->ListSearchBitBtnClick();
    w->StartBitBtnClick();
    // Killed in the second entry, once some of its pages are done.
    const QByteArray killed = JournalAfter(*w, 4);
    ASSERT_TRUE(
        WaitFor([&] { return Shown(w->Controls().StartBitBtn->text()) == "Start" && RunEnded(*w); },
                30000));
    const std::vector<std::string> uninterrupted = Sorted(w->ResultLines());
    ASSERT_EQ(uninterrupted.size(), 9u);
    const QString journal = w->JournalFileName();
    EXPECT_FALSE(QFile::exists(journal));
    w.reset();

    PutBack(journal, killed);
    m_prompter.questionAnswers = {true};
    w = StartedWindow();
    EXPECT_EQ(m_prompter.questions, QStringList{kResume});
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(Shown(u.ListSearchBitBtn->text()), "Seite 2 durchsuchen");
    EXPECT_EQ(Shown(u.StartBitBtn->text()), "Start Liste");
    ASSERT_TRUE(WaitFor(
        [&] { return Shown(u.ListSearchBitBtn->text()) == "Liste abarbeiten" && RunEnded(*w); },
        30000));
    EXPECT_EQ(Sorted(w->ResultLines()), uninterrupted);
    EXPECT_EQ(server.CountRequests("/a"), 1);
    EXPECT_EQ(server.CountRequests("/b"), 1);
    EXPECT_EQ(server.CountRequests("/c"), 2);
    EXPECT_FALSE(QFile::exists(journal));
}

}  // namespace
