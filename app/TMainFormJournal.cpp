// The main window's run journal: it is opened when a search starts, removed when the search ends
// normally or the program quits, and read at the next start when it was left behind.

#include <QFile>
#include <QLockFile>

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
    if (!JournalOwned()) return true;
    const QString file = JournalFileName();
    m_journalTold = false;
    if (!m_httpScan->OpenJournal(FileBytes(file))) {
        m_prompter.Message(this, JournalText("Das Protokoll des Suchlaufs %1 konnte nicht angelegt "
                                             "werden: %2. Die Suche wurde nicht gestartet.",
                                             *m_httpScan, file));
        return false;
    }
    if (!m_urlList.isEmpty()) m_httpScan->JournalNote(TSearchJournal::ListNote(m_urlList));
    return true;
}

void TMainForm::EndJournal() {
    // Marked done first: should the file outlive its removal, it is not offered again.
    m_httpScan->FinishJournal();
    if (JournalOwned()) QFile::remove(JournalFileName());
}

void TMainForm::DiscardJournal() {
    m_httpScan->CloseJournal();
    if (JournalOwned()) QFile::remove(JournalFileName());
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
    if (!QFile::exists(file)) return;
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
    ReplayResults(Journal);
    ShowResultCount();
    const QString file = JournalFileName();
    m_journalTold = false;
    if (!m_httpScan->ContinueJournal(FileBytes(file), Journal)) {
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

void TMainForm::ReplayResults(const TJournalContents& Journal) {
    for (const TJournalRun& run : Journal.Runs)
        for (const TJournalReport& report : run.Reports)
            if (report.Reported) AddResult(report.UrlFound, report.TypeLink);
}

void TMainForm::TellDropped(const TJournalContents& Journal) {
    if (Journal.Dropped.empty()) return;
    m_prompter.Message(this, QString("Das Protokoll des letzten Suchlaufs %1 war nicht ganz "
                                     "lesbar; verwendet wird nur der lesbare Teil. Ausgelassen: %2")
                                 .arg(JournalFileName(), QString::fromStdString(Journal.Dropped)));
}
