#include "TJournalReader.h"

#include <QFile>

#include <charconv>
#include <unordered_map>

#include "JournalRecord.h"
#include "LinkDecision.h"
#include "TCrackUrl.h"

std::string TJournalRun::Setting(const std::string& Key) const {
    for (const auto& [key, value] : Settings)
        if (key == Key) return value;
    return {};
}

void TJournalRun::SetSetting(const std::string& Key, const std::string& Value) {
    for (auto& [key, value] : Settings)
        if (key == Key) {
            value = Value;
            return;
        }
    Settings.emplace_back(Key, Value);
}

namespace {

template <typename T>
bool Number(const std::string& Text, T& Out) {
    const char* end = Text.data() + Text.size();
    const auto [ptr, ec] = std::from_chars(Text.data(), end, Out);
    return !Text.empty() && ec == std::errc() && ptr == end;
}

// Builds the contents from whole groups of records.
class TJournalBuilder {
public:
    explicit TJournalBuilder(TJournalContents& Out) : m_out(Out) {}

    // False when a record of the group makes no sense: the group and all after it are dropped.
    bool Apply(const std::vector<TJournalRecord>& Group);
    void Finish();
    int UnknownRecords() const { return m_unknown; }

private:
    void ApplyOne(const TJournalRecord& R);
    void Queued(const std::vector<std::string>& F);
    void Done(const std::vector<std::string>& F);
    void Report(const std::vector<std::string>& F);
    TJournalRun* Run() { return m_out.Runs.empty() ? nullptr : &m_out.Runs.back(); }

    TJournalContents& m_out;
    bool m_headerSeen = false;
    // The last run's queued entries, with a mark for those finished.
    std::vector<std::pair<TJournalEntry, bool>> m_queued;
    std::unordered_map<std::uint64_t, std::size_t> m_index;
    int m_unknown = 0;
};

bool DecodeEntry(const std::vector<std::string>& F, TJournalEntry& E) {
    int tag = 0, mode = 0, priority = 0;
    if (F.size() != 9 || !Number(F[0], E.Id) || !Number(F[1], E.Depth) ||
        !Number(F[2], E.RetryCount) || !Number(F[3], E.CountArea) || !Number(F[4], tag) ||
        !Number(F[5], mode) || !Number(F[6], priority) || E.Id == 0 || tag < 0 || tag > 255 ||
        (mode != fetchPage && mode != fetchRobots && mode != fetchAgain && mode != fetchSitemap))
        return false;
    E.TagKind = static_cast<TTagKind>(tag);
    E.FetchMode = static_cast<TFetchMode>(mode);
    E.Priority = priority != 0;
    E.Url = F[7];
    E.Referrer = F[8];
    return true;
}

// Whether a record has the fields its kind needs, and comes where it may: a run's records only
// after a run has begun.
bool WellFormed(const TJournalRecord& R, bool& RunBegun) {
    const std::vector<std::string>& f = R.Fields;
    std::uint64_t number = 0;
    switch (R.Kind) {
        case 'B':
            RunBegun = true;
            return f.size() % 2 == 0;
        case 'N':
        case 'Z':
        case 'K':
            return true;
        case 'C':
            return RunBegun;
        case 'V': {
            int flag = 0;
            return RunBegun && f.size() == 2 && Number(f[0], flag);
        }
        case 'H':
            return RunBegun && (f.size() == 1 || f.size() == 2);
        case 'E':
            return RunBegun && f.size() == 1;
        case 'Q': {
            TJournalEntry scratch;
            return RunBegun && DecodeEntry(f, scratch);
        }
        case 'D':
            return RunBegun && (f.size() == 2 || f.size() == 3) && Number(f[0], number);
        case 'R': {
            int flag = 0;
            return RunBegun && f.size() == 7 && f[3].size() == 1 && Number(f[5], flag);
        }
        default:
            return true;  // a kind of a later version, skipped
    }
}

bool TJournalBuilder::Apply(const std::vector<TJournalRecord>& Group) {
    // A group counts whole or not at all, so it is checked before any of it is applied.
    std::size_t first = 0;
    if (!m_headerSeen) {
        const TJournalRecord& head = Group.front();
        if (head.Kind != 'J' || head.Fields.size() < 3 || head.Fields[0] != "tarnwick-journal")
            return false;
        m_headerSeen = true;
        m_out.ProgramVersion = head.Fields[2];
        first = 1;
    }
    bool runBegun = !m_out.Runs.empty();
    for (std::size_t i = first; i < Group.size(); ++i)
        if (!WellFormed(Group[i], runBegun)) return false;
    for (std::size_t i = first; i < Group.size(); ++i) ApplyOne(Group[i]);
    return true;
}

void TJournalBuilder::ApplyOne(const TJournalRecord& R) {
    const std::vector<std::string>& f = R.Fields;
    switch (R.Kind) {
        case 'B': {
            Finish();
            TJournalRun& fresh = m_out.Runs.emplace_back();
            for (std::size_t i = 0; i < f.size(); i += 2)
                fresh.Settings.emplace_back(f[i], f[i + 1]);
            return;
        }
        case 'N':
            m_out.Notes.push_back({static_cast<int>(m_out.Runs.size()), f});
            return;
        case 'Z':
            m_out.Finished = true;
            return;
        case 'K':
            return;
        case 'C':
            Run()->Stopped = false;
            return;
        case 'V': {
            int flag = 0;
            Number(f[0], flag);
            Run()->Visited.emplace_back(f[1], flag);
            return;
        }
        case 'H':
            Run()->Hosts.emplace_back(f[0], f.size() == 2 && f[1] == "robots");
            return;
        case 'Q':
            Queued(f);
            return;
        case 'D':
            Done(f);
            return;
        case 'R':
            Report(f);
            return;
        case 'E':
            Run()->Finished = f[0] == "finished";
            Run()->Stopped = !Run()->Finished;
            return;
        default:
            // A kind from a later version: what is known is still used.
            ++m_unknown;
            return;
    }
}

void TJournalBuilder::Report(const std::vector<std::string>& F) {
    TJournalReport& r = Run()->Reports.emplace_back();
    r.TypeLink = F[0];
    r.UrlFound = F[1];
    r.FromUrl = F[2];
    r.HrefOrSrc = F[3][0];
    r.Reported = F[4].find('R') != std::string::npos;
    if (F[4].find('W') != std::string::npos) {
        TCrackUrl parts;
        parts.Crack(r.UrlFound);
        r.HostName = parts.HostName;
        r.UrlPath = parts.UrlPath;
        r.UrlPathWithFile = parts.UrlPathWithFile;
        r.ExtraInfos = parts.ExtraInfos;
    }
    r.ResultLine = F[6] == "x" ? DefaultResultLine(r.TypeLink, r.UrlFound) : F[6];
    // A written link is a visited one too.
    int flag = 0;
    Number(F[5], flag);
    Run()->Visited.emplace_back(r.UrlFound, flag);
}

void TJournalBuilder::Queued(const std::vector<std::string>& F) {
    TJournalEntry e;
    DecodeEntry(F, e);
    TJournalRun& run = *Run();
    if (e.Id > run.LastId) run.LastId = e.Id;
    m_index[e.Id] = m_queued.size();
    m_queued.emplace_back(std::move(e), false);
}

void TJournalBuilder::Done(const std::vector<std::string>& F) {
    std::uint64_t id = 0;
    Number(F[0], id);
    // An entry it does not know (its group was lost) has nothing left to finish.
    const auto found = m_index.find(id);
    if (found == m_index.end()) return;
    TJournalEntry& entry = m_queued[found->second].first;
    m_queued[found->second].second = true;
    m_index.erase(found);
    TJournalRun& run = *Run();
    const std::string& outcome = F[1];
    if (outcome == "robots" || outcome == "robots-unreachable")
        run.SkippedUrls.emplace_back(entry.Url, outcome);
    else if (F.size() == 3)
        run.SkippedUrls.emplace_back(entry.Url, F[2]);  // a failure and its reason
    if (outcome == "fetched")
        ++run.Fetched;
    else if (outcome == "failed" || outcome == "robots-unreachable")
        ++run.Errors;
    else if (outcome == "retried")
        ++run.Retries;
    else if (outcome == "robots")
        ++run.Skipped;
}

// Closes the last run's queue: what was not finished is pending, in the order it was queued.
void TJournalBuilder::Finish() {
    TJournalRun* run = Run();
    if (run) {
        run->Pending.clear();
        for (auto& [entry, done] : m_queued)
            if (!done) run->Pending.push_back(std::move(entry));
    }
    m_queued.clear();
    m_index.clear();
}

std::string Plural(std::int64_t Count, const char* One, const char* Many) {
    return std::to_string(Count) + " " + (Count == 1 ? One : Many);
}

}  // namespace

