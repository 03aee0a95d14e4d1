#pragma once
// Where the bytes of a cleaned page text came from. Cleaning turns quotes and commas into blanks
// and drops others, so the cleaned text cannot tell where a quoted value ends; the map lets a
// value be read from the text as the page wrote it. Built by CleanText, read by ExtractLinks, on
// the thread that analyses the page; it refers to the cleaned source, which must outlive it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct TCleanMap {
    // A cleaned position and the source position it came from: cleaned bytes before Cleaned
    // came from source bytes before Source. One every 64 bytes of either text.
    // Offsets of 32 bits keep the map at an eighth of the page; a text of 4 GiB or more gets no
    // anchors, and its values are read as cleaned.
    struct TAnchor {
        std::uint32_t Cleaned = 0;
        std::uint32_t Source = 0;
    };
    std::string_view Source;
    std::vector<TAnchor> Anchors;
    // The anchor of the value read last; reading in page order walks each anchor once.
    mutable std::size_t Hint = 0;

    // The value that starts at Start of the marked cleaned text, as the page wrote it: a quoted
    // value up to its closing quote, an unquoted one up to a blank or ">", and either not beyond
    // "<" or ">"; without control bytes and trailing blanks. Cleaned[Start, End) is the value as
    // the cleaned text has it, ended by the byte at End. Resume is the cleaned position where the
    // scan goes on after the value. False when the source byte of Start cannot be found (the
    // cleaned text was changed in length, or made from another text).
    bool ReadValue(std::string_view Cleaned, std::size_t Start, std::size_t End, std::string& Value,
                   std::size_t& Resume) const;
};
