// Renders the main window's tabs and the dialogs to PNG files without a display:
//   tarnwick-screenshots OUTPUT-FOLDER APP-FOLDER
// The window reads its settings and pictures from APP-FOLDER like the program does.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <utility>

#include "CurlSupport.h"
#include "GermanQt.h"
#include "HarvestText.h"
#include "TAboutBox.h"
#include "TIniFile.h"
#include "TMainForm.h"
#include "TPromoForm.h"
#include "TPrompter.h"
#include "TSpezialURLForm.h"
#include "TTipForm.h"
#include "TWhyForm.h"
#include "TZusammenfassenForm.h"
#include "ui_TMainForm.h"

namespace {

bool Save(QWidget& widget, const QString& file) {
    widget.show();
    QApplication::processEvents();
    const bool saved = widget.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "FAILED", qPrintable(file));
    return saved;
}

// Answers every question as a user who cancels, so nothing blocks. A box asked for while a
// picture name waits in Shots is drawn to that file, as the user would see it.
class TSilentPrompter : public TPrompter {
public:
    std::deque<QString> Shots;
    QString OpenAnswer;
    bool Saved = true;

    void Information(QWidget*, const QString& Text) override {
        Draw(QMessageBox::Information, "Hinweis", Text, QMessageBox::Ok);
    }
    void Message(QWidget*, const QString&) override {}
    bool Question(QWidget*, const QString& Text) override {
        Draw(QMessageBox::Question, "Frage", Text, QMessageBox::Yes | QMessageBox::No);
        return false;
    }
    TAnswer YesNoCancel(QWidget*, const QString& Text) override {
        Draw(QMessageBox::Question, "Frage", Text,
             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return TAnswer::Cancel;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return std::exchange(OpenAnswer, QString());
    }
    QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    int ShowModal(QDialog&) override { return QDialog::Rejected; }

private:
    void Draw(QMessageBox::Icon Icon, const QString& Title, const QString& Text,
              QMessageBox::StandardButtons Buttons) {
        if (Shots.empty()) return;
        QMessageBox box(Icon, Title, Text, Buttons);
        Saved &= Save(box, Shots.front());
        Shots.pop_front();
    }
};

// Runs Condition's event loop until it holds, for at most Seconds.
template <typename Condition>
bool WaitUntil(Condition condition, int seconds) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

struct TSize {
    const char* Name;
    int Width, Height;
};
// The described size, and the window maximised on two common screens (no frame offscreen).
const TSize kSizes[] = {{"", 744, 552}, {"-1366x768", 1366, 768}, {"-1920x1080", 1920, 1080}};

bool SaveTabs(TMainForm& window, const QString& prefix, const TSize& size, bool allTabs) {
    window.resize(size.Width, size.Height);
    bool ok = true;
    const char* names[] = {"1-email", "2-filter", "3-optionen"};
    for (int tab = 0; tab < (allTabs ? 3 : 1); ++tab) {
        window.Controls().PageControl1->setCurrentIndex(tab);
        ok &= Save(window, prefix + names[tab] + size.Name + ".png");
    }
    window.Controls().PageControl1->setCurrentIndex(0);
    return ok;
}

// Qt's own save dialog, as the German user meets it when saving results.
bool SaveFileDialog(const QString& out, const QString& folder) {
    QFileDialog dialog(nullptr, "Speichern unter", folder, "Textdatei (*.txt)");
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.selectFile("unbenannt.txt");
    dialog.resize(640, 420);
    return Save(dialog, out + "/file-dialog.png");
}

// The window during and after a harvest of the demo site, served by the project's local server,
// at every size, and the result manager with the saved result.
bool SaveRun(TMainForm& window, TSilentPrompter& prompter, const QString& out,
             const QString& server, const QString& site) {
    QTemporaryDir files;
    QFile config(files.filePath("config.json"));
    if (!config.open(QIODevice::WriteOnly) || config.write("{}") != 2) return false;
    config.close();
    QProcess process;
    process.start("python3", {server, "--config", files.filePath("config.json"), "--log",
                              files.filePath("log.jsonl"), "--site", site});
    if (!process.waitForReadyRead(15000)) {
        std::fprintf(stderr, "the demo server did not start\n");
        return false;
    }
    const QString port = QString::fromLatin1(process.readLine()).section(' ', 1).trimmed();
    Ui::TMainForm& u = window.Controls();
    u.PageControl1->setCurrentIndex(0);
    u.ProxyRadioGroupBox->SetItemIndex(0);
    for (QCheckBox* box : {u.CheckBox1, u.CheckBox5, u.CheckBox6}) box->setChecked(true);
    u.URLEdit->setText("http://127.0.0.1:" + port + "/");
    window.StartBitBtnClick();
    bool ok = WaitUntil([&] { return window.ResultLines().size() >= 3; }, 30);
    for (const TSize& size : kSizes) ok &= SaveTabs(window, out + "/run-1-during-", size, false);
    ok &= WaitUntil([&] { return window.ScanIdle(); }, 60);
    for (const TSize& size : kSizes) ok &= SaveTabs(window, out + "/run-2-after-", size, true);
    window.resize(744, 552);
    std::vector<std::string> results;
    for (const std::string& line : window.ResultLines()) results.push_back(line.substr(6));
    QString error;
    WriteByteLines(files.filePath("ergebnis-demo.txt"), results, error);
    results.resize(std::min<std::size_t>(results.size(), 2));
    WriteByteLines(files.filePath("ergebnis-alt.txt"), results, error);
    // "Warum?" about the first result, as a user asks it after the run.
    if (!results.empty()) {
        window.WhyForm().Ask(TextOfBytes(results.front()));
        ok &= Save(window.WhyForm(), out + "/why.png");
        window.WhyForm().hide();
    }
    // The questions before unsaved results are lost: closing, and a new follow mode.
    prompter.Shots = {out + "/question-close-unsaved.png", out + "/question-follow-mode.png"};
    window.close();
    u.SpiderOptionsGroupBox->Button(1)->click();
    // A list whose second entry has no server: its summary, and "Warum?" about that entry.
    QFile list(files.filePath("liste.txt"));
    if (!list.open(QIODevice::WriteOnly)) return false;
    list.write(QString("http://127.0.0.1:%1/\r\nhttp://127.0.0.1:1/\r\n").arg(port).toLatin1());
    list.close();
    prompter.OpenAnswer = list.fileName();
    window.ListSearchBitBtnClick();
    prompter.Shots = {out + "/list-summary.png"};
    u.Edit5->setText("0");
    window.StartBitBtnClick();
    ok &= WaitUntil([&] { return prompter.Shots.empty() && window.ScanIdle(); }, 60);
    ok &= prompter.Saved;
    window.WhyForm().Ask("http://127.0.0.1:1/");
    ok &= Save(window.WhyForm(), out + "/why-failed.png");
    window.WhyForm().hide();
    TZusammenfassenForm& merger = window.Merger();
    merger.ChooseFolder(files.path());
    ok &= Save(merger, out + "/result-manager.png");
    ok &= SaveFileDialog(out, files.path());
    process.terminate();
    process.waitForFinished(5000);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    TCurlGlobal curl;
    const auto userLocale = PreferGermanLocale();  // as the program does
    QApplication app(argc, argv);
    QLocale::system();
    RestoreEnvironment(userLocale);
    InstallGermanQt(app);
    if (argc < 3) {
        std::fprintf(stderr,
                     "usage: tarnwick-screenshots OUTPUT-FOLDER APP-FOLDER "
                     "[TEST-SERVER DEMO-SITE]\n");
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
    for (const TSize& size : kSizes) ok &= SaveTabs(window, out + "/main-", size, true);
    window.resize(744, 552);
    // The dialogs take the program folder with its trailing "/", as the window keeps it.
    TTipForm tip(window.AppPath());
    ok &= Save(tip, out + "/tip.png");
    TAboutBox about(window.AppPath());
    ok &= Save(about, out + "/about.png");
    TSpezialURLForm urls;
    ok &= Save(urls, out + "/urls.png");
    // The same dialog as a user fills it in, to show the enabled button and longer texts.
    urls.ComboBox1()->setCurrentIndex(1);
    urls.Edit1()->setText("Musikbands");
    urls.Edit2()->setText("Hamburg");
    ok &= Save(urls, out + "/urls-filled.png");
    TPromoForm promotion(window.AppPath());
    ok &= Save(promotion, out + "/promotion.png");
    if (argc >= 5)
        ok &= SaveRun(window, prompter, out, QString::fromLocal8Bit(argv[3]),
                      QString::fromLocal8Bit(argv[4]));
    return ok ? 0 : 1;
}
