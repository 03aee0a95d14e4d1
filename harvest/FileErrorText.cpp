#include "FileErrorText.h"

#include <QFileInfo>

#include <cerrno>

QString FileErrorText(const QString& FileName, int Errno) {
    switch (Errno) {
        case ENOENT:
            return "Die Datei oder ihr Ordner ist nicht vorhanden.";
        case EACCES:
        case EPERM:
            return "Zugriff verweigert, es fehlt die Berechtigung.";
        case EISDIR:
            return "Das ist ein Ordner, keine Datei.";
        case ENOTDIR:
            return "Ein Teil des Pfades ist kein Ordner.";
        case ENOSPC:
        case EDQUOT:
            return "Auf dem Datenträger ist kein Platz mehr frei.";
        case EROFS:
            return "Der Datenträger ist schreibgeschützt.";
        case ENAMETOOLONG:
            return "Der Dateiname ist zu lang.";
        case EMFILE:
        case ENFILE:
            return "Es sind zu viele Dateien geöffnet.";
        case EIO:
            return "Der Datenträger meldet einen Ein-/Ausgabefehler.";
        case ELOOP:
            return "Der Pfad enthält zu viele symbolische Verknüpfungen.";
        case EBUSY:
        case ETXTBSY:
            return "Die Datei wird gerade benutzt.";
        default:
            break;
    }
    // Qt refuses a folder itself, after a successful system call that set no error number.
    if (QFileInfo(FileName).isDir()) return "Das ist ein Ordner, keine Datei.";
    if (Errno == 0) return "Die Datei ließ sich nicht vollständig lesen oder schreiben.";
    return QString("Unbekannter Systemfehler (Nummer %1).").arg(Errno);
}

QString CannotReadText(const QString& FileName, const QString& Reason) {
    return QString("Die Datei \"%1\" konnte nicht gelesen werden: %2").arg(FileName, Reason);
}

QString CannotWriteText(const QString& FileName, const QString& Reason) {
    return QString("Die Datei \"%1\" konnte nicht geschrieben werden: %2").arg(FileName, Reason);
}
