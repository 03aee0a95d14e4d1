// The main window's run journal: it is opened when a search starts, removed when the search ends
// normally or the program quits, and read at the next start when it was left behind.

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLockFile>
#include <QSpinBox>

#include "THttpScan.h"
#include "TJournalReader.h"
#include "TMainForm.h"
#include "TPrompter.h"
#include "TSearchJournal.h"
#include "ui_TMainForm.h"

namespace {

const QString kResumeQuestion = "Der letzte Suchlauf wurde nicht beendet. Fortsetzen?";
const QString kSaveQuestion = "Die Ergebnisse des abgebrochenen Suchlaufs speichern?";

std::string FileBytes(const QString& FileName) {
    return QFile::encodeName(FileName).toStdString();
}

// A message about the journal File: Text with the file as %1 and the system's reason as %2.
QString JournalText(const QString& Text, const THttpScan& Scan, const QString& File) {
    return Text.arg(File, TSearchJournal::Reason(Scan.JournalError(), FileBytes(File)));
}

// The run's recorded settings that the window's controls show. A setting the journal lacks
// leaves its control alone.
class TRunSettings {
public:
    explicit TRunSettings(const TJournalRun& Run) : m_run(Run) {}
    void Text(const char* Key, QLineEdit* Edit) const {
        if (Has(Key)) Edit->setText(Value(Key));
    }
    void Check(const char* Key, QCheckBox* Box) const {
        if (Has(Key)) Box->setChecked(Value(Key) != "0");
    }
    void Index(const char* Key, TRadioGroup* Group) const {
        if (Has(Key)) Group->SetItemIndex(Value(Key).toInt());
    }
    void Position(const char* Key, TUpDown* UpDown) const {
        if (Has(Key)) UpDown->SetPosition(Value(Key).toInt());
    }
    bool Has(const char* Key) const { return !m_run.Setting(Key).empty(); }
    QString Value(const char* Key) const { return QString::fromStdString(m_run.Setting(Key)); }

private:
    const TJournalRun& m_run;
};

}  // namespace

bool TMainForm::JournalOwned() {
    if (JournalFileName().isEmpty()) return false;
    if (!m_journalLock) {
        m_journalLock = std::make_unique<QLockFile>(JournalFileName() + ".lock");
        // Held for as long as the window lives, so never stale by age; a crashed holder's lock
        // is recognised by its process id.
        m_journalLock->setStaleLockTime(0);
    }
    return m_journalLock->isLocked() || m_journalLock->tryLock(0);
}

bool TMainForm::BeginJournal() {
    const QString file = JournalFileName();
    if (file.isEmpty()) return true;
    // Another window's search, or another program, keeps its own journal there: this search
    // goes without one rather than take it away.
    if (!JournalOwned()) {
        TellJournalInUse("einem anderen Tarnwick-Fenster");
        return true;
    }
    m_journalTold = false;
    if (!m_httpScan->OpenJournal(FileBytes(file))) {
        if (m_httpScan->JournalInUse()) {
            TellJournalInUse("einem anderen Programm");
            return true;
        }
        m_prompter.Message(this, JournalText("Das Protokoll des Suchlaufs %1 konnte nicht angelegt "
                                             "werden: %2. Die Suche wurde nicht gestartet.",
                                             *m_httpScan, file));
        return false;
    }
    if (!m_urlList.isEmpty()) m_httpScan->JournalNote(TSearchJournal::ListNote(m_urlList));
    return true;
}

bool TMainForm::JournalUsed() {
    // A journal this window did not write (another program's, left by a crash, or in use by
    // one) stays.
    return !m_httpScan->JournalFile().empty() && !m_httpScan->JournalInUse() && JournalOwned();
}

void TMainForm::TellJournalInUse(const QString& User) {
    // Its refusal is no failure of a journal that this search writes.
    m_journalTold = true;
    m_prompter.Message(this, QString("Das Protokoll des Suchlaufs %1 wird bereits von %2 benutzt. "
                                     "Die Suche läuft ohne Protokoll und kann nach einem Absturz "
                                     "nicht fortgesetzt werden.")
                                 .arg(JournalFileName(), User));
}

