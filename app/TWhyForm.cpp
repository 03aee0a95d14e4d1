#include "TWhyForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "HarvestText.h"
#include "TLinkDecisionLog.h"

namespace {

QString Q(const std::string& Text) {
    return TextOfBytes(Text);
}

// One sentence per rule: what it checks and where the user sets it.
QString RuleText(TLinkReason Reason, const TLinkRecord& R, bool Report) {
    switch (Reason) {
        case TLinkReason::Seen:
            return "Die Adresse war in diesem Lauf schon bekannt (etwa als Ziel einer "
                   "Weiterleitung); jede Adresse wird nur einmal bearbeitet.";
        case TLinkReason::Depth:
            return "Die Seite, auf der der Link steht, liegt schon in der eingestellten "
                   "Suchtiefe (Einstellungen, Suchtiefe).";
        case TLinkReason::Exclude:
            return "Die Adresse enthält das Ausschluss-Wort '" + Q(R.Keyword) +
                   "' (Filter, Ausschluss-Liste).";
        case TLinkReason::Include:
            return "Die Adresse enthält keines der Wörter der Einschluss-Liste (Filter, "
                   "Einschluss-Liste).";
        case TLinkReason::Type:
            return "Der Typ '" + Q(R.TypeLink) +
                   "' ist nicht unter den gesuchten Typen "
                   "(Suchen nach).";
        case TLinkReason::Site:
            return Report ? "Die Adresse gehört zu einer anderen Website als die Seite, auf der "
                            "sie steht (Optionen, Links melden)."
                          : "Die Adresse gehört zu einer anderen Website als die Startadresse "
                            "(Optionen, Links folgen).";
        case TLinkReason::Path:
            return Report ? "Die Adresse liegt nicht im Pfad der Seite, auf der sie steht "
                            "(Optionen, Links melden)."
                          : "Die Adresse liegt nicht im Pfad der Startadresse (Optionen, Links "
                            "folgen).";
        case TLinkReason::Scheme:
            return "Es ist keine http- oder https-Adresse mit erkennbarem Typ.";
        case TLinkReason::Queue:
            return "Die Datei der zurückgestellten Links konnte nicht geschrieben werden.";
        case TLinkReason::Robots:
            return "Die robots.txt des Servers verbietet den Abruf (Rücksicht auf Server).";
        case TLinkReason::Caller:
            return "Das Programm hat das Folgen des Links abgelehnt.";
        case TLinkReason::Stopped:
            return "Der Lauf wurde angehalten.";
        case TLinkReason::Invalid:
            return "Der mailto-Link nennt hier keine gültige E-Mail-Adresse (genau ein @, davor "
                   "1 bis 64 und danach 1 bis 255 Zeichen).";
        case TLinkReason::None:
            break;
    }
    return {};
}

QString Outcome(const TLinkRecord& R) {
    const bool page = R.TypeLink == "htm";
    if (R.FollowReason != TLinkReason::None)
        return (R.Reported ? "Gemeldet, aber nicht besucht: " : "Nicht besucht: ") +
               RuleText(R.FollowReason, R, false);
    if (R.ReportReason != TLinkReason::None)
        return (R.Followed ? "Besucht, aber nicht gemeldet: " : "Nicht gemeldet: ") +
               RuleText(R.ReportReason, R, true);
    if (page) return R.Followed ? "Gemeldet und besucht." : "Gemeldet.";
    return "Gemeldet (Typ '" + Q(R.TypeLink) +
           "'); Dateien und E-Mail-Adressen werden nicht besucht.";
}

}  // namespace

TWhyForm::TWhyForm(const TLinkDecisionLog& Log, QWidget* Parent)
    : QDialog(Parent), m_log(Log), m_url(new QLineEdit(this)), m_answer(new QLabel(this)) {
    setObjectName("WhyForm");
    setWindowTitle("Warum?");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel("&Adresse:", this);
    label->setBuddy(m_url);
    layout->addWidget(label);
    layout->addWidget(m_url);
    m_answer->setWordWrap(true);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_answer->setMinimumWidth(480);
    layout->addWidget(m_answer);
    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ask = buttons->addButton("&Erklären", QDialogButtonBox::ActionRole);
    QPushButton* close = buttons->addButton("&Schließen", QDialogButtonBox::RejectRole);
    layout->addWidget(buttons);
    connect(ask, &QPushButton::clicked, this, [this] { Ask(m_url->text()); });
    connect(m_url, &QLineEdit::returnPressed, this, [this] { Ask(m_url->text()); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void TWhyForm::Ask(const QString& Url) {
    m_url->setText(Url.trimmed());
    m_answer->setText(Answer(m_log, Url));
}

QString TWhyForm::AnswerText() const {
    return m_answer->text();
}

QString TWhyForm::AddressOfLine(const QString& Line, bool ResultLine) {
    if (!ResultLine) return Line.trimmed();
    const qsizetype gap = Line.indexOf("  ");
    return (gap < 0 ? Line : Line.mid(gap + 2)).trimmed();
}

QString TWhyForm::Answer(const TLinkDecisionLog& Log, const QString& Url) {
    const QString url = Url.trimmed();
    if (url.isEmpty()) return "Bitte eine Adresse eingeben.";
    // As the window hands typed text to the engine.
    const QByteArray bytes = url.toUtf8();
    return AnswerForBytes(Log, std::string_view(bytes.constData(), bytes.size()));
}

QString TWhyForm::AnswerForBytes(const TLinkDecisionLog& Log, std::string_view Url) {
    const auto record = Log.Find(Url);
    if (!record) return "Diese Adresse ist im letzten Lauf nicht vorgekommen.";
    if (record->Start)
        return "Startadresse des Laufs." +
               (record->FollowReason == TLinkReason::None
                    ? QString()
                    : " Nicht besucht: " + RuleText(record->FollowReason, *record, false));
    return "Gefunden auf " + Q(record->FromUrl) + " (Tiefe " + QString::number(record->Depth) +
           "). " + Outcome(*record);
}
