// Sorting and duplicate removal of a result file's lines, on arbitrary bytes split into lines.
// Checks the properties a user relies on rather than repeating the algorithm: the output is
// sorted, holds only lines of the input, no empty or blank line, no failed-line marker, and no
// line repeats the key of the line kept before it unless a line of another key stood between.

#include <QCollator>
#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "HarvestText.h"
#include "TextRoutines.h"

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
    static QCoreApplication app(*Argc, *Argv);
    return 0;
}

namespace {

std::string Trimmed(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

std::string Key(const std::string& line) {
    return Trimmed(ExtractWordN(1, line, ";"));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::vector<std::string> lines;
    const std::string text(reinterpret_cast<const char*>(Data), Size);
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        lines.push_back(text.substr(begin, end - begin));
        begin = end + 1;
    }
    const std::vector<std::string> output = RemoveDuplicateLines(lines);

    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    auto before = [&](const std::string& a, const std::string& b) {
        const int c = collator.compare(TextOfBytes(a), TextOfBytes(b));
        return c != 0 ? c < 0 : a < b;
    };

    std::map<std::string, int> available;
    for (const std::string& line : lines) ++available[line];
    FUZZ_CHECK(output.size() <= lines.size());
    for (std::size_t i = 0; i < output.size(); ++i) {
        const std::string& line = output[i];
        FUZZ_CHECK(--available[line] >= 0);  // only input lines, each at most as often
        FUZZ_CHECK(!Key(line).empty());
        FUZZ_CHECK(Trimmed(ExtractWordN(4, line, ";")) != "FEHLER");
        if (i == 0) continue;
        FUZZ_CHECK(!before(line, output[i - 1]));
        if (Key(line) == Key(output[i - 1])) {
            // Allowed only when an input line of another key sorts between the two.
            const bool separated = std::any_of(lines.begin(), lines.end(), [&](const auto& l) {
                return Key(l) != Key(line) && before(output[i - 1], l) && before(l, line);
            });
            FUZZ_CHECK(separated);
        }
    }
    return 0;
}
