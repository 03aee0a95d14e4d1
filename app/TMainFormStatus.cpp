// The main window's notes of pages that could not be fetched, with their reasons: the status
// bar, the decision log behind "Warum?", and the summary of a worked-through list.

#include <QStatusBar>

#include "HarvestText.h"
#include "THttpScan.h"
#include "TLinkDecisionLog.h"
#include "TMainForm.h"
#include "TPrompter.h"
#include "TWhyForm.h"
#include "ui_TMainForm.h"

namespace {

// Long enough to be read, short enough not to hide the result count for long.
constexpr int kFailureShownMs = 5000;

QString NotLoadedText(const QString& Url, const QString& Why) {
    return QString("Nicht geladen: %1 (%2)").arg(Url, Why);
}

}  // namespace

QString TMainForm::FailureText(const QString& Url, TFetchFailure Reason, int Status) {
    return NotLoadedText(Url, TWhyForm::ReasonWords(Reason, Status));
}

void TMainForm::HttpScan1FetchFailed(const std::string& Url, TFetchFailure Reason, int Status) {
    m_decisions->NoteFailed(Url, Reason, Status);
    NoteStartFailure(Url, TWhyForm::ReasonWords(Reason, Status));
    m_ui->StatusBar1->showMessage(FailureText(TextOfBytes(Url), Reason, Status), kFailureShownMs);
}

void TMainForm::HttpScan1Skipped(const std::string& Url, const std::string& Reason,
                                 TFetchFailure Cause, int Status) {
    if (Reason == "robots") {
        m_decisions->NoteNotFetched(Url, TLinkReason::Robots);
        NoteStartFailure(Url, "robots.txt verbietet den Abruf");
        return;
    }
    // Its server did not answer (or failed) for robots.txt: that is what the user can act on.
    m_decisions->NoteNotFetched(Url, TLinkReason::RobotsUnreachable, Cause, Status);
    const QString why =
        "robots.txt nicht lesbar" +
        (Cause == TFetchFailure::None ? QString() : ": " + TWhyForm::ReasonWords(Cause, Status));
    NoteStartFailure(Url, why);
    m_ui->StatusBar1->showMessage(NotLoadedText(TextOfBytes(Url), why), kFailureShownMs);
}

void TMainForm::NoteStartFailure(const std::string& Url, const QString& Reason) {
    if (Url == m_httpScan->StartingUrl() && m_startFailure.isEmpty()) m_startFailure = Reason;
}

void TMainForm::NoteListEntryEnd() {
    QString failure;
    if (m_runPages == 0)
        failure = !m_startFailure.isEmpty() ? m_startFailure
                  : m_runCut                ? QString("angehalten")
                                            : QString("keine Seite geladen");
    m_listEntries.push_back({TextOfBytes(m_httpScan->StartingUrl()), m_runPages, failure});
}

void TMainForm::ShowListSummary() {
    if (m_listEntries.empty()) return;
    int failed = 0;
    QStringList lines;
    for (std::size_t i = 0; i < m_listEntries.size(); ++i) {
        const TListEntry& entry = m_listEntries[i];
        if (entry.Failure.isEmpty()) continue;
        ++failed;
        lines << QString("Eintrag %1: %2 (%3)")
                     .arg(i + 1)
                     .arg(entry.Url.isEmpty() ? QString("leere Zeile") : entry.Url, entry.Failure);
    }
    const int count = static_cast<int>(m_listEntries.size());
    QString text = QString(
                       "Die Liste ist abgearbeitet: %1 %2, davon %3 durchsucht und %4 "
                       "fehlgeschlagen.")
                       .arg(count)
                       .arg(count == 1 ? "Eintrag" : "Einträge")
                       .arg(count - failed)
                       .arg(failed);
    if (failed > 0) text += "\n\nFehlgeschlagen:\n" + lines.join('\n');
    m_listEntries.clear();
    m_prompter.Information(this, text);
}
