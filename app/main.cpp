// Tarnwick pro: the harvester's window.

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QLocale>

#include <cstdio>

#include "CurlSupport.h"
#include "GermanQt.h"
#include "Prell_SystemInfo.h"
#include "TCloseSignal.h"
#include "TMainForm.h"
#include "TProgramFolders.h"
#include "TPrompter.h"

namespace {

void Warn(const QString& Text) {
    std::fprintf(stderr, "tarnwick: %s\n", Text.toLocal8Bit().constData());
}

}  // namespace

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
    // Lets the desktop match the window with its menu entry and icon.
    QGuiApplication::setDesktopFileName(TARNWICK_APP_ID);
    QApplication::setWindowIcon(QIcon::fromTheme(TARNWICK_APP_ID));
    WindowsInfo = std::make_unique<TWindowsInfo>();

    QString error;
    const TProgramFolders folders =
        TProgramFolders::ForProgram(QCoreApplication::applicationDirPath(), error);
    if (!error.isEmpty()) Warn(error);
    for (const QString& name : folders.MissingShippedFiles()) Warn("Programmdatei fehlt: " + name);

    TDialogPrompter prompter;
    TMainForm window(folders, QFile::decodeName(WindowsInfo->SystemRootDir.c_str()), prompter);
    QObject::connect(&window, &TMainForm::Quit, &app, &QApplication::quit, Qt::QueuedConnection);
    // A session that ends must not wait for the promotional window: when idle the program ends
    // as by "Beenden"; during a run the close request stops the run first.
    const TCloseSignal closeSignal([&window] { window.EndSession(); });
    window.show();
    const int status = app.exec();
    WindowsInfo.reset();
    return status;
}
