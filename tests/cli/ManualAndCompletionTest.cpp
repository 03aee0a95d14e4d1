// The manual page and the bash completion of tarnwick-crawl are written by hand; these tests
// keep them in step with the options that --help lists.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QRegularExpression>

#include <set>

#include "FetchFailure.h"
#include "LinkDecision.h"

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

QString HelpText() {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, {"--help"});
    EXPECT_TRUE(process.waitForFinished(10000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

std::set<QString> HelpOptions() {
    return Options(HelpText());
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

TEST(ManualAndCompletionTest, EveryReasonOfAFailedDownloadIsListedOnce) {
    // Line breaks and quotes aside, as the reader sees the words.
    const QString manual = ReadText(TARNWICK_DIST_DIR "/man/tarnwick-crawl.1")
                               .replace("\\-", "-")
                               .remove('"')
                               .simplified();
    const QString help = HelpText().simplified();
    for (int i = 1; i <= static_cast<int>(TFetchFailure::InternalError); ++i) {
        const auto reason = static_cast<TFetchFailure>(i);
        const QString words = reason == TFetchFailure::HttpStatus
                                  ? QString("HTTP status N")
                                  : QString::fromStdString(FetchFailureText(reason, 0));
        // The words alone, not as the end of longer ones ("proxy login refused").
        const QRegularExpression alone("(?<![\\w-]|proxy )" + QRegularExpression::escape(words) +
                                       "(?![\\w-])");
        EXPECT_EQ(manual.count(alone), 1) << words.toStdString();
        EXPECT_EQ(help.count(alone), 1) << words.toStdString();
    }
}

TEST(ManualAndCompletionTest, EveryReasonOfExplainIsListedInItsEntry) {
    // The --explain entry alone: many reasons are also common words elsewhere.
    const QString manual = ReadText(TARNWICK_DIST_DIR "/man/tarnwick-crawl.1").replace("\\-", "-");
    const qsizetype manualAt = manual.indexOf(".BI --explain");
    const QString manualEntry = manual.mid(
        manualAt, manual.indexOf(QRegularExpression("\n\\.(TP|SS)"), manualAt) - manualAt);
    const QString help = HelpText();
    const qsizetype helpAt = help.indexOf("--explain FILE");
    const QString helpEntry =
        help.mid(helpAt, help.indexOf(QRegularExpression("\n\\s*-"), helpAt) - helpAt);
    ASSERT_GT(manualAt, 0);
    ASSERT_GT(helpAt, 0);
    for (int i = 1; i <= static_cast<int>(TLinkReason::FollowKeywords); ++i) {
        const QString word = LinkReasonWord(static_cast<TLinkReason>(i));
        const QRegularExpression alone("(?<![\\w-])" + word + "(?![\\w-])");
        EXPECT_TRUE(manualEntry.contains(alone)) << word.toStdString();
        EXPECT_TRUE(helpEntry.contains(alone)) << word.toStdString();
    }
}

}  // namespace
