// The window as a daily tool: no harvest lost by a click (closing, saving twice, changing the
// follow mode), reasons a user can act on (the list's summary, a first start, the help without
// a browser) and the keyboard (typed numbers, one stop per radio group, the lists and their
// menu).

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "EventLoopWait.h"
#include "FileText.h"
#include "THelpForm.h"
#include "THttpScan.h"
#include "TIniFile.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

const QString kUnsaved = "Das Ergebnis ist noch nicht gespeichert. Jetzt speichern?";

class DailyUseTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(m_server.Start());
    }
    // A window that connects directly, with Url (when given) as its start page.
    std::unique_ptr<TMainForm> DirectWindow(const std::string& Url = {}) {
        auto w = NewWindow();
        w->Controls().ProxyRadioGroupBox->SetItemIndex(0);
        if (!Url.empty()) w->Controls().URLEdit->setText(QString::fromStdString(Url));
        return w;
    }
    // A window that has harvested two addresses and not saved them.
    std::unique_ptr<TMainForm> Harvested() {
        auto w = DirectWindow(m_server.Url("/"));
        w->StartBitBtnClick();
        EXPECT_TRUE(WaitFor([&] { return RunEnded(*w); }));
        EXPECT_EQ(w->ResultLines().size(), 2u);
        return w;
    }
    // Shows W and makes it the active window, as the keyboard needs.
    static void Activate(TMainForm& W) {
        W.show();
        QApplication::setActiveWindow(&W);
        ASSERT_TRUE(WaitFor([&] { return W.isActiveWindow(); }, 5000));
    }

    TestServer m_server{R"({"routes": {"/": {"body":
        "<a href=mailto:a@example.com>a</a> <a href=mailto:b@example.com>b</a>"}}})"};
};

TEST_F(DailyUseTest, ClosingWithUnsavedResultsAsksFirst) {
    struct Case {
        const char* Name;
        bool ByMenu;  // "Beenden" instead of the close button
        TAnswer Answer;
        bool Ends, Saved;
    };
    for (const Case& c : {Case{"cancel", false, TAnswer::Cancel, false, false},
                          Case{"cancel menu", true, TAnswer::Cancel, false, false},
                          Case{"no", false, TAnswer::No, true, false},
                          Case{"yes menu", true, TAnswer::Yes, true, true}}) {
        SCOPED_TRACE(c.Name);
        m_prompter.questions.clear();
        m_prompter.choiceAnswers = {c.Answer};
        m_prompter.saveAnswers = {File(QString(c.Name) + ".txt")};
        auto w = Harvested();
        w->show();
        QSignalSpy quit(w.get(), &TMainForm::Quit);
        if (c.ByMenu)
            w->Beenden1Click();
        else
            w->close();
        EXPECT_EQ(m_prompter.questions, QStringList{kUnsaved});
        EXPECT_EQ(quit.count(), c.Ends ? 1 : 0);
        EXPECT_EQ(w->isVisible(), !c.Ends);
        EXPECT_EQ(Read(File(QString(c.Name) + ".txt")),
                  c.Saved ? "a@example.com\r\nb@example.com\r\n" : "<missing>");
        // Kept open, the window still holds the harvest, and closing again asks again.
        if (!c.Ends) {
            EXPECT_EQ(w->ResultLines().size(), 2u);
            EXPECT_FALSE(w->CloseRequested());
        }
    }
    // Nothing unsaved: no question.
    m_prompter.questions.clear();
    auto w = NewWindow();
    w->show();
    EXPECT_TRUE(w->close());
    EXPECT_TRUE(m_prompter.questions.isEmpty());
}

TEST_F(DailyUseTest, ClosingDuringARunAsksOnceTheRunHasEnded) {
    TestServer slow(
        R"({"routes": {"/": {"body": "<a href=mailto:s@example.com>s</a> <a href=/x>x</a>"},
        "/x": {"body": "<p>x</p>", "delay_before_headers": 30}}})");
    ASSERT_TRUE(slow.Start());
    auto w = DirectWindow(slow.Url("/"));
    w->show();
    m_prompter.choiceAnswers = {TAnswer::Cancel};
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return slow.CountRequests("/x") == 1; }));
    EXPECT_FALSE(w->close());
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }, 20000));
    // The stopped run's result is offered for saving; cancelled, the window stays.
    EXPECT_EQ(m_prompter.questions, QStringList{kUnsaved});
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->ResultLines(), std::vector<std::string>{"mail  s@example.com"});
}

TEST_F(DailyUseTest, SavingAnEmptyListNeverEmptiesTheFileJustSaved) {
    auto w = Harvested();
    m_prompter.saveAnswers = {File("out.txt"), File("out.txt")};
    w->SaveBitBtnClick();
    ASSERT_EQ(Read(File("out.txt")), "a@example.com\r\nb@example.com\r\n");
    w->Controls().Ergebnisspeichern1->trigger();  // Strg+S again
    EXPECT_EQ(m_prompter.informations.back(), "Die Ergebnisliste ist leer.");
    EXPECT_EQ(m_prompter.saveProposals.size(), 1);  // no dialog the second time
    EXPECT_EQ(Read(File("out.txt")), "a@example.com\r\nb@example.com\r\n");
}

