// The main window's status bar note of a page that could not be fetched, with its reason.

#include <QStatusBar>

#include "HarvestText.h"
#include "TMainForm.h"
#include "ui_TMainForm.h"

namespace {

// Long enough to be read, short enough not to hide the result count for long.
constexpr int kFailureShownMs = 5000;

QString GermanReason(TFetchFailure Reason, int Status) {
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

}  // namespace

QString TMainForm::FailureText(const QString& Url, TFetchFailure Reason, int Status) {
    return QString("Nicht geladen: %1 (%2)").arg(Url, GermanReason(Reason, Status));
}

void TMainForm::HttpScan1FetchFailed(const std::string& Url, TFetchFailure Reason, int Status) {
    m_ui->StatusBar1->showMessage(FailureText(TextOfBytes(Url), Reason, Status), kFailureShownMs);
}
