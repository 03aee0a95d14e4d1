// The "Program.ini" loader as the window uses it: parse arbitrary bytes, read every setting the
// window reads, then save and load again. A save must give back exactly what was read, also when
// a value is changed, because the window rewrites the user's file on every exit.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

#include "FuzzCheck.h"
#include "TIniFile.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

namespace {

const QString kSection = QStringLiteral("SETTINGS");

enum class Kind { Text, Integer, Flag };
struct Setting {
    const char* Key;
    Kind Type;
};
// Every key of the window's settings, with the reader the window uses for it.
const Setting kSettings[] = {
    {"URL", Kind::Text},
    {"Depth", Kind::Integer},
    {"ConcurrentDownloads", Kind::Integer},
    {"SpiderOptionsGroupBox", Kind::Integer},
    {"IncludeUrlsChecked", Kind::Flag},
    {"ExcludeUrlsChecked", Kind::Flag},
    {"Retrys", Kind::Text},
    {"Timeout", Kind::Text},
    {"ProxyRadioGroupBox", Kind::Integer},
    {"IpAdress", Kind::Text},
    {"Port", Kind::Text},
    {"UserName", Kind::Text},
    {"Password", Kind::Text},
    {"search_mail", Kind::Flag},
    {"search_jpg", Kind::Flag},
    {"search_gif", Kind::Flag},
    {"search_mp3", Kind::Flag},
    {"search_pdf", Kind::Flag},
    {"search_zip", Kind::Flag},
};

// A default no parsed value can equal (parsed text is Latin-1), so it tells a missing key.
const QString kMissing = QStringLiteral("\u2603missing");

struct Read {
    QString Text;  // kMissing when the key is absent
    int Integer[2];
    bool Flag[2];
    bool operator==(const Read&) const = default;
};

// Reads one key the way the window does, with two different defaults so that a missing or
// unreadable value is told apart from one that reads as the default.
Read ReadSetting(const TIniFile& ini, const char* key) {
    Read r;
    r.Text = ini.ReadString(kSection, key, kMissing);
    r.Integer[0] = ini.ReadInteger(kSection, key, 3);
    r.Integer[1] = ini.ReadInteger(kSection, key, -7);
    r.Flag[0] = ini.ReadBool(kSection, key, false);
    r.Flag[1] = ini.ReadBool(kSection, key, true);
    return r;
}

std::vector<Read> ReadAll(const TIniFile& ini) {
    std::vector<Read> all;
    for (const Setting& s : kSettings) all.push_back(ReadSetting(ini, s.Key));
    return all;
}

TIniFile Reparsed(const QByteArray& text) {
    TIniFile ini(QStringLiteral("/nonexistent/Program.ini"));
    ini.Parse(text);
    return ini;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const QByteArray input(reinterpret_cast<const char*>(Data), static_cast<qsizetype>(Size));
    TIniFile ini(QStringLiteral("/nonexistent/Program.ini"));
    ini.Parse(input);
    const std::vector<Read> before = ReadAll(ini);

    for (std::size_t i = 0; i < before.size(); ++i) {
        const Read& r = before[i];
        const bool present = r.Text != kMissing;
        // The readers agree with each other and with the documented rules.
        if (!present) {
            FUZZ_CHECK(r.Integer[0] == 3 && r.Integer[1] == -7);
            FUZZ_CHECK(!r.Flag[0] && r.Flag[1]);
            continue;
        }
        FUZZ_CHECK(r.Flag[0] == r.Flag[1]);
        FUZZ_CHECK(r.Flag[0] == (r.Text.toUpper() == "TRUE"));
        bool ok = false;
        const int number = r.Text.trimmed().toInt(&ok);
        FUZZ_CHECK(ok ? r.Integer[0] == number && r.Integer[1] == number
                      : r.Integer[0] == 3 && r.Integer[1] == -7);
        // Parsed text never holds a line break; any other text is saved (the checks below).
        FUZZ_CHECK(!r.Text.contains('\r') && !r.Text.contains('\n'));
    }

    // Saving what was read into the same file, beside whatever else it holds, and loading it
    // again changes nothing; saving the saved text again gives the same bytes.
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i].Text != kMissing) ini.WriteString(kSection, kSettings[i].Key, before[i].Text);
    const QByteArray saved = ini.ToText();
    const TIniFile loaded = Reparsed(saved);
    FUZZ_CHECK(ReadAll(loaded) == before);
    FUZZ_CHECK(loaded.ToText() == saved);

    // The same values in a fresh file.
    TIniFile fresh(QStringLiteral("/nonexistent/Program.ini"));
    for (std::size_t i = 0; i < before.size(); ++i)
        if (before[i].Text != kMissing)
            fresh.WriteString(kSection, kSettings[i].Key, before[i].Text);
    FUZZ_CHECK(ReadAll(Reparsed(fresh.ToText())) == before);

    // A changed setting is what the next start reads, whatever the old file looked like.
    std::vector<QString> changed;
    for (std::size_t i = 0; i < before.size(); ++i) {
        changed.push_back(before[i].Text == kMissing ? QStringLiteral("neu")
                                                     : before[i].Text + 'x');
        ini.WriteString(kSection, kSettings[i].Key, changed.back());
    }
    const TIniFile next = Reparsed(ini.ToText());
    for (std::size_t i = 0; i < before.size(); ++i)
        FUZZ_CHECK(next.ReadString(kSection, kSettings[i].Key, kMissing) == changed[i]);
    return 0;
}
