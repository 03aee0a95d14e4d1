#pragma once
// The window's side of the crawler's run journal: the notes by which the window finds its search
// again (its list of start URLs and the entry each run belongs to), and where a search stood
// when its journal is read back after a crash. No widgets, no files: the window opens, reads and
// removes the journal itself.

#include <QStringList>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

struct TJournalContents;

// Where a search of the window that did not end stands.
struct TSearchResume {
    QStringList List;  // list mode: its start URLs; empty for a search from one start URL
    int Entry = 0;     // list mode: the entry to go on with
    // The run to continue, an index into the journal's runs; none when the list goes on with
    // Entry afresh or nothing is left to continue.
    std::optional<std::size_t> Run;
    bool HasResults = false;  // a run reported links
    // The keyword memos' texts as the last run began with them; none in a journal of an
    // earlier version, which did not note them.
    std::optional<QString> IncludeText, ExcludeText;

    bool CanContinue() const { return Run.has_value() || (!List.isEmpty() && Entry < List.size()); }
};

class TSearchJournal {
public:
    // The journal's name in the state folder.
    static const QString FileName;

    // Noted once when a list search begins: the start URLs as the window hands them to the
    // crawler (UTF-8).
    static std::vector<std::string> ListNote(const QStringList& Urls);
    // Noted before each run of a list: the entry (from 0) that the run that follows crawls.
    static std::vector<std::string> EntryNote(int Entry);
    // Noted before each run: the texts of the include and exclude memos. The crawler keeps only
    // their lower-cased, sorted and widened lists, which do not give the user's text back.
    static std::vector<std::string> KeywordsNote(const QString& Include, const QString& Exclude);

    // A search from one start URL continues its run unless it ran out of work. A list
    // continues the run of its last noted entry, or, that run having run out of work, goes on
    // with the next entry. A stopped run is continued too: a stop by closing or a failure cut
    // it short, and after a user's Stop a list notes its next entry at once.
    static TSearchResume ResumeOf(const TJournalContents& Contents);

    // The system's reason in one of the crawler's journal errors ("cannot write journal PATH:
    // reason"); the whole text when it has another form.
    static QString Reason(const std::string& Error, const std::string& Path);
};
