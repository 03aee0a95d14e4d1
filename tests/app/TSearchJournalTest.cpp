// Where a search of the window stands, read from its journal's notes and runs.

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "TJournalReader.h"
#include "TSearchJournal.h"

namespace {

const QStringList kList{"http://a.example/", "http://bücher.example/", "http://c.example/"};

// Runs as letters: O open (cut short), S stopped, F finished. Each has a report, which a
// lower-case letter reported.
std::vector<TJournalRun> Runs(const std::string& Ends) {
    std::vector<TJournalRun> runs;
    for (const char end : Ends) {
        TJournalRun& run = runs.emplace_back();
        run.Stopped = std::toupper(end) == 'S';
        run.Finished = std::toupper(end) == 'F';
        run.Reports.emplace_back().Reported = std::islower(end) != 0;
    }
    return runs;
}

TEST(TSearchJournalTest, ResumeOfFindsTheRunOrEntryToGoOnWith) {
    struct Case {
        const char* name;
        bool list;          // the list note comes first; then, for a list, the entry note
        int entryRuns;      // runs begun before the entry note
        std::string entry;  // its entry
        std::string runs;
        int wantEntry, wantRun;  // -1: no run to continue
        bool canContinue;
    };
    const Case cases[] = {
        {"one URL, cut short", false, 0, "", "o", 0, 0, true},
        {"one URL, stopped", false, 0, "", "S", 0, 0, true},
        {"one URL, out of work", false, 0, "", "F", 0, -1, false},
        {"one URL, not begun", false, 0, "", "", 0, -1, false},
        {"list, cut short in entry 2", true, 1, "1", "fO", 1, 1, true},
        {"list, entry 2 stopped", true, 1, "1", "Fs", 1, 1, true},
        {"list, entry 3 noted, not begun", true, 2, "2", "FF", 2, -1, true},
        {"list, last entry done", true, 2, "2", "FFF", 3, -1, false},
        {"list, an entry beyond it", true, 0, "7", "O", 3, -1, false},
        {"list, a damaged entry note", true, 0, "-1", "O", 0, -1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TJournalContents contents;
        if (c.list) {
            contents.Notes.push_back({0, TSearchJournal::ListNote(kList)});
            contents.Notes.push_back({c.entryRuns, {"tarnwick", "entry", c.entry}});
        }
        // Another program's notes in the same journal are not the window's.
        contents.Notes.push_back({0, {"tarnwick-crawl", "entry", "5"}});
        contents.Runs = Runs(c.runs);
        const TSearchResume r = TSearchJournal::ResumeOf(contents);
        EXPECT_EQ(r.List, c.list ? kList : QStringList());
        EXPECT_EQ(r.Entry, c.wantEntry);
        EXPECT_EQ(r.Run ? static_cast<int>(*r.Run) : -1, c.wantRun);
        EXPECT_EQ(r.CanContinue(), c.canContinue);
        EXPECT_EQ(r.HasResults, c.runs.find_first_of("ofs") != std::string::npos);
    }
}

TEST(TSearchJournalTest, ResumeOfGivesTheMemosOfTheLastRunBegun) {
    TJournalContents contents;
    EXPECT_FALSE(TSearchJournal::ResumeOf(contents).IncludeText) << "an earlier version's journal";
    contents.Notes.push_back({0, TSearchJournal::KeywordsNote("alt", "")});
    contents.Notes.push_back({1, TSearchJournal::KeywordsNote("shop\nK\u00e4se", "")});
    // Damaged or foreign notes leave the window's last one in force.
    contents.Notes.push_back({2, {"tarnwick", "keywords", "zu wenig"}});
    contents.Notes.push_back({2, {"tarnwick-crawl", "keywords", "a", "b"}});
    const TSearchResume r = TSearchJournal::ResumeOf(contents);
    ASSERT_TRUE(r.IncludeText && r.ExcludeText);
    EXPECT_EQ(*r.IncludeText, "shop\nK\u00e4se");
    EXPECT_EQ(*r.ExcludeText, "") << "an emptied memo is restored empty";
}

TEST(TSearchJournalTest, ReasonIsTheSystemsWordsAfterTheFile) {
    EXPECT_EQ(
        TSearchJournal::Reason("cannot write journal /s/a: b: No space left on device", "/s/a: b"),
        "No space left on device");
    EXPECT_EQ(TSearchJournal::Reason("something else", "/s/a"), "something else");
}

}  // namespace
