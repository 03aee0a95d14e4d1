#pragma once
// Why a file could not be read or written, in German words for the user. Qt's own texts are
// English; the window names the file and gives this reason instead.

#include <QString>

// The reason for errno value Errno (taken right after the failed call). FileName helps where the
// system gives no number, e.g. a folder opened as a file.
QString FileErrorText(const QString& FileName, int Errno);

// "Die Datei "NAME" konnte nicht gelesen werden: REASON" and its writing twin.
QString CannotReadText(const QString& FileName, const QString& Reason);
QString CannotWriteText(const QString& FileName, const QString& Reason);
