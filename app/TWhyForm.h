#pragma once
// "Warum?": why the crawler followed, reported or skipped an address. The answer is a short
// German text built from the run's decision log; the small dialog takes a pasted address and
// shows the answer below it. GUI thread only; the main window owns the log and the dialog.

#include <QDialog>
#include <QString>

#include <string_view>

#include "FetchFailure.h"

class QLabel;
class QLineEdit;
class TLinkDecisionLog;

class TWhyForm : public QDialog {
    Q_OBJECT
public:
    TWhyForm(const TLinkDecisionLog& Log, QWidget* Parent = nullptr);

    // The answer about Url (blanks around it ignored), from what Log holds.
    static QString Answer(const TLinkDecisionLog& Log, const QString& Url);
    // The same for Url as the crawler's bytes.
    static QString AnswerForBytes(const TLinkDecisionLog& Log, std::string_view Url);
    // The address in a line of the visited or the result list: a result line starts with its
    // type, padded, and two blanks.
    static QString AddressOfLine(const QString& Line, bool ResultLine);

    // Why a download failed, in a few German words ("Verbindung abgelehnt").
    static QString ReasonWords(TFetchFailure Reason, int Status);
    // What the user can do about Reason, as a sentence with a leading blank; empty when nothing.
    static QString Advice(TFetchFailure Reason);

    void Ask(const QString& Url);
    QLineEdit& UrlEdit() { return *m_url; }
    QString AnswerText() const;

protected:
    void showEvent(QShowEvent* Event) override;

private:
    static constexpr int kAnswerWidth = 480;
    void FitAnswer();

    const TLinkDecisionLog& m_log;
    QLineEdit* m_url;
    QLabel* m_answer;
};
