#include "TWhyForm.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

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
            return "Die Seite, auf der der Link steht, liegt schon in der eingestellten Tiefe "
                   "(Einstellungen: \"Tiefe der zu verfolgenden Links\").";
        case TLinkReason::Exclude:
            return "Die Adresse enthält den Begriff '" + Q(R.Keyword) +
                   "' (Filter: \"URL darf Begriffe nicht enthalten\").";
        case TLinkReason::Include:
            return "Die Adresse enthält keinen der Begriffe (Filter: \"URL muss Begriffe "
                   "enthalten\").";
        case TLinkReason::Type:
            return "Der Typ '" + Q(R.TypeLink) +
                   "' ist nicht unter den gesuchten Typen "
                   "(Suchen nach).";
        case TLinkReason::Site:
            return Report ? "Die Adresse gehört zu einer anderen Website als die Seite, auf der "
                            "sie steht (Link Report)."
                          : "Die Adresse gehört zu einer anderen Website als die Startadresse "
                            "(Spider Einstellungen).";
        case TLinkReason::Path:
            return Report ? "Die Adresse liegt nicht im Pfad der Seite, auf der sie steht "
                            "(Link Report)."
                          : "Die Adresse liegt nicht im Pfad der Startadresse (Spider "
                            "Einstellungen).";
        case TLinkReason::Scheme:
            return "Es ist keine http- oder https-Adresse mit erkennbarem Typ.";
        case TLinkReason::Queue:
            return "Die Datei der zurückgestellten Links konnte nicht geschrieben werden.";
        case TLinkReason::Robots:
            return "Die robots.txt des Servers verbietet den Abruf (Optionen, Rücksicht auf "
                   "Server: \"robots.txt beachten\").";
        case TLinkReason::RobotsUnreachable:
            // The server forbade nothing: it did not answer, and that is what to look into.
            return "Die robots.txt des Servers konnte nicht gelesen werden" +
                   (R.Failure == TFetchFailure::None
                        ? QString()
                        : " (" + TWhyForm::ReasonWords(R.Failure, R.FailureStatus) + ")") +
                   ". Ohne sie wird von diesem Server nichts geladen (Optionen, Rücksicht auf "
                   "Server: \"robots.txt beachten\")." +
                   TWhyForm::Advice(R.Failure);
        case TLinkReason::Caller:
            return "Das Programm hat das Folgen des Links abgelehnt.";
        case TLinkReason::Stopped:
            return "Der Lauf wurde angehalten.";
        case TLinkReason::Invalid:
            return "Der mailto-Link nennt hier keine gültige E-Mail-Adresse (genau ein @, davor "
                   "1 bis 64 und danach 1 bis 255 Zeichen).";
        case TLinkReason::NoFollow:
            return "Die Seite, auf der der Link steht, bittet mit \"nofollow\" (Meta-Tag robots "
                   "oder X-Robots-Tag), ihren Links nicht zu folgen (Optionen, Rücksicht auf "
                   "Server: \"robots.txt beachten\").";
        case TLinkReason::FollowKeywords:
            return "Weder Pfad noch Abfrage der Adresse enthalten einen Begriff der Liste "
                   "\"Kontaktseiten.ini\" (Spider Einstellungen: \"Nur Kontaktseiten\").";
        case TLinkReason::None:
            break;
    }
    return {};
}

// A download that failed after the link was followed.
QString FailureNote(const TLinkRecord& R) {
    if (R.Failure == TFetchFailure::None || R.FollowReason == TLinkReason::RobotsUnreachable)
        return {};
    return " Nicht geladen: " + TWhyForm::ReasonWords(R.Failure, R.FailureStatus) + "." +
           TWhyForm::Advice(R.Failure);
}

QString Outcome(const TLinkRecord& R) {
    const bool page = R.TypeLink == "htm";
    if (R.FollowReason != TLinkReason::None)
        return (R.Reported ? "Gemeldet, aber nicht besucht: " : "Nicht besucht: ") +
               RuleText(R.FollowReason, R, false);
    if (R.ReportReason != TLinkReason::None)
        return (R.Followed ? "Besucht, aber nicht gemeldet: " : "Nicht gemeldet: ") +
               RuleText(R.ReportReason, R, true);
    if (page) return R.Followed ? "Gemeldet und besucht." + FailureNote(R) : "Gemeldet.";
    return "Gemeldet (Typ '" + Q(R.TypeLink) +
           "'); Dateien und E-Mail-Adressen werden nicht besucht.";
}

}  // namespace

