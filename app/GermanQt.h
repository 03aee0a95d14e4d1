#pragma once
// Qt's own texts (file dialogs, the overwrite question, standard buttons, edit menus) in German,
// from Debian's translation of Qt that the project's setup installs.

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QPair>

class QCoreApplication;

// Environment changes that make the system locale German for dates and messages (Qt's file
// dialog shows "Dez" and "Bytes", not "Dec" and "bytes"), given the environment's locale
// variables; other categories (numbers above all) stay as the user set them. An empty value
// removes the variable. Nothing changes for a user whose dates and messages are German already.
QList<QPair<QByteArray, QByteArray>> GermanLocaleEnvironment(
    const QMap<QByteArray, QByteArray>& Environment);

// Applies GermanLocaleEnvironment to this process; call before the application object exists.
// Returns the variables as they were, for RestoreEnvironment once Qt has read its locale: the
// browser and the editor that the program starts keep the user's own settings.
QList<QPair<QByteArray, QByteArray>> PreferGermanLocale();
// Sets each variable to its value again (an empty value removes it).
void RestoreEnvironment(const QList<QPair<QByteArray, QByteArray>>& Variables);

// Installs Qt's German translation on App and makes German the default locale (number forms,
// sorting). False when the translation is not installed; Qt then speaks English.
bool InstallGermanQt(QCoreApplication& App);
