// "Warum?" in the window: after a real crawl of the local test server, the German answer names
// the rule that decided about each address, from the lists' menus and from the dialog.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "EventLoopWait.h"
#include "TWhyForm.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

// The same site as the command line's --explain test: every rule meets one of its links.
const char* kRulesSite = R"({"routes": {
  "/robots.txt": {"body": "User-agent: *\nDisallow: /docs/private\n", "content_type": "text/plain"},
  "/docs/index.htm": {"body": "<a href=\"r.htm\">r</a> <a href=\"q1.htm\">1</a> <a href=\"logout.htm\">x</a> <a href=\"/a.zip\">z</a> <a href=\"a.pdf\">p</a> <a href=\"http://localhost:1/docs/x.htm\">o</a> <a href=\"/other/docs.htm\">o</a> <a href=\"ftp://127.0.0.1/docs/f.zip\">f</a> <a href=\"private/p.htm\">p</a> <a href=\"q2.htm\">2</a> <a href=\"q3.htm\">3</a> <a href=\"q4.htm\">4</a> <a href=\"q5.htm\">5</a> <a href=\"q6.htm\">6</a> <a href=\"q7.htm\">7</a> <a href=\"q8.htm\">8</a> <a href=\"q9.htm\">9</a> <a href=\"q10.htm\">10</a> <a href=\"refused.htm\">r</a>"},
  "/docs/r.htm": {"redirect": "/docs/final.htm"},
  "/docs/final.htm": {"body": "<p>final</p>"},
  "/docs/q1.htm": {"body": "<a href=\"final.htm\">f</a> <a href=\"deep.htm\">d</a> <a href=\"mailto:info@docs.example\">m</a> <a href=\"mailto:team%40docs.example\">t</a> <a href=\"mailto:nodomain\">n</a>"}}})";

class WhyTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        ASSERT_TRUE(m_server.Start());
        m_window = NewWindow();
        Ui::TMainForm& u = m_window->Controls();
        u.ProxyRadioGroupBox->SetItemIndex(0);
        u.CheckBox1->setChecked(true);  // e-mail addresses only
        u.Edit3->setText("2");
        u.Edit6->setText("1");
        u.SpiderOptionsGroupBox->SetItemIndex(2);  // the start page's path
        u.ExcludeMemo->setPlainText("logout");
        u.ExcludeCheckBox->setChecked(true);
        u.IncludeMemo->setPlainText("docs");
        u.IncludeCheckBox->setChecked(true);
        u.RobotsCheckBox->setChecked(true);
        THttpScan& scan = m_window->HttpScan1();
        scan.SetDepthSearchLevel(2);
        scan.SetConcurrentDownloads(1);
        scan.SetMaxQueueSize(10);
        // The window never refuses a link itself; a handler of the test does, as a caller may.
        auto shown = scan.OnLinkFound;
        scan.OnLinkFound = [shown](THttpScan& s, const std::string& url, const std::string& type,
                                   const std::string& from, const std::string& h,
                                   const std::string& p, const std::string& pf,
                                   const std::string& e, std::string& w, char hos, int area,
                                   bool& follow) {
            shown(s, url, type, from, h, p, pf, e, w, hos, area, follow);
            if (url.find("/refused.htm") != std::string::npos) follow = false;
        };
    }
    // AllTypes: every link raises OnLinkFound, so that the test's handler can refuse one.
    void Crawl(bool AllTypes = false) {
        if (AllTypes) m_window->HttpScan1().SetTypeFilterEnabled(false);
        m_window->Controls().URLEdit->setText(Url("/docs/index.htm"));
        m_window->StartBitBtnClick();
        ASSERT_TRUE(WaitFor([&] { return RunEnded(*m_window); }, 30000));
    }
    QString Url(const char* path) const { return QString::fromStdString(m_server.Url(path)); }
    QString Ask(const QString& url) {
        m_window->WhyForm().Ask(url);
        return m_window->WhyForm().AnswerText();
    }
    // The line of List that holds Text.
    static int LineOf(QPlainTextEdit& List, const QString& Text) {
        return static_cast<int>(List.toPlainText().split('\n').indexOf(Text));
    }

    TestServer m_server{kRulesSite};
    std::unique_ptr<TMainForm> m_window;
};

