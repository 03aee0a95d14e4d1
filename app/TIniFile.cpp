#include "TIniFile.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>

#include "FileErrorText.h"
#include "TextBytes.h"
#include "UrlEncoding.h"

namespace {

// A value that would lose something on reading (blanks at its ends, or a pair of surrounding
// quotes) is written inside quotes; reading strips exactly one such pair. So is a value whose
// line would read back as a section header ("[a=b]"): the settings after it would move into
// that section and be lost to the window.
bool NeedsQuotes(const QString& key, const QString& value) {
    if (value.isEmpty()) return false;
    const bool blankEnds = value.front().isSpace() || value.back().isSpace();
    const bool quoted = value.size() >= 2 && value.front() == '"' && value.back() == '"';
    const bool headerLike = key.startsWith('[') && value.back() == ']';
    return blankEnds || quoted || headerLike;
}

QString Unquote(const QString& value) {
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
        return value.mid(1, value.size() - 2);
    return value;
}

// Each line is stored on its own terms: Latin-1, as the files have always been, when every
// character fits and the bytes could not be mistaken for UTF-8; otherwise UTF-8. Reading takes a
// line that is valid UTF-8 as UTF-8, any other as Latin-1, so every text loads back unchanged.
QByteArray LineBytes(const QString& line) {
    const QByteArray latin1 = line.toLatin1();
    const bool fits = QString::fromLatin1(latin1) == line;
    const std::string_view bytes(latin1.constData(), static_cast<std::size_t>(latin1.size()));
    if (fits && (PercentEncodeNonAscii(bytes) == bytes || !IsUtf8(bytes))) return latin1;
    return line.toUtf8();
}

QString LineText(std::string_view bytes) {
    const auto size = static_cast<qsizetype>(bytes.size());
    return IsUtf8(bytes) ? QString::fromUtf8(bytes.data(), size)
                         : QString::fromLatin1(bytes.data(), size);
}

QStringList SplitLines(const QByteArray& text) {
    QStringList lines;
    ForEachLine(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                [&](std::string_view line) { lines.append(LineText(line)); });
    return lines;
}

}  // namespace

TIniFile::TIniFile(QString FileName) : m_fileName(std::move(FileName)) {
    QFile file(m_fileName);
    if (file.open(QIODevice::ReadOnly)) Parse(file.readAll());
}

void TIniFile::Parse(const QByteArray& Text) {
    m_sections.clear();
    Section* current = nullptr;
    for (const QString& raw : SplitLines(Text)) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(';')) continue;
        if (line.startsWith('[') && line.endsWith(']')) {
            m_sections.push_back({line.mid(1, line.size() - 2).trimmed(), {}});
            current = &m_sections.back();
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (!current || equals <= 0) continue;  // stray text outside a section is ignored
        current->Entries.push_back(
            {line.left(equals).trimmed(), Unquote(line.mid(equals + 1).trimmed())});
    }
}

const TIniFile::Entry* TIniFile::Find(const QString& SectionName, const QString& Key) const {
    for (const Section& section : m_sections) {
        if (section.Name.compare(SectionName, Qt::CaseInsensitive) != 0) continue;
        for (const Entry& entry : section.Entries)
            if (entry.Key.compare(Key, Qt::CaseInsensitive) == 0) return &entry;
    }
    return nullptr;
}

QString TIniFile::ReadString(const QString& SectionName, const QString& Key,
                             const QString& Default) const {
    const Entry* entry = Find(SectionName, Key);
    return entry ? entry->Value : Default;
}

int TIniFile::ReadInteger(const QString& SectionName, const QString& Key, int Default) const {
    const Entry* entry = Find(SectionName, Key);
    if (!entry) return Default;
    bool ok = false;
    const int value = entry->Value.trimmed().toInt(&ok);
    return ok ? value : Default;
}

bool TIniFile::ReadBool(const QString& SectionName, const QString& Key, bool Default) const {
    const Entry* entry = Find(SectionName, Key);
    if (!entry) return Default;
    return entry->Value.toUpper() == "TRUE";
}

void TIniFile::WriteString(const QString& SectionName, const QString& Key, const QString& Value) {
    // Change the entry a read finds (Find's order): when a file holds the section twice, an
    // update written into the other copy would stay hidden and the user's change be lost.
    for (Section& s : m_sections) {
        if (s.Name.compare(SectionName, Qt::CaseInsensitive) != 0) continue;
        for (Entry& entry : s.Entries) {
            if (entry.Key.compare(Key, Qt::CaseInsensitive) == 0) {
                entry.Value = Value;
                return;
            }
        }
    }
    Section* section = nullptr;
    for (Section& s : m_sections)
        if (s.Name.compare(SectionName, Qt::CaseInsensitive) == 0) section = &s;
    if (!section) {
        m_sections.push_back({SectionName, {}});
        section = &m_sections.back();
    }
    section->Entries.push_back({Key, Value});
}

void TIniFile::WriteInteger(const QString& SectionName, const QString& Key, int Value) {
    WriteString(SectionName, Key, QString::number(Value));
}

void TIniFile::WriteBool(const QString& SectionName, const QString& Key, bool Value) {
    WriteString(SectionName, Key, Value ? "TRUE" : "FALSE");
}

QByteArray TIniFile::ToText() const {
    QByteArray text;
    for (const Section& section : m_sections) {
        text += LineBytes("[" + section.Name + "]") + "\r\n";
        for (const Entry& entry : section.Entries) {
            const QString value =
                NeedsQuotes(entry.Key, entry.Value) ? '"' + entry.Value + '"' : entry.Value;
            text += LineBytes(entry.Key + "=" + value) + "\r\n";
        }
    }
    return text;
}

bool TIniFile::Save(bool OwnerOnly, QString& Error) const {
    QSaveFile file(m_fileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        Error = FileErrorText(m_fileName, errno);
        return false;
    }
    if (OwnerOnly) file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(ToText());
    if (!file.commit()) {
        Error = FileErrorText(m_fileName, errno);
        return false;
    }
    return true;
}

bool ReadTextLines(const QString& FileName, QStringList& Lines) {
    QString error;
    return ReadTextLines(FileName, Lines, error);
}

bool ReadTextLines(const QString& FileName, QStringList& Lines, QString& Error) {
    QFile file(FileName);
    errno = 0;
    if (!file.open(QIODevice::ReadOnly)) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    Lines = SplitLines(bytes);
    return true;
}

bool WriteTextLines(const QString& FileName, const QStringList& Lines, QString& Error) {
    QSaveFile file(FileName);
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    for (const QString& line : Lines) file.write(LineBytes(line) + "\r\n");
    if (!file.commit()) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    return true;
}
