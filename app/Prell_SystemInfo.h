#pragma once
// Small text and path routines of the harvester on 8-bit text. Paths are this platform's: "/"
// separates folders and there are no drive letters.

#include <cstddef>
#include <string>
#include <string_view>

// Appends "/" to a non-empty folder name that does not end in one; "" stays "".
std::string AddTrailingBackslash(std::string_view Folder);

// The folder part of a file name: the text before the last "/", "/" for a file in the root, and
// "" when the name holds no "/".
std::string PathOfFileName(std::string_view FileName);

// A word is a longest run of characters none of which is in Delimiters; leading delimiters are
// skipped and a run of delimiters separates once. Words count from 1. Sets Position to the
// 1-based position of the first character of word N and returns true when that word exists.
bool WordPositionN(int N, std::string_view Text, std::string_view Delimiters,
                   std::size_t& Position);

// Word N of Text (see WordPositionN), or "" when Text has fewer than N words.
std::string ExtractWordN(int N, std::string_view Text, std::string_view Delimiters);

bool CharInText(std::string_view Text, char C);
