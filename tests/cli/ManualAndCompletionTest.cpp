// The manual page and the bash completion of tarnwick-crawl are written by hand; these tests
// keep them in step with the options that --help lists.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <set>

namespace {

QString ReadText(const QString& name) {
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// Every long and short option named in Text, such as "--types" or "-t".
std::set<QString> Options(const QString& Text) {
    std::set<QString> options;
    static const QRegularExpression option(R"((?<![\w-])(--[a-z][a-z-]*[a-z]|-[a-z])(?![\w-]))");
    for (const auto& match : option.globalMatch(Text)) options.insert(match.captured(1));
    return options;
}

std::set<QString> HelpOptions() {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, {"--help"});
    EXPECT_TRUE(process.waitForFinished(10000));
    return Options(QString::fromUtf8(process.readAllStandardOutput()));
}

TEST(ManualAndCompletionTest, EveryOptionOfTheHelpIsInTheManualAndTheCompletion) {
    const std::set<QString> help = HelpOptions();
    ASSERT_GT(help.size(), 30u) << "the help lists the options";
    // The manual page escapes its hyphens.
    const QString manual = ReadText(TARNWICK_DIST_DIR "/man/tarnwick-crawl.1").replace("\\-", "-");
    const QString completion = ReadText(TARNWICK_DIST_DIR "/tarnwick-crawl.bash");
    ASSERT_FALSE(manual.isEmpty());
    ASSERT_FALSE(completion.isEmpty());
    const std::set<QString> inManual = Options(manual);
    // The options offered for a word that starts with "-", and the cases of option values.
    const std::set<QString> inCompletion =
        Options(completion.mid(completion.indexOf("case $prev")));
    for (const QString& option : help) {
        EXPECT_TRUE(inManual.count(option)) << "manual lacks " << option.toStdString();
        EXPECT_TRUE(inCompletion.count(option)) << "completion lacks " << option.toStdString();
    }
    // And neither offers an option the program does not know.
    for (const QString& option : inCompletion)
        EXPECT_TRUE(help.count(option)) << "completion offers " << option.toStdString();
}

}  // namespace