TEST_F(WhyTest, EachRuleIsNamedInGerman) {
    Crawl();
    const QString from = "Gefunden auf " + Url("/docs/index.htm") + " (Tiefe 1). ";
    const QString fromQ1 = "Gefunden auf " + Url("/docs/q1.htm") + " (Tiefe 2). ";
    const struct {
        QString url, answer;
    } cases[] = {
        // Fetched as the redirect's target, so visited; its first link is news.
        {Url("/docs/final.htm"), fromQ1 + "Besucht, aber nicht gemeldet: Der Typ 'htm' ist nicht "
                                          "unter den gesuchten Typen (Suchen nach)."},
        {Url("/docs/deep.htm"),
         fromQ1 + "Nicht besucht: Die Seite, auf der der Link steht, liegt schon in der "
                  "eingestellten Tiefe (Einstellungen: \"Tiefe der zu verfolgenden Links\")."},
        {Url("/docs/logout.htm"), from + "Nicht besucht: Die Adresse enthält den Begriff 'logout' "
                                         "(Filter: \"URL darf Begriffe nicht enthalten\")."},
        {Url("/a.zip"), from + "Nicht besucht: Die Adresse enthält keinen der Begriffe (Filter: "
                               "\"URL muss Begriffe enthalten\")."},
        {Url("/docs/a.pdf"),
         from + "Nicht gemeldet: Der Typ 'pdf' ist nicht unter den gesuchten Typen (Suchen nach)."},
        {Url("/docs/q3.htm"), from + "Besucht, aber nicht gemeldet: Der Typ 'htm' ist nicht unter "
                                     "den gesuchten Typen (Suchen nach)."},
        {"http://localhost:1/docs/x.htm",
         from + "Nicht besucht: Die Adresse gehört zu einer anderen Website als die Startadresse "
                "(Spider Einstellungen)."},
        {Url("/other/docs.htm"), from + "Nicht besucht: Die Adresse liegt nicht im Pfad der "
                                        "Startadresse (Spider Einstellungen)."},
        {"ftp://127.0.0.1/docs/f.zip",
         from + "Nicht besucht: Es ist keine http- oder https-Adresse mit erkennbarem Typ."},
        // Met while the queue was full: deferred, and visited all the same.
        {Url("/docs/q10.htm"), from + "Besucht, aber nicht gemeldet: Der Typ 'htm' ist nicht "
                                      "unter den gesuchten Typen (Suchen nach)."},
        {Url("/docs/private/p.htm"), from + "Nicht besucht: Die robots.txt des Servers verbietet "
                                            "den Abruf (Optionen, Rücksicht auf Server: "
                                            "\"robots.txt beachten\")."},
        {Url("/docs/index.htm"), "Startadresse des Laufs."},
        {Url("/never.htm"), "Diese Adresse ist im letzten Lauf nicht vorgekommen."},
        // Looked up as the crawler compares URLs: scheme and host in any case, any spelling of
        // the same path; a path in another case is another file.
        {"  HTTP" + Url("/docs/./%6Cogout.htm").mid(4) + " ",
         from + "Nicht besucht: Die Adresse enthält den Begriff 'logout' (Filter: \"URL darf "
                "Begriffe nicht enthalten\")."},
        {Url("/DOCS/LOGOUT.HTM"), "Diese Adresse ist im letzten Lauf nicht vorgekommen."},
    };
    for (const auto& c : cases) EXPECT_EQ(Ask(c.url).toStdString(), c.answer.toStdString());
    EXPECT_EQ(m_server.CountRequests("/docs/q10.htm"), 1);
}

