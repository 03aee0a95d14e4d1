#pragma once
// The harvest's result texts, shared by the window and the command line: the at-sign repair of
// found addresses, the type prefix of the result list, and the sorting and duplicate removal of
// result files.

#include <QString>

#include <string>
#include <string_view>
#include <vector>

// Replaces the first "%40" by "@"; later ones and other percent sequences stay.
std::string DecodeAtSign(std::string_view Text);

// The link type padded with blanks to 4 characters, then two more blanks ("mail  ", "jpg   ").
// A longer type is not cut.
std::string TypePrefix(std::string_view TypeLink);

// Sorts the lines locale-aware and case-insensitively (ties by exact byte order) and keeps a line
// only when its first ";" field differs from the previous line's, and its fourth ";" field is not
// "FEHLER". Empty and blank lines are dropped.
std::vector<std::string> RemoveDuplicateLines(std::vector<std::string> Lines);

// Sorts the lines as RemoveDuplicateLines does and keeps each distinct line once, comparing whole
// lines: results that share their part before a ";" stay apart. Blank lines are dropped.
std::vector<std::string> SortedDistinctLines(std::vector<std::string> Lines);

// Rewrites the file sorted and without duplicates (RemoveDuplicateLines), lines ended by CR LF.
// The old content is replaced only once the new one is completely written. On failure returns
// false with a readable Error and leaves the file as it was.
bool RemoveDuplicatesInFile(const QString& FileName, int& OutputLines, QString& Error);
