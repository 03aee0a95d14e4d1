#include "GermanQt.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {

const QByteArray kGerman = "de_DE.UTF-8";
const char* const kCategories[] = {"LC_TIME", "LC_MESSAGES"};

}  // namespace

QList<QPair<QByteArray, QByteArray>> GermanLocaleEnvironment(
    const QMap<QByteArray, QByteArray>& Environment) {
    QList<QPair<QByteArray, QByteArray>> changes;
    const QByteArray all = Environment.value("LC_ALL");
    QByteArray lang = Environment.value("LANG");
    // LC_ALL would hide the categories set below: its value moves to LANG, the fallback of
    // every category the user did not name.
    if (!all.isEmpty() && !all.startsWith("de")) {
        changes << qMakePair(QByteArray("LC_ALL"), QByteArray());
        changes << qMakePair(QByteArray("LANG"), all);
        lang = all;
    } else if (!all.isEmpty()) {
        return changes;
    }
    for (const char* category : kCategories) {
        const QByteArray own = Environment.value(category);
        const QByteArray effective = !all.isEmpty() ? all : !own.isEmpty() ? own : lang;
        if (!effective.startsWith("de")) changes << qMakePair(QByteArray(category), kGerman);
    }
    return changes;
}

QList<QPair<QByteArray, QByteArray>> PreferGermanLocale() {
    QMap<QByteArray, QByteArray> environment;
    for (const char* name : {"LC_ALL", "LANG", "LC_TIME", "LC_MESSAGES"})
        if (qEnvironmentVariableIsSet(name)) environment[name] = qgetenv(name);
    const QList<QPair<QByteArray, QByteArray>> changes = GermanLocaleEnvironment(environment);
    QList<QPair<QByteArray, QByteArray>> before;
    for (const auto& change : changes) before << qMakePair(change.first, qgetenv(change.first));
    RestoreEnvironment(changes);
    return before;
}

void RestoreEnvironment(const QList<QPair<QByteArray, QByteArray>>& Variables) {
    for (const auto& [name, value] : Variables) {
        if (value.isEmpty())
            qunsetenv(name.constData());
        else
            qputenv(name.constData(), value);
    }
}

bool InstallGermanQt(QCoreApplication& App) {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    auto* translator = new QTranslator(&App);  // lives as long as the application
    if (!translator->load("qtbase_de", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}
