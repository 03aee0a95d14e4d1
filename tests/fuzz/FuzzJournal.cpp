// Run journals of arbitrary bytes: reading never crashes or hangs, uses only whole groups, and
// what it calls sound reads back the same on its own, so a continuation appends after it safely.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "JournalRecord.h"
#include "TJournalReader.h"

namespace {

std::size_t PendingCount(const TJournalContents& J) {
    return J.Runs.empty() ? 0 : J.Runs.back().Pending.size();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string data(reinterpret_cast<const char*>(Data), Size);
    const TJournalContents j = TJournalReader::Parse(data, "fuzz");
    FUZZ_CHECK(j.SoundBytes >= 0 && static_cast<std::size_t>(j.SoundBytes) <= Size);
    if (!j.Error.empty()) {
        FUZZ_CHECK(j.Runs.empty() && j.Notes.empty());
        return 0;
    }
    // The sound part alone gives the same journal, with nothing left out but unknown kinds.
    const std::string sound = data.substr(0, static_cast<std::size_t>(j.SoundBytes));
    const TJournalContents again = TJournalReader::Parse(sound, "fuzz");
    FUZZ_CHECK(again.Error.empty() && again.SoundBytes == j.SoundBytes);
    FUZZ_CHECK(again.Runs.size() == j.Runs.size() && again.Notes.size() == j.Notes.size());
    FUZZ_CHECK(PendingCount(again) == PendingCount(j));
    FUZZ_CHECK(again.Dropped.find(" after byte ") == std::string::npos);
    // A group appended after the sound part is read, as a continued run's records are.
    std::string appended = sound;
    AppendJournalRecord(appended, 'N', {"fuzz", "note"});
    AppendJournalRecord(appended, 'K', {});
    const TJournalContents longer = TJournalReader::Parse(appended, "fuzz");
    FUZZ_CHECK(longer.Notes.size() == j.Notes.size() + 1);
    FUZZ_CHECK(longer.SoundBytes == static_cast<std::int64_t>(appended.size()));
    return 0;
}
