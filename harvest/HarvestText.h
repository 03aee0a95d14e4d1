#pragma once
// The harvest's result texts, shared by the window and the command line: the at-sign repair of
// found addresses, the type prefix of the result list, and the sorting and duplicate removal of
// result files.

#include <QCollator>
#include <QString>

#include <string>
#include <string_view>
#include <vector>

// Replaces the first "%40" by "@"; later ones and other percent sequences stay.
std::string DecodeAtSign(std::string_view Text);

// A mail address with every "%XX" escape decoded, as mail programs take it (RFC 6068). An address
// that would decode to a control byte or to bytes that are not UTF-8 keeps its escapes.
std::string DecodeMailAddress(std::string_view Address);

// The text the harvest shows and saves for a reported link: the at-sign repair for every type
// but mail; a mail address as the engine gives it, decoded, or one without "@" (as an earlier
// version's run journal holds it) decoded here.
std::string ResultText(std::string_view TypeLink, std::string_view UrlFound);

// A keyword list (one keyword a line) for the engine, whose URLs hold characters outside ASCII
// as percent-encoded UTF-8 and host names as UTF-8: each line outside ASCII is followed by its
// UTF-8 form (a line that is not UTF-8 is taken as Latin-1) and that form percent-encoded.
std::string KeywordLines(std::string_view Text);

// Bytes as a person reads them: UTF-8 when they are valid UTF-8, else Latin-1 (every byte kept).
QString TextOfBytes(std::string_view Bytes);

// The same text as UTF-8 bytes: what the harvest writes, whatever an older file held.
std::string Utf8OfBytes(std::string_view Bytes);

// The lines of a file's bytes: CR, LF or CR LF end a line, a final line end adds no line.
std::vector<std::string> ByteLines(const QByteArray& Data);

// Reads a file's lines as bytes (CR, LF or CR LF end a line; a final line end adds no line);
// on failure Error says why, in German words.
bool ReadByteLines(const QString& FileName, std::vector<std::string>& Lines, QString& Error);

// Writes each line's bytes as they stand, each followed by CR LF, through an atomic rename; on
// failure Error says why, in German words.
bool WriteByteLines(const QString& FileName, const std::vector<std::string>& Lines, QString& Error);

// The link type padded with blanks to 4 characters, then two more blanks ("mail  ", "jpg   ").
// A longer type is not cut.
std::string TypePrefix(std::string_view TypeLink);

// The collator of sorted result lines: the locale's, case-insensitive.
QCollator LineCollator();
// The order of sorted result lines: by LineCollator, and lines equal to it by their bytes, so
// that identical lines end up next to each other and the order does not depend on the sort.
// TextA and TextB are the lines' texts (TextOfBytes). Below 0, 0 or above as A comes first, is
// the same or comes after.
int CompareLines(const QCollator& Collator, const QString& TextA, std::string_view A,
                 const QString& TextB, std::string_view B);

// Sorts the lines locale-aware and case-insensitively (ties by exact byte order) and keeps a line
// only when its first ";" field differs from the previous line's, and its fourth ";" field is not
// "FEHLER". Empty and blank lines are dropped.
std::vector<std::string> RemoveDuplicateLines(std::vector<std::string> Lines);

// Sorts the lines as RemoveDuplicateLines does and keeps each distinct line once, comparing whole
// lines: results that share their part before a ";" stay apart. Blank lines are dropped.
std::vector<std::string> SortedDistinctLines(std::vector<std::string> Lines);

// Rewrites the file sorted and without duplicates (RemoveDuplicateLines), lines ended by CR LF,
// every line as UTF-8 (Utf8OfBytes), so that a result saved by an older version in Latin-1 and
// the same result in UTF-8 are one.
// The old content is replaced only once the new one is completely written. On failure returns
// false with a readable Error and leaves the file as it was.
bool RemoveDuplicatesInFile(const QString& FileName, int& OutputLines, QString& Error);
