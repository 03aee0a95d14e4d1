#pragma once
// The harvester's main window. It owns the crawler HttpScan1, holds every setting in its
// controls (each control passes its value to the crawler as it changes), keeps the settings in
// "Program.ini", "Include.ini", "Exclude.ini" and "Sperrliste.ini" (the addresses never to
// collect) in its settings folder (beside the program, or
// the user's config folder when installed; see TProgramFolders), and turns the crawler's
// events into the status bar, the statistics, the list of visited pages and the result list.
// GUI thread only. Every question to the user goes through the TPrompter given at creation.
//
// Each search (one start URL, or a whole list) is journalled in the state folder, so that a
// search cut short by a crash or a kill can be continued at the next start of the window (see
// TSearchJournal). A normal end of the search and quitting remove the journal; Stop leaves it.
// One window at a time owns the state folder's journal; a second program running meanwhile
// searches without one.

#include <QImage>
#include <QMainWindow>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FetchFailure.h"
#include "TNeverCollectList.h"
#include "TProgramFolders.h"

class QLabel;
class QLockFile;
class QPlainTextEdit;
class THelpForm;
class TLinkDecisionLog;
class TWhyForm;
class TAboutBox;
class TSpezialURLForm;
class TZusammenfassenForm;
class THttpScan;
class TServerOptions;
class TPrompter;
struct TJournalContents;
struct TJournalRun;
struct TSearchResume;

namespace Ui {
class TMainForm;
}

class TMainForm : public QMainWindow {
    Q_OBJECT
public:
    // AppPath: the folder of the program's files (Program.ini, recom/, help/ ...), with or
    // without a trailing "/". ResultsFolder: where the crawler keeps its results file.
    TMainForm(const QString& AppPath, const QString& ResultsFolder, TPrompter& Prompter,
              QWidget* Parent = nullptr);
    // Folders: the shipped files and the settings in folders of their own.
    TMainForm(const TProgramFolders& Folders, const QString& ResultsFolder, TPrompter& Prompter,
              QWidget* Parent = nullptr);
    ~TMainForm() override;

    const QString& AppPath() const { return m_appPath; }
    // Where "Program.ini", the keyword lists and the marker files live, ending in "/".
    const QString& SettingsPath() const { return m_settingsPath; }
    QString LastSaveDir() const { return m_lastSaveDir; }
    bool ScanIdle() const { return m_scanIdle; }
    bool CloseRequested() const { return m_closeRequested; }
    THttpScan& HttpScan1() { return *m_httpScan; }
    // "Warum?" about the address in line Line (from 0) of the visited list (Memo6) or of the
    // result list (ErgMemo): the answer is shown to the user and returned.
    QString WhyAboutLine(QPlainTextEdit& List, int Line);
    TWhyForm& WhyForm() { return *m_whyForm; }
    Ui::TMainForm& Controls() { return *m_ui; }
    QString StatusText() const;
    // The status bar's note of a page that could not be fetched, with the reason in German:
    // "Nicht geladen: URL (Zeitüberschreitung)".
    static QString FailureText(const QString& Url, TFetchFailure Reason, int Status);
    QString ResultsFileName() const;
    // The journal of the current or last search in the state folder; empty without one.
    QString JournalFileName() const;

    void LoadSettings();
    void SaveSettings();
    // Rewrites FileName sorted and without duplicates, with the hourglass shown meanwhile, and
    // reports the count of lines kept in ResultLabel. False (after telling the user) when the
    // file cannot be read or written.
    bool RemoveDuplicates(const QString& FileName);
    // The result list as the crawler reported it: type prefix and result, bytes as found.
    const std::vector<std::string>& ResultLines() const { return m_resultLines; }
    // Saving empties the result list, so whatever it holds has not been saved.
    bool ResultsUnsaved() const { return !m_resultLines.empty(); }
    // How the window hands a page or file to the desktop (OpenDocument); tests replace it.
    void SetDocumentOpener(std::function<bool(const QString&)> Opener);
    // The help page in a window of the program's own, made when the desktop opens none.
    THelpForm* HelpForm() const { return m_helpForm; }
    TZusammenfassenForm& Merger() { return *m_merger; }
    // The addresses of "Nie erfassen": never shown, saved, merged or kept by the crawler.
    const TNeverCollectList& NeverCollect() const { return m_neverCollect; }
    TSpezialURLForm& UrlBuilder() { return *m_urlBuilder; }
    TAboutBox& About() { return *m_about; }