TEST_F(WhyTest, TheListsMenusAndTheDialogAnswer) {
    Crawl();
    Ui::TMainForm& u = m_window->Controls();
    const int visited = LineOf(*u.Memo6, Url("/docs/q1.htm"));
    ASSERT_GE(visited, 0) << u.Memo6->toPlainText().toStdString();
    const QString answer = m_window->WhyAboutLine(*u.Memo6, visited);
    EXPECT_EQ(answer, Url("/docs/q1.htm") + "\n\nGefunden auf " + Url("/docs/index.htm") +
                          " (Tiefe 1). Besucht, aber nicht gemeldet: Der Typ 'htm' ist nicht "
                          "unter den gesuchten Typen (Suchen nach).");
    const int result = LineOf(*u.ErgMemo, "mail  info@docs.example");
    ASSERT_GE(result, 0) << u.ErgMemo->toPlainText().toStdString();
    EXPECT_EQ(m_window->WhyAboutLine(*u.ErgMemo, result),
              "info@docs.example\n\nGefunden auf " + Url("/docs/q1.htm") +
                  " (Tiefe 2). Gemeldet (Typ 'mail'); Dateien und E-Mail-Adressen werden nicht "
                  "besucht.");
    // A result shows the address decoded; the answer is about the link as it was found.
    const int decoded = LineOf(*u.ErgMemo, "mail  team@docs.example");
    ASSERT_GE(decoded, 0) << u.ErgMemo->toPlainText().toStdString();
    EXPECT_NE(m_window->WhyAboutLine(*u.ErgMemo, decoded).indexOf("Gefunden auf"), -1);
    ASSERT_GE(m_prompter.informations.size(), 2);
    EXPECT_EQ(m_prompter.informations.back(), m_window->WhyAboutLine(*u.ErgMemo, result));

    QAction* menu = m_window->findChild<QAction*>("Warum1");
    ASSERT_TRUE(menu);
    EXPECT_EQ(menu->shortcut(), QKeySequence(Qt::Key_F6));
    menu->trigger();
    EXPECT_EQ(m_prompter.dialogs.back(), "WhyForm");
    m_window->WhyForm().UrlEdit().setText(Url("/docs/q10.htm"));
    emit m_window->WhyForm().UrlEdit().returnPressed();
    EXPECT_EQ(m_window->WhyForm().AnswerText(),
              "Gefunden auf " + Url("/docs/index.htm") +
                  " (Tiefe 1). Besucht, aber nicht gemeldet: Der Typ 'htm' ist nicht unter "
                  "den gesuchten Typen (Suchen nach).");
}

TEST_F(WhyTest, TheDialogShowsTheWholeAnswerAtItsOpeningSize) {
    Crawl();
    TWhyForm& form = m_window->WhyForm();
    form.Ask(Url("/docs/logout.htm"));
    form.show();
    QApplication::processEvents();
    auto* answer = form.findChild<QLabel*>("AnswerLabel");
    ASSERT_TRUE(answer);
    // Two lines and more at the dialog's width, every one of them inside the label.
    const int needed = answer->heightForWidth(answer->width());
    EXPECT_GT(needed, 2 * answer->fontMetrics().lineSpacing());
    EXPECT_GE(answer->height(), needed);
    // A longer answer asked in the open dialog makes it grow with it.
    form.Ask(Url("/docs/deep.htm"));
    QApplication::processEvents();
    EXPECT_GE(answer->height(), answer->heightForWidth(answer->width()));
    form.hide();
}

TEST_F(WhyTest, APartOfAMailtoLinkThatIsNoAddressIsNamed) {
    Crawl();
    EXPECT_EQ(Ask("mailto:nodomain").toStdString(),
              "Gefunden auf " + m_server.Url("/docs/q1.htm") +
                  " (Tiefe 2). Nicht besucht: Der mailto-Link nennt hier keine gültige "
                  "E-Mail-Adresse (genau ein @, davor 1 bis 64 und danach 1 bis 255 Zeichen).");
}

TEST_F(WhyTest, ARefusalOfTheCallerIsNamed) {
    Crawl(true);
    EXPECT_EQ(Ask(Url("/docs/refused.htm")).toStdString(),
              "Gefunden auf " + m_server.Url("/docs/index.htm") +
                  " (Tiefe 1). Gemeldet, aber nicht besucht: Das Programm hat das Folgen des "
                  "Links abgelehnt.");
    EXPECT_EQ(m_server.CountRequests("/docs/refused.htm"), 0);
}

}  // namespace
