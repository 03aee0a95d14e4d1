// --merge: result files of several processes joined into one harvest.

#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "CrawlOptions.h"
#include "ResultMerge.h"
#include "TNeverCollectList.h"

namespace {

// Merges the files (name, content) in order; the output, or "error: " and the error.
std::string Merged(const std::vector<std::pair<std::string, QByteArray>>& Files,
                   std::vector<std::string> NeverCollect = {}) {
    TResultMerge merge;
    for (const auto& [name, data] : Files)
        if (!merge.Add(name, data)) return "error: " + merge.Error();
    TNeverCollectList never;
    never.SetLines(NeverCollect);
    return merge.Finish(never).toStdString();
}

TEST(ResultMergeTest, TextFilesBecomeOneSortedHarvestWithoutDuplicates) {
    // As the text format writes a harvest: case-blind order, each result once.
    EXPECT_EQ(Merged({{"1.txt", "zoe@b.example\nhttp://a.example/x.pdf\nAnna@a.example\n"},
                      {"2.txt", "anna@a.example\r\n\r\nzoe@b.example\r\n"},
                      {"3.txt", ""}}),
              "Anna@a.example\nanna@a.example\nhttp://a.example/x.pdf\nzoe@b.example\n");
    EXPECT_EQ(Merged({{"empty.txt", ""}}), "");
}

TEST(ResultMergeTest, RecordsAreOnePerTypeAndUrlTheFirstKeptSortedBytewise) {
    const QByteArray first =
        "pdf\thttp://b.example/Z.pdf\thttp://b.example/\n"
        "mail\tzoe@b.example\thttp://b.example/\n";
    const QByteArray second =
        "mail\tzoe@b.example\thttp://c.example/\n"
        "mail\tAnna@a.example\thttp://c.example/k\n"
        "pdf\thttp://b.example/Z.pdf\thttp://c.example/\n"
        "pdf\thttp://b.example/a.pdf\thttp://c.example/\n"
        "mail\t\xc3\xa4@a.example\thttp://c.example/\n";
    EXPECT_EQ(Merged({{"1.tsv", first}, {"2.tsv", second}}),
              "mail\tAnna@a.example\thttp://c.example/k\n"
              "mail\tzoe@b.example\thttp://b.example/\n"
              "mail\t\xc3\xa4@a.example\thttp://c.example/\n"
              "pdf\thttp://b.example/Z.pdf\thttp://b.example/\n"
              "pdf\thttp://b.example/a.pdf\thttp://c.example/\n");
    // Files with the site column and without: every line gets one, the first record's kept.
    EXPECT_EQ(Merged({{"old.tsv", "mail\ta@x.example\thttp://x.example/\n"},
                      {"new.tsv",
                       "mail\ta@x.example\thttp://y.example/\thttp://y.example/\n"
                       "mail\tb@x.example\thttp://y.example/\thttp://y.example/\n"}}),
              "mail\ta@x.example\thttp://x.example/\t\n"
              "mail\tb@x.example\thttp://y.example/\thttp://y.example/\n");
}

TEST(ResultMergeTest, JsonlRecordsAreKeptWholeWithOrWithoutSite) {
    const QByteArray first =
        R"({"type":"mail","url":"b@x.example","from":"http://x.example/","site":"http://x.example/"})"
        "\n";
    const QByteArray second = R"({"type":"mail","url":"b@x.example","from":"http://y.example/"})"
                              "\n"
                              R"({"from":"http://y.example/","url":"a@x.example","type":"mail"})"
                              "\n";
    EXPECT_EQ(Merged({{"1.jsonl", first}, {"2.jsonl", second}}),
              R"({"from":"http://y.example/","url":"a@x.example","type":"mail"})"
              "\n" +
                  first.toStdString());
}

TEST(ResultMergeTest, RefusesMixedFormatsAndLinesOfNoRecord) {
    const QByteArray tsv = "mail\ta@x.example\thttp://x.example/\n";
    const QByteArray jsonl = R"({"type":"mail","url":"a@x.example","from":""})"
                             "\n";
    const struct {
        std::vector<std::pair<std::string, QByteArray>> Files;
        const char* Error;
    } cases[] = {
        {{{"a.tsv", tsv}, {"b.txt", "a@x.example\n"}},
         "error: b.txt is text, a.tsv is TSV: one merge takes files of one format"},
        {{{"a.txt", "a@x.example\n"}, {"e.txt", ""}, {"b.jsonl", jsonl}},
         "error: b.jsonl is JSONL, a.txt is text: one merge takes files of one format"},
        {{{"a.jsonl", jsonl}, {"b.tsv", tsv}},
         "error: b.tsv is TSV, a.jsonl is JSONL: one merge takes files of one format"},
        {{{"a.tsv", tsv + "\nmail a@y.example\n"}},
         "error: a.tsv, line 3: not a TSV record (TYPE<TAB>URL<TAB>PAGE, and SITE)"},
        {{{"a.tsv", tsv + "mail\ta\tb\tc\td\n"}},
         "error: a.tsv, line 2: not a TSV record (TYPE<TAB>URL<TAB>PAGE, and SITE)"},
        {{{"a.tsv", "\tb@x.example\tp\n"}},
         "error: a.tsv, line 1: not a TSV record (TYPE<TAB>URL<TAB>PAGE, and SITE)"},
        {{{"a.jsonl", jsonl + R"({"type":"mail","url":)" + "\n"}},
         "error: a.jsonl, line 2: not a JSONL record with \"type\" and \"url\""},
        {{{"a.jsonl", jsonl + R"({"type":"mail","url":7})" + "\n"}},
         "error: a.jsonl, line 2: not a JSONL record with \"type\" and \"url\""},
    };
    for (const auto& c : cases) EXPECT_EQ(Merged(c.Files), c.Error);
}

TEST(ResultMergeTest, TheNeverCollectListApplies) {
    const std::vector<std::string> never{"anna@a.example", "@.b.example"};
    EXPECT_EQ(Merged({{"1.txt",
                       "ANNA@a.example\nbert@a.example\nzoe@shop.b.example\n"
                       "http://b.example/anna@a.example.pdf\n"}},
                     never),
              "bert@a.example\nhttp://b.example/anna@a.example.pdf\n");
    EXPECT_EQ(Merged({{"1.tsv",
                       "mail\tanna@a.example\tp\npdf\thttp://b.example/x.pdf\tp\n"
                       "mail\tzoe@b.example\tp\n"}},
                     never),
              "pdf\thttp://b.example/x.pdf\tp\n");
}

TEST(ResultMergeTest, OptionTakesOnlyOutputNeverCollectAndQuiet) {
    const TParsedCommandLine fine =
        ParseCommandLine({"--merge", "a.txt", "-o", "out.txt", "--never-collect", "n", "b.txt"});
    EXPECT_EQ(fine.Error, "");
    EXPECT_TRUE(fine.Options.Merge);
    EXPECT_EQ(fine.Options.Urls, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_EQ(ParseCommandLine({"--merge"}).Error, "--merge needs one or more result files");
    for (const char* option : {"--format=tsv", "--shard=1/2", "-d2", "--journal=j", "--list=l"})
        EXPECT_EQ(ParseCommandLine({"a.txt", option, "--merge"}).Error.rfind("option --", 0), 0u)
            << option;
}

// The program itself: exit status and messages of a merge.
struct TMergeRun {
    int Exit = -1;
    std::string Out, Err;
};

TMergeRun RunMerge(const QStringList& Args) {
    QProcess process;
    process.start(TARNWICK_CRAWL_BINARY, QStringList{"--merge"} + Args);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

TEST(ResultMergeTest, ProgramWritesTheMergeAndSaysWhyItCannot) {
    QTemporaryDir dir;
    const auto write = [&dir](const char* Name, const QByteArray& Data) {
        QFile file(dir.filePath(Name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(Data);
        return dir.filePath(Name);
    };
    const QString a = write("a.txt", "b@x.example\na@x.example\n");
    const QString b = write("b.txt", "c@x.example\na@x.example\n");
    const QString tsv = write("c.tsv", "mail\ta@x.example\tp\n");
    const QString never = write("never.txt", "c@x.example\n");

    // The output may be one of the files merged.
    TMergeRun run = RunMerge({a, b, "-o", a, "--never-collect", never});
    EXPECT_EQ(run.Exit, 0) << run.Err;
    QFile merged(a);
    ASSERT_TRUE(merged.open(QIODevice::ReadOnly));
    EXPECT_EQ(merged.readAll().toStdString(), "a@x.example\nb@x.example\n");
    EXPECT_EQ(run.Err, "tarnwick-crawl: left out 1 address of the never-collect list\n");

    run = RunMerge({b, tsv});
    EXPECT_EQ(run.Exit, 2);
    EXPECT_NE(run.Err.find(tsv.toStdString() + " is TSV, " + b.toStdString() + " is text"),
              std::string::npos)
        << run.Err;

    const std::string missing = dir.filePath("missing.txt").toStdString();
    run = RunMerge({b, QString::fromStdString(missing), "-o", dir.filePath("out.txt")});
    EXPECT_EQ(run.Exit, 1);
    EXPECT_EQ(run.Err.rfind("tarnwick-crawl: cannot read " + missing + ": ", 0), 0u) << run.Err;
    EXPECT_FALSE(QFile::exists(dir.filePath("out.txt")));

    run = RunMerge({b});
    EXPECT_EQ(run.Exit, 0);
    EXPECT_EQ(run.Out, "a@x.example\nc@x.example\n");
}

}  // namespace