    // Menu and button actions, callable by tests as a user would trigger them.
    void StartBitBtnClick();
    void StopBitBtnClick();
    void Beenden1Click();
    void ListSearchBitBtnClick();
    void CheckUrlBitBtnClick();
    void SaveBitBtnClick();
    void ErgManagerBitBtnClick();
    void SpecialBitBtnClick();
    void Info1Click();
    void Hilfedatei1Click();
    void Update1Click();
    void Warum1Click();
    // The session ends or the program was told to end (SIGTERM, SIGHUP): the window ends as by
    // "Beenden", after the run when one is active and without the promotional window, and the
    // search keeps its journal, so that the next start offers to continue it.
    void EndSession();

signals:
    // The program should end now (closing finished, or "Beenden").
    void Quit();

protected:
    void closeEvent(QCloseEvent* Event) override;
    bool eventFilter(QObject* Watched, QEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void ConnectControls();
    void ConnectCrawler();
    void AddWhyMenus();
    // The list's context menu for line Line, at Pos of its viewport.
    void ShowListMenu(QPlainTextEdit& List, int Line, const QPoint& Pos);
    // The context menu key or Shift+F10 in a list: the menu of the line under the cursor.
    bool ListMenuKey(QPlainTextEdit& List, QEvent* Event);
    void SetTabOrder();
    void LoadBanner();
    void ShowBanner();
    void LoadKeywordMemos();

    // Control events that pass a setting to the crawler.
    void UpDown1Click();
    void UpDown2Click();
    void SpiderOptionsGroupBoxClick();
    void RadioGroup3Click();
    void IncludeCheckBoxClick();
    void ExcludeCheckBoxClick();
    void IncludeMemoChange();
    void ExcludeMemoChange();
    void NeverMemoChange();
    void FileRadioGroupBoxClick();
    void SearchForMemoChange();
    void FilterCheckBoxClick();
    void RedirectionCheckBoxClick();
    void Edit5Change();
    void Edit7Change();
    void ProxyRadioGroupBoxClick();
    void Edit8Change();
    void Edit9Change();
    void Edit4Change();
    void MaskEdit1Change();
    void ContactPagesCheckBoxClick();
    // While "Nur Kontaktseiten" is ticked, hands the keywords of "Kontaktseiten.ini" to the
    // crawler; false (after telling the user) when the file cannot be read or holds none.
    bool LoadContactKeywords();

    // Run control. Resumed: a run of the journal to continue instead of starting the URL.
    void StartRun(const TJournalRun* Resumed = nullptr);
    // False (after telling the user what to fill in) when "Proxy verwenden" lacks its address
    // or port.
    bool ProxyComplete();
    void Timer1Timer();
    void HttpScan1Working(bool Working);
    void HttpScan1UpdatedStats(int InQueue, int Downloading, int ToAnalyze, int Done, int Retries,
                               int Errors);
    void HttpScan1PageReceived(const std::string& Url);
    // Adds the lines that wait to their lists.
    void ShowWaitingLines();
    void HttpScan1LinkFound(const std::string& UrlFound, const std::string& TypeLink);
    void HttpScan1FetchFailed(const std::string& Url, TFetchFailure Reason, int Status);
    void HttpScan1Skipped(const std::string& Url, const std::string& Reason, TFetchFailure Cause,
                          int Status);
    void AddResult(const std::string& UrlFound, const std::string& TypeLink);
    void SetRunningLook(bool Running);
    void SetStatusText(const QString& Text);
    void DeleteResultsFile();
    void ClearResults();
    void ShowResultCount();
    // Saves the result list as "Ergebnis speichern" does; true when the file now holds it.
    bool SaveResults();
    // Before the window closes: true when nothing unsaved is lost (saved, or let go by the user).
    bool ResultsMayGo();
    // The start URL failed or the crawler refused it: noted for the list's summary.
    void NoteStartFailure(const std::string& Url, const QString& Reason);
    void NoteListEntryEnd();
    void ShowListSummary();

    // The search's journal (TMainFormJournal.cpp).
    bool JournalOwned();
    bool JournalUsed();
    bool BeginJournal();
    void EndJournal();
    void DiscardJournal();
    void TellJournalError();
    // The journal is another's (User: who, as the message names it); the search goes without.
    void TellJournalInUse(const QString& User);
    void OfferResume();
    void ResumeSearch(const TJournalContents& Journal, const TSearchResume& Resume);
    void ShowRunSettings(const TJournalRun& Run);
    void ReplayResults(const TJournalContents& Journal);
    void TellDropped(const TJournalContents& Journal);

    // Start-up and closing.
    void FormActivate();
    void FormClose();
    void ShowTip();
    void ShowPromotion();

    std::unique_ptr<Ui::TMainForm> m_ui;
    TPrompter& m_prompter;
    THttpScan* m_httpScan;                      // owned through Qt's parent
    TServerOptions* m_serverOptions = nullptr;  // owned through Qt's parent
    QLabel* m_statusLabel;
    QTimer m_timer1;
    // The lines of the two lists wait up to kListsIntervalMs and are added together, the count
    // of results with them: Qt lays out a list's last line and a label's text at every change, so
    // a run of pages costs one layout instead of one each. The run's end shows what waits at once.
    static constexpr int kListsIntervalMs = 50;
    QStringList m_visitedWaiting;
    QStringList m_resultsWaiting;
    QTimer m_listsTimer;
    QString m_appPath;
    QString m_settingsPath;
    QString m_resultsFolder;
    QStringList m_urlList;
    int m_urlListIndex = 0;
    bool m_scanIdle = true;
    bool m_deferredShown = false;  // the run has deferred links: Memo7 shows their line
    bool m_runCut = false;         // the last run was stopped by the user or by a failure
    bool m_journalTold = false;    // the user knows that the search's journal failed
    // The program ends without the user quitting: no promotion, and the journal stays.
    bool m_sessionEnding = false;
    bool m_closeRequested = false;
    bool m_closing = false;
    bool m_activated = false;
    QString m_lastSaveDir;
    QString m_lastSaveFile;
    QImage m_banner;
    std::vector<std::string> m_resultLines;
    std::vector<std::string> m_resultUrls;  // each result as the crawler found it, for "Warum?"
    TNeverCollectList m_neverCollect;
    QStringList m_neverBadLines;  // numbers of the lines of NeverMemo that are no entry
    std::unique_ptr<TAboutBox> m_about;
    std::unique_ptr<TZusammenfassenForm> m_merger;
    std::unique_ptr<TSpezialURLForm> m_urlBuilder;
    // What the last run decided about each link, for "Warum?".
    std::unique_ptr<TLinkDecisionLog> m_decisions;
    TWhyForm* m_whyForm;  // owned through Qt's parent
    std::unique_ptr<QLockFile> m_journalLock;
    std::function<bool(const QString&)> m_openDocument;
    THelpForm* m_helpForm = nullptr;  // owned through Qt's parent
    int m_spiderIndex = -1;           // the follow mode the crawler has
    // The entries of the list being worked through, for its summary: each entry's start URL and,
    // when no page of it could be read, why.
    struct TListEntry {
        QString Url;
        int Pages = 0;
        QString Failure;
    };
    std::vector<TListEntry> m_listEntries;
    int m_runPages = 0;
    QString m_startFailure;
};
