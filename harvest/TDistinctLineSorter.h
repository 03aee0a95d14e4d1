#pragma once
// Sorts result lines as SortedDistinctLines does, however many there are. Lines are kept in
// memory up to a budget; beyond it the lines kept so far are sorted, their duplicates dropped,
// and written to a run file in a temporary folder. Finish merges the runs with the lines still
// in memory, so a harvest of millions of results needs the budget, not its own size, in memory.
// The temporary folder goes with the sorter.

#include <QTemporaryDir>

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class TDistinctLineSorter {
public:
    static constexpr std::size_t kDefaultBudgetBytes = std::size_t{32} * 1024 * 1024;

    // Run files go to a temporary folder made inside Folder when the first run is written.
    explicit TDistinctLineSorter(std::string Folder, std::size_t BudgetBytes = kDefaultBudgetBytes);
    ~TDistinctLineSorter();
    TDistinctLineSorter(const TDistinctLineSorter&) = delete;
    TDistinctLineSorter& operator=(const TDistinctLineSorter&) = delete;

    // False once a run could not be written (Error says why); the line is then still kept.
    bool Add(std::string_view Line);
    // Gives every distinct line that is not blank once, in order, to Out, which answers false to
    // stop. False when a run could not be read back, or Out stopped.
    bool Finish(const std::function<bool(std::string_view Line)>& Out);
    // "cannot write NAME: reason" or "cannot read NAME: reason"; empty while all went well.
    const std::string& Error() const { return m_error; }
    // The run files written so far (each merge of many counts as one more).
    int Runs() const { return m_runCount; }

private:
    bool WriteRun();
    // Merges the runs into one run file.
    bool MergeRuns();
    // Merges the runs with Lines (sorted and distinct) into Out.
    bool Merge(std::vector<std::string> Lines,
               const std::function<bool(std::string_view Line)>& Out);
    std::string NextRunPath();

    std::string m_folder;
    std::size_t m_budget;
    std::vector<std::string> m_lines;
    std::size_t m_bytes = 0;  // what m_lines hold, counted with each string's own size
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<std::string> m_runs;  // the run files' paths
    int m_runCount = 0;
    std::string m_error;
};
