// Where a search of the window stands, read from its journal's notes and runs.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "TJournalReader.h"
#include "TSearchJournal.h"

namespace {

enum TEnd { runOpen, runStopped, runFinished };

TJournalRun RunOf(TEnd End, std::vector<bool> Reported = {}) {
    TJournalRun run;
    run.Stopped = End == runStopped;
    run.Finished = End == runFinished;
    for (const bool reported : Reported) {
        TJournalReport report;
        report.Reported = reported;
        run.Reports.push_back(report);
    }
    return run;
}

TJournalNote Note(int RunsBefore, std::vector<std::string> Fields) {
    return {RunsBefore, std::move(Fields)};
}

const QStringList kList{"http://a.example/", "http://bücher.example/", "http://c.example/"};

TEST(TSearchJournalTest, ResumeOfFindsTheRunOrEntryToGoOnWith) {
    const auto list = TSearchJournal::ListNote(kList);
    struct Case {
        const char* name;
        std::vector<TJournalNote> notes;
        std::vector<TJournalRun> runs;
        int entry;
        std::optional<std::size_t> run;
        bool canContinue, hasResults;
    };
    const Case cases[] = {
        {"one URL, cut short", {}, {RunOf(runOpen, {true})}, 0, 0, true, true},
        {"one URL, stopped", {}, {RunOf(runStopped)}, 0, 0, true, false},
        {"one URL, out of work", {}, {RunOf(runFinished, {false})}, 0, {}, false, false},
        {"one URL, not begun", {}, {}, 0, {}, false, false},
        {"list, in entry 2",
         {Note(0, list), Note(0, TSearchJournal::EntryNote(0)),
          Note(1, TSearchJournal::EntryNote(1))},
         {RunOf(runFinished, {true}), RunOf(runOpen)},
         1,
         1,
         true,
         true},
        {"list, entry 2 stopped",
         {Note(0, list), Note(0, TSearchJournal::EntryNote(0)),
          Note(1, TSearchJournal::EntryNote(1))},
         {RunOf(runFinished), RunOf(runStopped)},
         2,
         {},
         true,
         false},
        {"list, entry 3 noted, not begun",
         {Note(0, list), Note(2, TSearchJournal::EntryNote(2))},
         {RunOf(runFinished), RunOf(runFinished)},
         2,
         {},
         true,
         false},
        {"list, last entry done",
         {Note(0, list), Note(2, TSearchJournal::EntryNote(2))},
         {RunOf(runFinished), RunOf(runFinished), RunOf(runFinished)},
         3,
         {},
         false,
         false},
        // Another program's notes are not the window's.
        {"notes of tarnwick-crawl",
         {Note(0, {"tarnwick-crawl", "starts", "http://x.example/"}),
          Note(0, {"tarnwick-crawl", "entry", "0"})},
         {RunOf(runOpen)},
         0,
         0,
         true,
         false},
        {"an entry beyond the list",
         {Note(0, list), Note(0, TSearchJournal::EntryNote(7))},
         {RunOf(runOpen)},
         3,
         {},
         false,
         false},
        {"a damaged entry note",
         {Note(0, list), Note(0, {"tarnwick", "entry", "-1"})},
         {RunOf(runOpen)},
         0,
         {},
         true,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TJournalContents contents;
        contents.Notes = c.notes;
        contents.Runs = c.runs;
        const TSearchResume r = TSearchJournal::ResumeOf(contents);
        const bool isList = !c.notes.empty() && c.notes[0].Fields == list;
        EXPECT_EQ(r.List, isList ? kList : QStringList());
        EXPECT_EQ(r.Entry, c.entry);
        EXPECT_EQ(r.Run, c.run);
        EXPECT_EQ(r.CanContinue(), c.canContinue);
        EXPECT_EQ(r.HasResults, c.hasResults);
    }
}

TEST(TSearchJournalTest, ReasonIsTheSystemsWordsAfterTheFile) {
    EXPECT_EQ(
        TSearchJournal::Reason("cannot write journal /s/a: b: No space left on device", "/s/a: b"),
        "No space left on device");
    EXPECT_EQ(TSearchJournal::Reason("something else", "/s/a"), "something else");
}

}  // namespace
