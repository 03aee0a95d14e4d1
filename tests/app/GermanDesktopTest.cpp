// The window as a German desktop user meets it: the first start, Qt's texts in German, the
// keyboard, the column splitter, the promotional window, file errors and the result manager.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <cerrno>
#include <map>

#include "EventLoopWait.h"
#include "FileErrorText.h"
#include "GermanQt.h"
#include "Shown.h"
#include "TColumnSplitter.h"
#include "THttpScan.h"
#include "TIniFile.h"
#include "TPromoForm.h"
#include "TZusammenfassenForm.h"
#include "TestServer.h"
#include "WindowTest.h"
#include "ui_TMainForm.h"

namespace {

class GermanDesktopTest : public WindowTest {
protected:
    void WriteApp(const QString& name, const QByteArray& bytes) {
        QFile f(m_app.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(GermanDesktopTest, AFirstStartHarvestsWithoutTouchingTheOptions) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=mailto:erst@example.com>a</a>"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();  // no Program.ini: the system's proxy settings, here none
    Ui::TMainForm& u = w->Controls();
    EXPECT_EQ(u.ProxyRadioGroupBox->ItemIndex(), 2);
    EXPECT_TRUE(u.RobotsCheckBox->isChecked());
    u.CheckBox1->setChecked(true);
    u.URLEdit->setText(QString::fromStdString(server.Url("/")));
    w->StartBitBtnClick();
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(u.ErgMemo->toPlainText(), "mail  erst@example.com");
    EXPECT_TRUE(u.Memo7->toPlainText().endsWith("Fehlerhafte Links: 0\n Gesperrt (robots.txt): 0"));

    // A stored file keeps the described default for a missing key.
    WriteApp("Program.ini", "[SETTINGS]\r\nURL=x\r\n");
    EXPECT_EQ(NewWindow()->Controls().ProxyRadioGroupBox->ItemIndex(), 1);
}

TEST_F(GermanDesktopTest, AProxyWithoutAddressOrPortStartsNothingAndSaysWhatIsMissing) {
    struct TCase {
        const char* Address;
        const char* Port;
        const char* Missing;  // empty: the run starts
    };
    for (const TCase& c :
         {TCase{"", "", "die IP Adresse und den Port"}, TCase{"10.0.0.1", " ", "den Port"},
          TCase{"", "3128", "die IP Adresse"}, TCase{"127.0.0.1", "9", ""}}) {
        SCOPED_TRACE(std::string(c.Address) + ":" + c.Port);
        m_prompter.informations.clear();
        auto w = NewWindow();
        Ui::TMainForm& u = w->Controls();
        u.ProxyRadioGroupBox->SetItemIndex(1);
        u.Edit8->setText(c.Address);
        u.Edit9->setText(c.Port);
        u.URLEdit->setText("start.example");
        w->StartBitBtnClick();
        if (*c.Missing == 0) {
            // Complete: the run starts (and fails at the closed port, which is not our concern).
            EXPECT_TRUE(m_prompter.informations.isEmpty());
            EXPECT_TRUE(WaitFor([&] { return RunEnded(*w); }));
            continue;
        }
        ASSERT_EQ(m_prompter.informations.size(), 1);
        EXPECT_TRUE(m_prompter.informations[0].contains(QString(c.Missing) + " des Proxy-Servers"))
            << m_prompter.informations[0].toStdString();
        EXPECT_FALSE(w->HttpScan1().Running());
        EXPECT_TRUE(w->ScanIdle());
        EXPECT_EQ(u.URLEdit->text(), "start.example");  // untouched: nothing started
        EXPECT_TRUE(u.StartBitBtn->isEnabled());
        EXPECT_EQ(u.PageControl1->currentWidget(), u.TabSheet4);
    }
}

TEST_F(GermanDesktopTest, QtSpeaksGermanAndOurHintsToo) {
    ASSERT_TRUE(InstallGermanQt(*qApp));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Abbrechen");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), "Suchen in:");
    auto w = NewWindow();
    const Ui::TMainForm& u = w->Controls();
    for (const QWidget* widget : std::initializer_list<const QWidget*>{
             u.ProxyRadioGroupBox, u.Edit8, u.Edit9, u.MaskEdit1}) {
        const QString tip = widget->toolTip();
        EXPECT_FALSE(tip.contains("proxy server") || tip.contains("Internet Explorer") ||
                     tip.contains("Control Panel"))
            << tip.toStdString();
    }
}

TEST(GermanLocaleEnvironmentTest, DatesAndMessagesBecomeGermanOtherCategoriesStay) {
    using TEnv = QMap<QByteArray, QByteArray>;
    using TChanges = QList<QPair<QByteArray, QByteArray>>;
    const QByteArray de = "de_DE.UTF-8";
    struct TCase {
        TEnv Environment;
        TChanges Changes;
    };
    const TCase cases[] = {
        {{}, {{"LC_TIME", de}, {"LC_MESSAGES", de}}},
        {{{"LANG", "C.UTF-8"}}, {{"LC_TIME", de}, {"LC_MESSAGES", de}}},
        {{{"LANG", "de_AT.UTF-8"}}, {}},
        {{{"LANG", "en_GB.UTF-8"}, {"LC_TIME", "de_CH.UTF-8"}}, {{"LC_MESSAGES", de}}},
        {{{"LANG", "de_DE.UTF-8"}, {"LC_MESSAGES", "C"}}, {{"LC_MESSAGES", de}}},
        {{{"LC_ALL", "de_DE.UTF-8"}, {"LC_TIME", "C"}}, {}},
        {{{"LC_ALL", "en_US.UTF-8"}, {"LANG", "C"}},
         {{"LC_ALL", ""}, {"LANG", "en_US.UTF-8"}, {"LC_TIME", de}, {"LC_MESSAGES", de}}},
    };
    for (const TCase& c : cases) EXPECT_EQ(GermanLocaleEnvironment(c.Environment), c.Changes);
}

TEST(GermanLocaleEnvironmentTest, TheUsersSettingsComeBackForTheProgramsWeStart) {
    const QByteArray lang = qgetenv("LANG");
    qputenv("LANG", "en_GB.UTF-8");
    for (const char* name : {"LC_ALL", "LC_TIME", "LC_MESSAGES"}) qunsetenv(name);
    const auto saved = PreferGermanLocale();
    EXPECT_EQ(qgetenv("LC_TIME"), "de_DE.UTF-8");
    EXPECT_EQ(qgetenv("LC_MESSAGES"), "de_DE.UTF-8");
    RestoreEnvironment(saved);
    EXPECT_FALSE(qEnvironmentVariableIsSet("LC_TIME"));
    EXPECT_FALSE(qEnvironmentVariableIsSet("LC_MESSAGES"));
    EXPECT_EQ(qgetenv("LANG"), "en_GB.UTF-8");
    RestoreEnvironment({{"LANG", lang}});
}

TEST_F(GermanDesktopTest, EveryTabButtonAndMenuHasItsOwnAltLetterAndTheKeysAreSet) {
    auto w = NewWindow();
    const Ui::TMainForm& u = w->Controls();
    std::map<QChar, QString> letters;
    const auto take = [&](const QString& caption) {
        const qsizetype at = caption.indexOf('&');
        ASSERT_GE(at, 0) << caption.toStdString() << " has no Alt letter";
        const QChar letter = caption.at(at + 1).toLower();
        EXPECT_TRUE(letters.emplace(letter, caption).second)
            << caption.toStdString() << " and " << letters[letter].toStdString();
    };
    // What is always shown: the tabs, the start-page bar and the menu bar.
    for (int tab = 0; tab < u.PageControl1->count(); ++tab) take(u.PageControl1->tabText(tab));
    for (const QPushButton* button : u.Panel3->findChildren<QPushButton*>()) take(button->text());
    take(u.Label14->text());  // leads to the start page field
    EXPECT_EQ(u.Label14->buddy(), u.URLEdit);
    take(u.Programm1->title());
    take(u.Hilfe1->title());
    // Each tab's own letters differ from those and among themselves; every label of a tab leads
    // to the field it names.
    const std::map<QChar, QString> shared = letters;
    for (QWidget* tab : {u.TabSheet2, u.TabSheet3, u.TabSheet4}) {
        letters = shared;
        for (const QPushButton* button : tab->findChildren<QPushButton*>()) take(button->text());
        for (QLabel* label : tab->findChildren<QLabel*>()) {
            if (label == u.ResultLabel || label == u.Label6) continue;  // texts that change
            EXPECT_TRUE(label->buddy()) << label->objectName().toStdString();
            if (label->text().contains('&')) take(label->text());
        }
        for (const QCheckBox* box : tab->findChildren<QCheckBox*>())
            if (box->text().contains('&')) take(box->text());
    }
    // Alt and a label's letter reach its field.
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(WaitFor([&] { return w->isActiveWindow(); }, 5000));
    for (const auto& [key, field] : {std::pair<Qt::Key, QWidget*>{Qt::Key_R, u.URLEdit},
                                     {Qt::Key_I, u.Edit3},
                                     {Qt::Key_A, u.Edit6}}) {
        QTest::keyClick(w.get(), key, Qt::AltModifier);
        EXPECT_EQ(QApplication::focusWidget(), field) << field->objectName().toStdString();
    }
    for (const QMenu* menu : {u.Programm1, u.Hilfe1}) {
        letters.clear();  // a menu's own items need only differ among themselves
        for (const QAction* action : menu->actions())
            if (!action->isSeparator()) take(action->text());
    }
    EXPECT_EQ(u.Hilfedatei1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_EQ(u.Ergebnisspeichern1->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(u.Stop1->shortcut(), QKeySequence(Qt::Key_Escape));
}

TEST_F(GermanDesktopTest, FocusMovesBetweenTheRunButtonsNotIntoAList) {
    TestServer server(R"({"routes": {"/": {"body": "<a href=/a>a</a>"}, "/a": {"body": "x"}}})");
    ASSERT_TRUE(server.Start());
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    w->show();
    QApplication::setActiveWindow(w.get());
    ASSERT_TRUE(WaitFor([&] { return w->isActiveWindow(); }, 5000));
    u.URLEdit->setText(QString::fromStdString(server.Url("/")));
    u.StartBitBtn->setFocus();
    u.StartBitBtn->click();
    EXPECT_EQ(QApplication::focusWidget(), u.StopBitBtn);
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    EXPECT_EQ(QApplication::focusWidget(), u.StartBitBtn);

    // Enter in the start page field leaves the focus there.
    u.URLEdit->setFocus();
    w->StartBitBtnClick();
    EXPECT_EQ(QApplication::focusWidget(), u.URLEdit);
    ASSERT_TRUE(WaitFor([&] { return RunEnded(*w); }));
    // The statistics are read, not worked with; the two lists are reached by Tab (for "Warum?").
    EXPECT_EQ(u.Memo7->focusPolicy(), Qt::ClickFocus);
    for (const QWidget* list : std::initializer_list<const QWidget*>{u.Memo6, u.ErgMemo})
        EXPECT_EQ(list->focusPolicy(), Qt::StrongFocus);
}

TEST_F(GermanDesktopTest, TheColumnsShareAWideWindowAndTheDivisionIsSaved) {
    auto w = NewWindow();
    Ui::TMainForm& u = w->Controls();
    w->show();
    QApplication::processEvents();  // the first showing maximises to the small offscreen screen
    w->showNormal();
    w->resize(1366, 740);
    QApplication::processEvents();
    // A demo-site URL with a five-digit port is read whole in the list of visited pages.
    const QString url = "http://127.0.0.1:65535/de/produkte/index.htm";
    EXPECT_GT(u.Memo6->viewport()->width(), u.Memo6->fontMetrics().horizontalAdvance(url));
    EXPECT_LE(u.LeftPane->width(), 400);
    EXPECT_EQ(u.ColumnSplitter->SharesText(), "");  // not moved: nothing to save
    w->close();

    u.ColumnSplitter->SetSharesText("200,500,300");
    w->SaveSettings();
    EXPECT_EQ(TIniFile(m_app.filePath("Program.ini")).ReadString("SETTINGS", "ColumnShares", ""),
              "200,500,300");
    auto again = NewWindow();
    TColumnSplitter& splitter = *again->Controls().ColumnSplitter;
    EXPECT_EQ(splitter.SharesText(), "200,500,300");
    again->show();
    QApplication::processEvents();
    again->showNormal();
    again->resize(1920, 1000);
    QApplication::processEvents();
    const QList<int> sizes = splitter.sizes();
    ASSERT_EQ(sizes.size(), 3);
    EXPECT_NEAR(sizes[1] * 1.0 / (sizes[0] + sizes[1] + sizes[2]), 0.5, 0.03);

    // The described size still holds every control: the window is no wider than 744.
    again->showNormal();
    again->resize(744, 552);
    QApplication::processEvents();
    EXPECT_LE(again->minimumSizeHint().width(), 744);
    EXPECT_EQ(again->width(), 744);
}

TEST(TColumnSplitterTest, SharesAreTakenOnlyWhenTheyFitTheColumns) {
    struct TCase {
        const char* Text;
        QList<int> Shares;
    };
    for (const TCase& c :
         {TCase{"250,450,300", {250, 450, 300}}, TCase{" 1, 2 ,3", {1, 2, 3}}, TCase{"", {}},
          TCase{"1,2", {}}, TCase{"1,2,3,4", {}}, TCase{"0,500,500", {}}, TCase{"-5,500,500", {}},
          TCase{"a,b,c", {}}, TCase{"2000,1,1", {}}}) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(TColumnSplitter::ParseShares(c.Text, 3), c.Shares);
    }
}

TEST_F(GermanDesktopTest, ThePromotionCanBeSwitchedOffByItsTickBox) {
    const QString marker = m_app.filePath("NoWer.ini");
    QFile::remove(marker);
    {
        TPromoForm promotion(m_app.path() + "/", nullptr, &m_prompter);
        promotion.CloseBitBtnClick();  // unticked
    }
    EXPECT_FALSE(QFile::exists(marker));
    {
        WriteApp("NoWer.ini", "old text");
        QFile::remove(marker);
        TPromoForm promotion(m_app.path() + "/", nullptr, &m_prompter);
        EXPECT_EQ(Shown(promotion.CheckBox1()->text()), "nicht mehr anzeigen");
        promotion.CheckBox1()->setChecked(true);
        promotion.CloseBitBtnClick();
        EXPECT_EQ(promotion.result(), QDialog::Accepted);
    }
    EXPECT_EQ(Read(marker), "");

    // A folder that cannot take the file: the user reads why, in German.
    TPromoForm broken(m_files.filePath("no/such/"), nullptr, &m_prompter);
    broken.CheckBox1()->setChecked(true);
    broken.CloseBitBtnClick();
    ASSERT_FALSE(m_prompter.messages.isEmpty());
    EXPECT_TRUE(m_prompter.messages.back().endsWith(
        "konnte nicht geschrieben werden: Die Datei oder ihr Ordner ist nicht vorhanden."));
}

TEST(FileErrorTextTest, CommonReasonsReadInGerman) {
    const std::map<int, QString> reasons = {
        {ENOENT, "Die Datei oder ihr Ordner ist nicht vorhanden."},
        {EACCES, "Zugriff verweigert, es fehlt die Berechtigung."},
        {ENOSPC, "Auf dem Datenträger ist kein Platz mehr frei."},
        {EROFS, "Der Datenträger ist schreibgeschützt."},
        {EPROTO, QString("Unbekannter Systemfehler (Nummer %1).").arg(EPROTO)}};
    for (const auto& [number, text] : reasons) EXPECT_EQ(FileErrorText("/x", number), text);
    EXPECT_EQ(FileErrorText(QDir::tempPath(), 0), "Das ist ein Ordner, keine Datei.");

    // What ReadTextLines reports for a file that is not there.
    QStringList lines;
    QString error;
    EXPECT_FALSE(ReadTextLines("/nonexistent/tarnwick/list.txt", lines, error));
    EXPECT_EQ(error, "Die Datei oder ihr Ordner ist nicht vorhanden.");
}

TEST(SortFileNamesTest, NamesComeInTheOrderOfAGermanFileManager) {
    QStringList names = {"Zebra.txt", "liste10.txt", "Äpfel.txt", "liste2.txt", "apfel.txt",
                         "Öl.txt",    "ober.txt",    "_alt.txt",  "Liste1.txt"};
    SortFileNames(names);
    EXPECT_EQ(names, (QStringList{"_alt.txt", "apfel.txt", "Äpfel.txt", "Liste1.txt", "liste2.txt",
                                  "liste10.txt", "ober.txt", "Öl.txt", "Zebra.txt"}));
}

TEST_F(GermanDesktopTest, TheManagerListsSortedHidesHiddenFoldersAndSavesInItsFolder) {
    for (const char* name : {"b.txt", "a.txt", "C.txt"}) {
        QFile f(File(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("x@example.com\r\n");
    }
    ASSERT_TRUE(QDir(m_files.path()).mkdir(".versteckt"));
    ASSERT_TRUE(QDir(m_files.path()).mkdir("sichtbar"));
    auto w = NewWindow();
    TZusammenfassenForm& merger = w->Merger();
    merger.show();
    merger.ChooseFolder(m_files.path());
    QListWidget* list = merger.CheckListBox1();
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) shown << list->item(i)->text();
    EXPECT_EQ(shown, (QStringList{"a.txt", "b.txt", "C.txt"}));

    // The tree shows the folder's visible subfolders only, once the model has read it, and the
    // folder itself in sight. (Rows move while the model reads: the index is looked up anew.)
    QTreeView* tree = merger.DirectoryListBox1();
    const auto* model = tree->model();
    const auto folder = [&] { return tree->currentIndex(); };
    ASSERT_EQ(folder().data().toString(), QDir(m_files.path()).dirName());
    tree->expand(folder());  // as the user opens it
    ASSERT_TRUE(WaitFor([&] { return model->rowCount(folder()) > 0; }, 5000));
    SpinFor(100);
    QStringList subfolders;
    for (int row = 0; row < model->rowCount(folder()); ++row)
        subfolders << model->index(row, 0, folder()).data().toString();
    EXPECT_EQ(subfolders, QStringList{"sichtbar"});
    EXPECT_TRUE(WaitFor(
        [&] { return tree->viewport()->rect().contains(tree->visualRect(folder()).center()); },
        5000));

    list->item(0)->setCheckState(Qt::Checked);
    merger.ZusammenfassenBitBtnClick();  // cancelled
    ASSERT_EQ(m_prompter.saveProposals.size(), 1);
    EXPECT_EQ(m_prompter.saveProposals[0], m_files.path() + "/unbenannt.txt");

    // A ticked file that went away meanwhile: named, with the reason, and nothing merged.
    ASSERT_TRUE(QFile::remove(File("a.txt")));
    ASSERT_EQ(list->item(0)->text(), "a.txt");  // the list still shows it
    list->item(0)->setCheckState(Qt::Checked);
    merger.ZusammenfassenBitBtnClick();
    EXPECT_EQ(m_prompter.saveProposals.size(), 1);
    EXPECT_EQ(m_prompter.informations.back(),
              "Die Datei \"" + File("a.txt") +
                  "\" konnte nicht gelesen werden: Die Datei oder ihr Ordner ist nicht "
                  "vorhanden.\nEs wurde nichts zusammengefasst.");
    merger.hide();
}

}  // namespace