QString TWhyForm::ReasonWords(TFetchFailure Reason, int Status) {
    switch (Reason) {
        case TFetchFailure::None:
            return {};
        case TFetchFailure::HostNotFound:
            return "Server nicht gefunden";
        case TFetchFailure::ProxyNotFound:
            return "Proxy nicht gefunden";
        case TFetchFailure::ConnectionRefused:
            return "Verbindung abgelehnt";
        case TFetchFailure::CannotConnect:
            return "keine Verbindung";
        case TFetchFailure::TimedOut:
            return "Zeitüberschreitung";
        case TFetchFailure::ConnectionReset:
            return "Verbindung abgebrochen";
        case TFetchFailure::EmptyReply:
            return "keine Antwort";
        case TFetchFailure::CutShort:
            return "Antwort unvollständig";
        case TFetchFailure::NetworkError:
            return "Netzwerkfehler";
        case TFetchFailure::RedirectLoop:
            return "Weiterleitung im Kreis";
        case TFetchFailure::TooManyRedirects:
            return "zu viele Weiterleitungen";
        case TFetchFailure::RefusedScheme:
            return "Weiterleitung auf ein anderes Protokoll";
        case TFetchFailure::TlsError:
            return "keine sichere Verbindung";
        case TFetchFailure::BadAnswer:
            return "unlesbare Antwort";
        case TFetchFailure::TooLarge:
            return "zu groß";
        case TFetchFailure::NoContentType:
            return "ohne Inhaltstyp";
        case TFetchFailure::EmptyBody:
            return "leere Seite";
        case TFetchFailure::LoginRequired:
            return "Anmeldung nötig";
        case TFetchFailure::LoginRefused:
            return "Anmeldung abgelehnt";
        case TFetchFailure::ProxyLoginRefused:
            return "Anmeldung am Proxy abgelehnt";
        case TFetchFailure::HttpStatus:
            return QString("HTTP-Status %1").arg(Status);
        case TFetchFailure::InternalError:
            return "interner Fehler";
    }
    return {};
}

QString TWhyForm::Advice(TFetchFailure Reason) {
    switch (Reason) {
        case TFetchFailure::ConnectionRefused:
            return " Unter dieser Adresse und diesem Port nimmt kein Server Verbindungen an: "
                   "Adresse und Port prüfen.";
        case TFetchFailure::HostNotFound:
            return " Den Namen des Servers gibt es nicht: die Adresse auf Tippfehler prüfen.";
        case TFetchFailure::ProxyNotFound:
            return " Den Namen des Proxy-Servers gibt es nicht (Optionen, \"Proxy Parameter\").";
        case TFetchFailure::TimedOut:
            return " Der Server hat nicht rechtzeitig geantwortet (Optionen: \"TimeOut:\").";
        case TFetchFailure::CannotConnect:
            return " Der Server ist nicht erreichbar: die Netzverbindung prüfen.";
        default:
            return {};
    }
}

TWhyForm::TWhyForm(const TLinkDecisionLog& Log, QWidget* Parent)
    : QDialog(Parent), m_log(Log), m_url(new QLineEdit(this)), m_answer(new QLabel(this)) {
    setObjectName("WhyForm");
    setWindowTitle("Warum?");
    auto* layout = new QVBoxLayout(this);
    auto* label = new QLabel("&Adresse:", this);
    label->setBuddy(m_url);
    layout->addWidget(label);
    layout->addWidget(m_url);
    m_answer->setObjectName("AnswerLabel");
    m_answer->setWordWrap(true);
    m_answer->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_answer->setMinimumWidth(kAnswerWidth);
    m_answer->setAlignment(Qt::AlignLeft | Qt::AlignTop);
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
    FitAnswer();
}

void TWhyForm::FitAnswer() {
    // A wrapped label in a layout is given the height of its unwrapped text; the dialog grows to
    // the wrapped text's height, so every line of the answer shows at once.
    m_answer->setMinimumHeight(m_answer->heightForWidth(std::max(m_answer->width(), kAnswerWidth)));
    if (isVisible()) adjustSize();
}

void TWhyForm::showEvent(QShowEvent* Event) {
    FitAnswer();
    adjustSize();
    QDialog::showEvent(Event);
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
                    ? FailureNote(*record)
                    : " Nicht besucht: " + RuleText(record->FollowReason, *record, false));
    return "Gefunden auf " + Q(record->FromUrl) + " (Tiefe " + QString::number(record->Depth) +
           "). " + Outcome(*record);
}