TEST_F(DailyUseTest, ChangingTheFollowModeAsksBeforeItEmptiesTheList) {
    auto w = Harvested();
    TRadioGroup& group = *w->Controls().SpiderOptionsGroupBox;
    ASSERT_EQ(group.ItemIndex(), 0);
    group.Button(1)->click();  // "Nein": the old choice and the results stay
    ASSERT_EQ(m_prompter.questions.size(), 1);
    EXPECT_EQ(group.ItemIndex(), 0);
    EXPECT_TRUE(group.Button(0)->isChecked());
    EXPECT_EQ(w->HttpScan1().LinkScan(), scanAllLinks);
    EXPECT_EQ(w->ResultLines().size(), 2u);
    m_prompter.questionAnswers = {true};  // "Ja": emptied and changed
    group.Button(1)->click();
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(w->HttpScan1().LinkScan(), scanInitialSite);
    EXPECT_TRUE(w->ResultLines().empty());
    group.Button(2)->click();  // nothing left to lose: no question
    EXPECT_EQ(m_prompter.questions.size(), 2);
    EXPECT_EQ(w->HttpScan1().LinkScan(), scanInitialPath);
}

TEST_F(DailyUseTest, AFirstStartLooksForMailAndAStartWithoutATypeIsRefused) {
    auto first = NewWindow();
    EXPECT_TRUE(first->Controls().CheckBox1->isChecked());
    EXPECT_EQ(first->Controls().SearchForMemo->toPlainText(), "mail");
    first.reset();

    // Settings of a user who ticked nothing: Start says so and starts nothing.
    TIniFile ini(m_app.filePath("Program.ini"));
    ini.WriteString("SETTINGS", "URL", QString::fromStdString(m_server.Url("/")));
    QString error;
    ASSERT_TRUE(ini.Save(false, error));
    auto w = DirectWindow();
    EXPECT_FALSE(w->Controls().CheckBox1->isChecked());
    w->StartBitBtnClick();
    ASSERT_EQ(m_prompter.informations.size(), 1);
    EXPECT_TRUE(m_prompter.informations[0].startsWith("Unter \"Suchen nach\" ist nichts"));
    EXPECT_FALSE(w->HttpScan1().Running());
    EXPECT_TRUE(w->Controls().StartBitBtn->isEnabled());
    EXPECT_EQ(m_server.Requests().size(), 0u);
}

TEST_F(DailyUseTest, AFinishedListSaysWhichEntriesFailedAndWhy) {
    WriteAll(File("list.txt"), m_server.Url("/") + "\r\nhttp://127.0.0.1:1/\r\nhttp://\r\n");
    auto w = DirectWindow();
    w->Controls().Edit5->setText("0");
    m_prompter.openAnswers = {File("list.txt")};
    w->ListSearchBitBtnClick();
    w->StartBitBtnClick();
    ASSERT_TRUE(
        WaitFor([&] { return m_prompter.informations.size() == 2 && RunEnded(*w); }, 30000));
    EXPECT_EQ(m_prompter.informations.back(),
              "Die Liste ist abgearbeitet: 3 Einträge, davon 1 durchsucht und 2 "
              "fehlgeschlagen.\n\nFehlgeschlagen:\n"
              "Eintrag 2: http://127.0.0.1:1/ (robots.txt nicht lesbar: Verbindung abgelehnt)\n"
              "Eintrag 3: http:// (keine gültige Adresse)");
}

TEST_F(DailyUseTest, WithoutABrowserTheHelpOpensInAWindowOfItsOwn) {
    QDir().mkpath(m_app.filePath("help"));
    WriteAll(m_app.filePath("help/help.html"),
             "<html><body><h1>Hilfe</h1><p>So finden Sie Adressen.</p></body></html>");
    auto w = NewWindow();
    QStringList asked;
    w->SetDocumentOpener([&](const QString& document) {
        asked << document;
        return false;
    });
    w->Controls().Hilfedatei1->trigger();
    EXPECT_EQ(asked, QStringList{w->AppPath() + "help/help.html"});
    ASSERT_TRUE(w->HelpForm());
    EXPECT_TRUE(w->HelpForm()->isVisible());
    EXPECT_TRUE(w->HelpForm()->Browser().toPlainText().contains("So finden Sie Adressen."));
    EXPECT_TRUE(m_prompter.messages.isEmpty());
    // The other two still say that no browser started.
    w->Controls().Update1->trigger();
    w->CheckUrlBitBtnClick();
    EXPECT_EQ(m_prompter.messages.size(), 2);
    EXPECT_TRUE(m_prompter.messages[0].startsWith("Unable to start internet browser!"));
}

