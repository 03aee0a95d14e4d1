#pragma once
// A small INI file of 8-bit text: sections of "key=value" lines, read and written byte-exact
// (Latin-1 at the edge, CR LF line ends). Keys keep the order in which they were first written;
// look-ups ignore the case of section and key names. Written through a temporary file and an
// atomic rename, so a failed save never damages the file that was there before.

#include <QString>
#include <QStringList>

#include <vector>

class TIniFile {
public:
    // Reads FileName when it exists; a missing or unreadable file is an empty INI.
    explicit TIniFile(QString FileName);

    QString ReadString(const QString& Section, const QString& Key, const QString& Default) const;
    // The value as a decimal integer (surrounding blanks allowed), else Default.
    int ReadInteger(const QString& Section, const QString& Key, int Default) const;
    // True only when the stored text, upper-cased, is "TRUE"; a missing key gives Default.
    bool ReadBool(const QString& Section, const QString& Key, bool Default) const;

    void WriteString(const QString& Section, const QString& Key, const QString& Value);
    void WriteInteger(const QString& Section, const QString& Key, int Value);
    void WriteBool(const QString& Section, const QString& Key, bool Value);

    // Writes the whole file; OwnerOnly makes it readable by its owner alone. On failure the old
    // file stays and Error says why.
    bool Save(bool OwnerOnly, QString& Error) const;

    // The file's text as it would be saved, and the parser behind the constructor.
    QByteArray ToText() const;
    void Parse(const QByteArray& Text);

private:
    struct Entry {
        QString Key;
        QString Value;
    };
    struct Section {
        QString Name;
        std::vector<Entry> Entries;
    };
    const Entry* Find(const QString& Section, const QString& Key) const;

    QString m_fileName;
    std::vector<Section> m_sections;
};

// Reads a text file of lines (CR, LF or CR LF) as 8-bit text; false when it cannot be read.
bool ReadTextLines(const QString& FileName, QStringList& Lines);
// The same; on failure Error says why, in German words.
bool ReadTextLines(const QString& FileName, QStringList& Lines, QString& Error);
// Writes Lines, each followed by CR LF, as 8-bit text through an atomic rename; on failure
// Error says why, in German words.
bool WriteTextLines(const QString& FileName, const QStringList& Lines, QString& Error);
