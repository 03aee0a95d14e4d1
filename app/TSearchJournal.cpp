#include "TSearchJournal.h"

#include <charconv>

#include "HarvestText.h"
#include "TJournalReader.h"

namespace {

// Notes of other owners (such as tarnwick-crawl) are not the window's.
const std::string kTag = "tarnwick";

// Entry is changed only by a sound number.
bool EntryNumber(const std::string& Text, int& Entry) {
    int number = -1;
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, number);
    if (Text.empty() || ec != std::errc() || ptr != end || number < 0) return false;
    Entry = number;
    return true;
}

}  // namespace

const QString TSearchJournal::FileName = "Suchlauf.journal";

std::vector<std::string> TSearchJournal::ListNote(const QStringList& Urls) {
    std::vector<std::string> fields{kTag, "list"};
    for (const QString& url : Urls) fields.push_back(url.toUtf8().toStdString());
    return fields;
}

std::vector<std::string> TSearchJournal::EntryNote(int Entry) {
    return {kTag, "entry", std::to_string(Entry)};
}

std::vector<std::string> TSearchJournal::KeywordsNote(const QString& Include,
                                                      const QString& Exclude) {
    return {kTag, "keywords", Include.toUtf8().toStdString(), Exclude.toUtf8().toStdString()};
}

TSearchResume TSearchJournal::ResumeOf(const TJournalContents& Contents) {
    TSearchResume r;
    int entryRuns = -1;  // runs begun before the last entry note
    for (const TJournalNote& note : Contents.Notes) {
        const std::vector<std::string>& f = note.Fields;
        if (f.size() < 2 || f[0] != kTag) continue;
        if (f[1] == "list") {
            r.List.clear();
            for (auto it = f.begin() + 2; it != f.end(); ++it) r.List << TextOfBytes(*it);
            r.Entry = 0;
            entryRuns = -1;
        } else if (f[1] == "entry" && f.size() == 3 && EntryNumber(f[2], r.Entry)) {
            entryRuns = note.RunsBefore;
        } else if (f[1] == "keywords" && f.size() == 4) {
            r.IncludeText = TextOfBytes(f[2]);
            r.ExcludeText = TextOfBytes(f[3]);
        }
    }
    const std::vector<TJournalRun>& runs = Contents.Runs;
    if (r.List.isEmpty()) {
        if (!runs.empty() && !runs.back().Finished) r.Run = runs.size() - 1;
    } else if (entryRuns >= 0 && static_cast<std::size_t>(entryRuns) < runs.size()) {
        if (runs[static_cast<std::size_t>(entryRuns)].Finished)
            ++r.Entry;
        else
            r.Run = static_cast<std::size_t>(entryRuns);
    }
    // An entry beyond the list (a note not written by this window) leaves nothing to continue.
    if (!r.List.isEmpty() && r.Entry >= r.List.size()) {
        r.Entry = static_cast<int>(r.List.size());
        r.Run.reset();
    }
    for (const TJournalRun& run : runs)
        for (const TJournalReport& report : run.Reports) r.HasResults |= report.Reported;
    return r;
}

QString TSearchJournal::Reason(const std::string& Error, const std::string& Path) {
    const std::string marker = Path + ": ";
    const std::size_t at = Path.empty() ? std::string::npos : Error.find(marker);
    const std::string reason = at == std::string::npos ? Error : Error.substr(at + marker.size());
    return QString::fromLocal8Bit(reason.data(), static_cast<qsizetype>(reason.size()));
}
