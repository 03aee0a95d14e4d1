#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <string>
#include <vector>

#include "HarvestText.h"
#include "TDistinctLineSorter.h"

namespace {

// Lines as a harvest of many sites gives them: repeats far apart, case and umlaut variants,
// blanks, and bytes that are no UTF-8.
std::vector<std::string> HarvestLines() {
    std::vector<std::string> lines;
    for (int i = 0; i < 3000; ++i) {
        const int n = (i * 7919) % 1200;  // every value about two and a half times, scattered
        lines.push_back("info" + std::to_string(n) + "@firma" + std::to_string(n % 37) + ".de");
        if (i % 97 == 0) lines.push_back("INFO" + std::to_string(n) + "@Firma.de");
        if (i % 101 == 0) lines.push_back("m\xC3\xBCller" + std::to_string(n % 5) + "@x.de");
        if (i % 103 == 0) lines.push_back("caf\xE9" + std::to_string(n % 3) + "@latin1.de");
        if (i % 211 == 0) lines.push_back(i % 2 == 0 ? "" : "   ");
    }
    return lines;
}

std::vector<std::string> Sorted(TDistinctLineSorter& Sorter, bool& Ok) {
    std::vector<std::string> out;
    Ok = Sorter.Finish([&](std::string_view Line) {
        out.emplace_back(Line);
        return true;
    });
    return out;
}

}  // namespace

// However small the memory budget, the lines come out as one sort in memory gives them, and the
// runs leave nothing behind.
TEST(TDistinctLineSorterTest, RunsOnDiskGiveTheSameLinesAsOneSortInMemory) {
    const std::vector<std::string> lines = HarvestLines();
    const std::vector<std::string> expected = SortedDistinctLines(lines);
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    for (const std::size_t budget : {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 30}) {
        TDistinctLineSorter sorter(folder.path().toStdString(), budget);
        for (const std::string& line : lines) ASSERT_TRUE(sorter.Add(line)) << sorter.Error();
        EXPECT_EQ(sorter.Runs() > 0, budget < (std::size_t{1} << 30)) << budget;
        bool ok = false;
        EXPECT_EQ(Sorted(sorter, ok), expected) << budget;
        EXPECT_TRUE(ok) << sorter.Error();
        EXPECT_TRUE(QDir(folder.path()).isEmpty()) << budget;
    }
}

// A folder that cannot take runs loses nothing: the lines stay in memory and the reason is told.
TEST(TDistinctLineSorterTest, AFolderWithoutRoomKeepsTheLinesInMemory) {
    TDistinctLineSorter sorter("/dev/null", 1);
    EXPECT_FALSE(sorter.Add("b@x.de"));
    EXPECT_NE(sorter.Error().find("/dev/null"), std::string::npos) << sorter.Error();
    EXPECT_FALSE(sorter.Add("a@x.de"));
    bool ok = false;
    EXPECT_EQ(Sorted(sorter, ok), (std::vector<std::string>{"a@x.de", "b@x.de"}));
    EXPECT_TRUE(ok);
}

// A receiver that stops the merge ends it at once, as a failed write of the output does.
TEST(TDistinctLineSorterTest, StopsWhenTheReceiverStops) {
    QTemporaryDir folder;
    TDistinctLineSorter sorter(folder.path().toStdString(), 1);
    for (const std::string line : {"c@x.de", "a@x.de", "b@x.de"}) sorter.Add(line);
    int given = 0;
    EXPECT_FALSE(sorter.Finish([&](std::string_view) { return ++given < 2; }));
    EXPECT_EQ(given, 2);
}
