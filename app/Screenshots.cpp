// Renders the main window's tabs and the dialogs to PNG files without a display:
//   tarnwick-screenshots OUTPUT-FOLDER APP-FOLDER
// The window reads its settings and pictures from APP-FOLDER like the program does.

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

#include "CurlSupport.h"
#include "TMainForm.h"
#include "TPromoForm.h"
#include "TPrompter.h"
#include "TTipForm.h"
#include "ui_TMainForm.h"

namespace {

// Answers every question as a user who cancels, so nothing blocks.
class TSilentPrompter : public TPrompter {
public:
    void Information(QWidget*, const QString&) override {}
    void Message(QWidget*, const QString&) override {}
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    int ShowModal(QDialog&) override { return QDialog::Rejected; }
};

bool Save(QWidget& widget, const QString& file) {
    widget.show();
    QApplication::processEvents();
    const bool saved = widget.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    return saved;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TCurlGlobal curl;
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: tarnwick-screenshots OUTPUT-FOLDER APP-FOLDER\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    QTemporaryDir state;
    TSilentPrompter prompter;
    TMainForm window(QString::fromLocal8Bit(argv[2]), state.path(), prompter);
    // The window maximises itself when first shown; the pictures show its normal size.
    window.show();
    QApplication::processEvents();
    window.showNormal();
    window.resize(744, 552);
    bool ok = true;
    const char* names[] = {"main-1-email", "main-2-filter", "main-3-optionen"};
    for (int tab = 0; tab < 3; ++tab) {
        window.Controls().PageControl1->setCurrentIndex(tab);
        ok &= Save(window, out + "/" + names[tab] + ".png");
    }
    TTipForm tip(QString::fromLocal8Bit(argv[2]));
    ok &= Save(tip, out + "/tip.png");
    TPromoForm promotion;
    ok &= Save(promotion, out + "/promotion.png");
    return ok ? 0 : 1;
}
