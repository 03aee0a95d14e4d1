#pragma once
// A small INI file of text lines: sections of "key=value" lines, CR LF line ends. A line whose
// text fits Latin-1 is stored as Latin-1 bytes, as always; a line with other characters as UTF-8;
// a line that is valid UTF-8 reads as UTF-8, any other as Latin-1. Keys keep the order in which
// they were first written; look-ups ignore the case of section and key names. Written through a
// temporary file and an atomic rename, so a failed save never damages the file that was there
// before.

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

// Reads a text file of lines (CR, LF or CR LF), each as UTF-8 when it is valid UTF-8, else as
// Latin-1; false when it cannot be read.
bool ReadTextLines(const QString& FileName, QStringList& Lines);
// The same; on failure Error says why, in German words.
bool ReadTextLines(const QString& FileName, QStringList& Lines, QString& Error);
// Writes Lines, each followed by CR LF, as Latin-1 when it fits (else UTF-8; see TIniFile)
// through an atomic rename; on failure
// Error says why, in German words.
bool WriteTextLines(const QString& FileName, const QStringList& Lines, QString& Error);