TJournalContents TJournalReader::Read(const std::string& Path) {
    QFile file(QFile::decodeName(QByteArray::fromStdString(Path)));
    if (!file.open(QIODevice::ReadOnly)) {
        TJournalContents failed;
        failed.Error = "cannot read journal " + Path + ": " + file.errorString().toStdString();
        return failed;
    }
    const QByteArray data = file.readAll();
    return Parse(data.toStdString(), Path);
}

TJournalContents TJournalReader::Parse(const std::string& Data, const std::string& Name) {
    TJournalContents out;
    TJournalBuilder builder(out);
    std::vector<TJournalRecord> group;
    std::size_t pos = 0;
    std::size_t groupStart = 0;
    std::string damage;
    bool damaged = false;  // not merely cut short by a stop amid a write
    while (pos < Data.size()) {
        const std::size_t end = Data.find('\n', pos);
        TJournalRecord record;
        if (end == std::string::npos) {
            damage = "an incomplete last record (a write cut short)";
            break;
        }
        if (!ParseJournalRecord(std::string_view(Data).substr(pos, end - pos), record)) {
            damage = "a damaged record at byte " + std::to_string(pos);
            damaged = true;
            break;
        }
        pos = end + 1;
        const bool commit = record.Kind == 'K';
        group.push_back(std::move(record));
        if (!commit) continue;
        if (!builder.Apply(group)) {
            damage = "a record that makes no sense at byte " + std::to_string(groupStart);
            damaged = true;
            group.clear();
            break;
        }
        group.clear();
        groupStart = pos;
        out.SoundBytes = static_cast<std::int64_t>(pos);
    }
    builder.Finish();
    if (out.SoundBytes == 0) {
        out.Error = Name + " is not a Tarnwick journal";
        return out;
    }
    std::string dropped;
    const std::int64_t lost = static_cast<std::int64_t>(Data.size()) - out.SoundBytes;
    if (lost > 0) {
        dropped = Plural(lost, "byte", "bytes") + " after byte " + std::to_string(out.SoundBytes);
        if (!damage.empty())
            dropped += ", from " + damage;
        else
            dropped += " (records of a group that was never completed)";
    }
    if (builder.UnknownRecords() > 0)
        dropped += std::string(dropped.empty() ? "" : "; ") +
                   Plural(builder.UnknownRecords(), "record", "records") +
                   " of a kind this version does not know (journal of version " +
                   out.ProgramVersion + ")";
    out.Dropped = std::move(dropped);
    out.DroppedBytes = lost > 0 ? lost : 0;
    out.DroppedDamage = damaged;
    out.UnknownRecords = builder.UnknownRecords();
    return out;
}