TEST_F(DailyUseTest, DepthAndParallelDownloadsTakeDigitsAndKeysWithinTheirRange) {
    auto w = NewWindow();
    Activate(*w);
    Ui::TMainForm& u = w->Controls();
    struct Step {
        QLineEdit* Edit;
        std::function<void()> Keys;
        int Shown;
    };
    const auto type = [](QLineEdit* e, const QString& text) {
        return [e, text] {
            e->selectAll();
            QTest::keyClicks(e, text);
        };
    };
    const auto key = [](QLineEdit* e, Qt::Key k) { return [e, k] { QTest::keyClick(e, k); }; };
    const Step steps[] = {{u.Edit3, type(u.Edit3, "25"), 25},
                          {u.Edit3, key(u.Edit3, Qt::Key_Up), 26},
                          {u.Edit3, key(u.Edit3, Qt::Key_PageDown), 16},
                          {u.Edit3, type(u.Edit3, "x7"), 7},
                          {u.Edit3, type(u.Edit3, "250"), 100},
                          {u.Edit3, key(u.Edit3, Qt::Key_PageUp), 100},
                          {u.Edit6, type(u.Edit6, "0"), 1},
                          {u.Edit6, key(u.Edit6, Qt::Key_Down), 1},
                          {u.Edit6, key(u.Edit6, Qt::Key_PageUp), 11}};
    for (const Step& s : steps) {
        s.Edit->setFocus();
        s.Keys();
        u.URLEdit->setFocus();  // leaving the field shows the clamped number
        EXPECT_EQ(s.Edit->text(), QString::number(s.Shown));
        const int crawler = s.Edit == u.Edit3 ? w->HttpScan1().DepthSearchLevel()
                                              : w->HttpScan1().ConcurrentDownloads();
        EXPECT_EQ(crawler, s.Shown) << s.Edit->objectName().toStdString();
    }
}

TEST_F(DailyUseTest, TabGoesThroughTheFirstTabInReadingOrderWithOneStopPerGroup) {
    auto w = NewWindow();
    Activate(*w);
    Ui::TMainForm& u = w->Controls();
    u.URLEdit->setFocus();
    QStringList order;
    for (int i = 0; i < 30 && !order.contains("ErgMemo"); ++i) {
        QWidget* focus = QApplication::focusWidget();
        if (!focus) break;
        order << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    // The disabled Stop, the hidden controls and the follow mode's unselected buttons are no
    // stops; the tab bar stands for its page control.
    const QStringList expected =
        QString(
            "URLEdit SpecialBitBtn CheckUrlBitBtn ListSearchBitBtn qt_tabwidget_tabbar "
            "StartBitBtn Edit3 Edit6 CheckBox1 CheckBox2 CheckBox3 CheckBox4 CheckBox5 "
            "CheckBox6 SpiderOptionsGroupBoxItem0 ContactPagesCheckBox Memo6 SaveBitBtn "
            "ErgManagerBitBtn ErgMemo")
            .split(' ');
    EXPECT_EQ(order, expected) << order.join(' ').toStdString();

    // The group's stop is its selected button; the arrows select within it.
    TRadioGroup& group = *u.SpiderOptionsGroupBox;
    group.Button(0)->setFocus();
    QTest::keyClick(group.Button(0), Qt::Key_Down);
    EXPECT_EQ(group.ItemIndex(), 1);
    EXPECT_EQ(QApplication::focusWidget(), group.Button(1));
    EXPECT_EQ(group.Button(1)->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(group.Button(0)->focusPolicy(), Qt::ClickFocus);
    EXPECT_EQ(w->HttpScan1().LinkScan(), scanInitialSite);
}

TEST_F(DailyUseTest, WarumOnAListLineWorksFromTheKeyboard) {
    auto w = Harvested();
    Activate(*w);
    Ui::TMainForm& u = w->Controls();
    u.ErgMemo->setFocus();
    u.ErgMemo->moveCursor(QTextCursor::Start);
    QTest::keyClick(u.ErgMemo, Qt::Key_Down);  // the second result
    for (const auto& [key, modifiers] :
         {std::pair{Qt::Key_F10, Qt::ShiftModifier}, std::pair{Qt::Key_Menu, Qt::NoModifier}}) {
        const auto before = m_prompter.informations.size();
        // The menu opens with "Warum?" chosen; Enter asks.
        QTimer::singleShot(200, [] {
            if (QWidget* menu = QApplication::activePopupWidget())
                QTest::keyClick(menu, Qt::Key_Return);
        });
        QTest::keyClick(u.ErgMemo, key, modifiers);
        ASSERT_EQ(m_prompter.informations.size(), before + 1);
        EXPECT_TRUE(m_prompter.informations.back().startsWith("b@example.com\n\nGefunden auf "))
            << m_prompter.informations.back().toStdString();
    }
}

}  // namespace
