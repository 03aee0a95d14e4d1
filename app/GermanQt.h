#pragma once
// Qt's own texts (file dialogs, the overwrite question, standard buttons, edit menus) in German,
// from Debian's translation of Qt that the project's setup installs.

class QCoreApplication;

// Installs Qt's German translation on App and makes German the default locale (number forms,
// sorting). False when the translation is not installed; Qt then speaks English.
bool InstallGermanQt(QCoreApplication& App);