void TMainForm::EndJournal() {
    // Marked done first: should the file outlive its removal, it is not offered again.
    m_httpScan->FinishJournal();
    if (JournalUsed()) QFile::remove(JournalFileName());
}

void TMainForm::DiscardJournal() {
    m_httpScan->CloseJournal();
    if (!m_sessionEnding && JournalUsed()) QFile::remove(JournalFileName());
}

void TMainForm::EndSession() {
    m_sessionEnding = true;
    if (ScanIdle())
        Beenden1Click();
    else
        close();
}

void TMainForm::TellJournalError() {
    m_journalTold = true;
    m_prompter.Message(this,
                       JournalText("Das Protokoll des Suchlaufs %1 konnte nicht geschrieben "
                                   "werden: %2. Die Suche wurde angehalten.",
                                   *m_httpScan, QString::fromLocal8Bit(m_httpScan->JournalFile())));
}

void TMainForm::OfferResume() {
    // Only a journal left behind before this window began a search of its own.
    if (!m_scanIdle || !m_httpScan->JournalFile().empty() || !JournalOwned()) return;
    const QString file = JournalFileName();
    // One that another program continues right now is neither offered nor removed.
    if (!QFile::exists(file) || THttpScan::JournalFileInUse(FileBytes(file))) return;
    const TJournalContents journal = TJournalReader::Read(FileBytes(file));
    // A journal that cannot be read is left for the next search to replace.
    if (!journal.Resumable()) {
        if (journal.Finished) QFile::remove(file);
        return;
    }
    const TSearchResume resume = TSearchJournal::ResumeOf(journal);
    if (resume.CanContinue() && m_prompter.Question(this, kResumeQuestion)) {
        ResumeSearch(journal, resume);
        return;
    }
    // The results survive the crash, even when the search is not continued.
    if (resume.HasResults && m_prompter.Question(this, kSaveQuestion)) {
        TellDropped(journal);
        ReplayResults(journal);
        ShowResultCount();
        SaveBitBtnClick();
    }
    QFile::remove(file);
}

void TMainForm::ResumeSearch(const TJournalContents& Journal, const TSearchResume& Resume) {
    TellDropped(Journal);
    // Before the results: a change of the follow mode empties the result list.
    if (!Journal.Runs.empty()) ShowRunSettings(Journal.Runs.back());
    // The memos' own text, not the crawler's widened lists; their change tells the crawler.
    if (Resume.IncludeText) m_ui->IncludeMemo->setPlainText(*Resume.IncludeText);
    if (Resume.ExcludeText) m_ui->ExcludeMemo->setPlainText(*Resume.ExcludeText);
    ReplayResults(Journal);
    ShowResultCount();
    const QString file = JournalFileName();
    m_journalTold = false;
    if (!m_httpScan->ContinueJournal(FileBytes(file), Journal)) {
        if (m_httpScan->JournalInUse()) {
            m_prompter.Message(this, QString("Das Protokoll des Suchlaufs %1 wird bereits von "
                                             "einem anderen Programm benutzt. Der Suchlauf wird "
                                             "nicht fortgesetzt.")
                                         .arg(file));
            return;
        }
        m_prompter.Message(this, JournalText("Das Protokoll des Suchlaufs %1 konnte nicht "
                                             "fortgeschrieben werden: %2. Der Suchlauf wird nicht "
                                             "fortgesetzt.",
                                             *m_httpScan, file));
        return;
    }
    m_urlList = Resume.List;
    m_urlListIndex = Resume.Entry;
    if (!m_urlList.isEmpty()) m_ui->StartBitBtn->setText("&Start Liste");
    if (!Resume.Run) {
        StartRun();
        return;
    }
    const TJournalRun& run = Journal.Runs[*Resume.Run];
    // The journal holds no password: the proxy's comes from the settings, as for any start.
    MaskEdit1Change();
    StartRun(&run);
    // The run goes on with its counters; its results are in the list already.
    HttpScan1UpdatedStats(static_cast<int>(run.Pending.size()), 0, 0, run.Fetched, run.Retries,
                          run.Errors);
    ShowResultCount();
}

