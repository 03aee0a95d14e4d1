#include "JournalRecord.h"

#include <zlib.h>

#include <cstdio>

namespace {

constexpr std::size_t kSumDigits = 8;

void AppendEscaped(std::string& Out, std::string_view Field) {
    for (const char c : Field) {
        switch (c) {
            case '\\':
                Out += "\\\\";
                break;
            case '\t':
                Out += "\\t";
                break;
            case '\n':
                Out += "\\n";
                break;
            case '\r':
                Out += "\\r";
                break;
            default:
                Out += c;
        }
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::uint32_t Crc32(std::string_view Data) {
    // zlib's CRC-32 is the same sum (reflected polynomial 0xEDB88320), several bytes at a time.
    return static_cast<std::uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(Data.data()), Data.size()));
}

namespace {

template <typename TFields>
void AppendRecord(std::string& Out, char Kind, const TFields& Fields) {
    const std::size_t start = Out.size();
    Out.append(kSumDigits + 1, ' ');
    const std::size_t body = Out.size();
    Out += Kind;
    for (const std::string_view field : Fields) {
        Out += '\t';
        AppendEscaped(Out, field);
    }
    char sum[kSumDigits + 1];
    std::snprintf(sum, sizeof sum, "%08x",
                  static_cast<unsigned>(Crc32(std::string_view(Out).substr(body))));
    Out.replace(start, kSumDigits, sum, kSumDigits);
    Out += '\n';
}

}  // namespace

void AppendJournalRecord(std::string& Out, char Kind,
                         std::initializer_list<std::string_view> Fields) {
    AppendRecord(Out, Kind, Fields);
}

void AppendJournalRecord(std::string& Out, char Kind, const std::vector<std::string>& Fields) {
    AppendRecord(Out, Kind, Fields);
}

bool ParseJournalRecord(std::string_view Line, TJournalRecord& Out) {
    if (Line.size() < kSumDigits + 2 || Line[kSumDigits] != ' ') return false;
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i < kSumDigits; ++i) {
        const int digit = HexValue(Line[i]);
        if (digit < 0) return false;
        sum = (sum << 4) | static_cast<std::uint32_t>(digit);
    }
    const std::string_view body = Line.substr(kSumDigits + 1);
    if (Crc32(body) != sum) return false;
    Out.Kind = body[0];
    Out.Fields.clear();
    std::string* field = nullptr;
    for (std::size_t i = 1; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '\t') {
            field = &Out.Fields.emplace_back();
            continue;
        }
        if (!field) return false;
        if (c != '\\') {
            *field += c;
            continue;
        }
        if (++i == body.size()) return false;
        switch (body[i]) {
            case '\\':
                *field += '\\';
                break;
            case 't':
                *field += '\t';
                break;
            case 'n':
                *field += '\n';
                break;
            case 'r':
                *field += '\r';
                break;
            default:
                return false;
        }
    }
    return true;
}
