#pragma once
// Small routines of the harvester on 8-bit text: a folder name with its trailing "/", and the
// words of a text under a set of delimiter characters (the fields of a result line).

#include <cstddef>
#include <string>
#include <string_view>

// Appends "/" to a non-empty folder name that does not end in one; "" stays "".
std::string AddTrailingBackslash(std::string_view Folder);

// A word is a longest run of characters none of which is in Delimiters; leading delimiters are
// skipped and a run of delimiters separates once. Words count from 1. Sets Position to the
// 1-based position of the first character of word N and returns true when that word exists.
bool WordPositionN(int N, std::string_view Text, std::string_view Delimiters,
                   std::size_t& Position);

// Word N of Text (see WordPositionN), or "" when Text has fewer than N words.
std::string ExtractWordN(int N, std::string_view Text, std::string_view Delimiters);