void TMainForm::ShowRunSettings(const TJournalRun& Run) {
    Ui::TMainForm& u = *m_ui;
    const TRunSettings settings(Run);
    settings.Position("DepthSearchLevel", u.UpDown1);
    settings.Position("ConcurrentDownloads", u.UpDown2);
    // Setting an up-down's position tells the crawler nothing; the other controls tell it.
    UpDown1Click();
    UpDown2Click();
    settings.Index("LinkScan", u.SpiderOptionsGroupBox);
    settings.Index("LinkReport", u.RadioGroup3);
    settings.Check("KeywordsLimiterEnabled", u.IncludeCheckBox);
    settings.Check("KeywordsFilterEnabled", u.ExcludeCheckBox);
    settings.Check("FollowKeywordsEnabled", u.ContactPagesCheckBox);
    settings.Check("TypeFilterEnabled", u.FilterCheckBox);
    settings.Check("AllowRedirect", u.RedirectionCheckBox);
    settings.Text("Retries", u.Edit5);
    settings.Text("TimeOut", u.Edit7);
    settings.Index("ProxyType", u.ProxyRadioGroupBox);
    settings.Text("ProxyAddress", u.Edit8);
    settings.Text("ProxyPort", u.Edit9);
    settings.Text("ProxyUser", u.Edit4);
    settings.Check("ObeyRobotsTxt", u.RobotsCheckBox);
    if (settings.Has("HostDelayMs"))
        u.HostDelaySpinBox->setValue(settings.Value("HostDelayMs").toInt() / 1000.0);
    if (settings.Has("MaxPerHost"))
        u.MaxPerHostSpinBox->setValue(settings.Value("MaxPerHost").toInt());
    if (!settings.Has("TypeList")) return;
    const QStringList types = settings.Value("TypeList").split("\r\n", Qt::SkipEmptyParts);
    const std::pair<QCheckBox*, const char*> boxes[] = {
        {u.CheckBox1, "mail"}, {u.CheckBox2, "jpg"}, {u.CheckBox3, "gif"},
        {u.CheckBox4, "mp3"},  {u.CheckBox5, "pdf"}, {u.CheckBox6, "zip"}};
    for (const auto& [box, type] : boxes) box->setChecked(types.contains(type));
    // Types the boxes do not offer stand in the list as typed.
    QStringList shown = u.SearchForMemo->toPlainText().split('\n', Qt::SkipEmptyParts);
    shown.sort();
    if (shown != types) u.SearchForMemo->setPlainText(types.join('\n'));
}

void TMainForm::ReplayResults(const TJournalContents& Journal) {
    for (const TJournalRun& run : Journal.Runs)
        for (const TJournalReport& report : run.Reports)
            // The list may have gained addresses since the journal was written.
            if (report.Reported && !m_neverCollect.Withholds(report.TypeLink, report.UrlFound))
                AddResult(report.UrlFound, report.TypeLink);
    ShowWaitingLines();  // a resumed search shows what it found before at once
}

void TMainForm::TellDropped(const TJournalContents& Journal) {
    QStringList parts;
    if (Journal.DroppedBytes > 0)
        parts << QString(Journal.DroppedDamage
                             ? "die letzten %1 Bytes, ab einer beschädigten Stelle"
                             : "die letzten %1 Bytes, nicht zu Ende geschrieben")
                     .arg(Journal.DroppedBytes);
    if (Journal.UnknownRecords > 0)
        parts << QString("%1 Einträge einer neueren Programmversion (%2)")
                     .arg(Journal.UnknownRecords)
                     .arg(QString::fromStdString(Journal.ProgramVersion));
    if (parts.isEmpty()) return;
    m_prompter.Message(this,
                       QString("Das Protokoll des letzten Suchlaufs %1 war nicht ganz "
                               "lesbar; verwendet wird nur der lesbare Teil. Ausgelassen: %2.")
                           .arg(JournalFileName(), parts.join("; ")));
}
