// Tarnwick pro: the harvester's window.

#include <QApplication>
#include <QCoreApplication>
#include <QFile>

#include "CurlSupport.h"
#include "Prell_SystemInfo.h"
#include "TMainForm.h"
#include "TPrompter.h"

int main(int argc, char** argv) {
    TCurlGlobal curl;  // before any thread starts
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Tarnwick pro");
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
