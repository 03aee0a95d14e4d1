#pragma once
// One line of a run journal: an 8-digit CRC-32 of the rest, a blank, the record's kind (one
// letter) and its fields, each after a tab. Tabs, line ends and backslashes inside a field are
// escaped, so any bytes survive and a line end always ends a record. A record whose sum does not
// match (a write torn by a crash, a damaged disk) is recognised and never used.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

std::uint32_t Crc32(std::string_view Data);

// Appends the record's line, line end included, to Out.
void AppendJournalRecord(std::string& Out, char Kind,
                         std::initializer_list<std::string_view> Fields);
void AppendJournalRecord(std::string& Out, char Kind, const std::vector<std::string>& Fields);

struct TJournalRecord {
    char Kind = 0;
    std::vector<std::string> Fields;
};

// Parses one line without its line end; false when its sum or an escape is wrong.
bool ParseJournalRecord(std::string_view Line, TJournalRecord& Out);
