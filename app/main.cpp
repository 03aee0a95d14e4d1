// Tarnwick pro: the harvester's window.

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLocale>

#include <cstdio>

#include "CurlSupport.h"
#include "GermanQt.h"
#include "Prell_SystemInfo.h"
#include "TMainForm.h"
#include "TPrompter.h"

int main(int argc, char** argv) {
    TCurlGlobal curl;  // before any thread starts
    const auto userLocale = PreferGermanLocale();
    QApplication app(argc, argv);
    QLocale::system();  // read now, in German; the programs we start get the user's settings
    RestoreEnvironment(userLocale);
    // No display name: Qt would append it to every window title ("Hinweis — Tarnwick pro").
    QApplication::setApplicationName("tarnwick");
    if (!InstallGermanQt(app))
        std::fprintf(stderr, "tarnwick: Qt's German translation (qtbase_de.qm) is missing\n");
    WindowsInfo = std::make_unique<TWindowsInfo>();

    TDialogPrompter prompter;
    TMainForm window(QCoreApplication::applicationDirPath(),
                     QFile::decodeName(WindowsInfo->SystemRootDir.c_str()), prompter);
    QObject::connect(&window, &TMainForm::Quit, &app, &QApplication::quit, Qt::QueuedConnection);
    window.show();
    const int status = app.exec();
    WindowsInfo.reset();
    return status;
}
