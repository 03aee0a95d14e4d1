// One crawl in the real window (offscreen), timed from Start to the end of the run, for the
// benchmark script. Usage: WindowCrawl DATA_DIR URL DEPTH adaptive|paced
// Prints one line: "seconds results visited crawl_cpu_seconds", the last the process's CPU time
// (user and system, all threads) from Start to the end of the run, so that the script can tell
// the crawl from the window's start-up. The crawl harvests e-mail addresses, PDF, ZIP and
// MP3 links, straight from the server, with the window's other settings at their defaults.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

#include "THttpScan.h"
#include "TMainForm.h"
#include "TProgramFolders.h"
#include "TPrompter.h"
#include "ui_TMainForm.h"

namespace {

// Answers nothing and shows nothing: a dialog would stop the clock.
class SilentPrompter : public TPrompter {
public:
    void Information(QWidget*, const QString& Text) override { Report(Text); }
    void Message(QWidget*, const QString& Text) override { Report(Text); }
    bool Question(QWidget*, const QString& Text) override {
        Report(Text);
        return false;
    }
    TAnswer YesNoCancel(QWidget*, const QString& Text) override {
        Report(Text);
        return TAnswer::Cancel;
    }
    QString OpenFileName(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
    QString SaveFileName(QWidget*, const QString&, const QString&) override { return {}; }
    int ShowModal(QDialog&) override { return 0; }

private:
    static void Report(const QString& Text) {
        std::fprintf(stderr, "window says: %s\n", Text.toLocal8Bit().constData());
    }
};

// User and system CPU time of the whole process so far, in seconds.
double ProcessCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 5) {
        std::fprintf(stderr, "usage: WindowCrawl DATA_DIR URL DEPTH adaptive|paced\n");
        return 2;
    }
    QTemporaryDir settings, results;
    TProgramFolders folders;
    folders.DataPath = QString::fromLocal8Bit(argv[1]);
    folders.SettingsPath = settings.path();
    SilentPrompter prompter;
    TMainForm window(folders, results.path(), prompter);
    window.HttpScan1().SetAdaptiveTicks(QString(argv[4]) == "adaptive");
    Ui::TMainForm& u = window.Controls();
    u.ProxyRadioGroupBox->SetItemIndex(0);
    u.CheckBox1->setChecked(true);
    u.UpDown1->SetPosition(QString(argv[3]).toInt());
    window.HttpScan1().SetDepthSearchLevel(QString(argv[3]).toInt());  // as the arrows pass it
    u.URLEdit->setText(QString::fromLocal8Bit(argv[2]));
    u.FilterCheckBox->setChecked(true);
    u.SearchForMemo->setPlainText("pdf\nzip\nmp3");

    const double cpuAtStart = ProcessCpuSeconds();
    QElapsedTimer clock;
    clock.start();
    window.StartBitBtnClick();
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (window.ScanIdle() && !window.HttpScan1().Running()) app.quit();
    });
    poll.start(5);
    app.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    const double crawlCpu = ProcessCpuSeconds() - cpuAtStart;
    const auto lines = [](const QString& Text) {
        return Text.isEmpty() ? 0LL : static_cast<long long>(Text.count('\n')) + 1;
    };
    std::printf("%.3f %lld %lld %.4f\n", seconds, lines(u.ErgMemo->toPlainText()),
                lines(u.Memo6->toPlainText()), crawlCpu);
    return 0;
}
