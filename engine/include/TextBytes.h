#pragma once
// Tests of 8-bit text that the engine, the harvest texts and the window must answer alike:
// which bytes are control characters or beyond ASCII, and where the lines of a text file end.

#include <algorithm>
#include <string_view>
#include <vector>

// True when Text holds a byte below 32 (NUL, tab, CR, LF and the rest of the C0 range). These
// are the bytes that page cleaning removes, that cut a C string short and that end a line; DEL
// (127) is none of them and is judged by whoever must.
inline bool HasControlByte(std::string_view Text) {
    return std::any_of(Text.begin(), Text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 32; });
}

// True when Text holds a byte from 0x80 up: it is no plain ASCII.
inline bool HasNonAscii(std::string_view Text) {
    return std::any_of(Text.begin(), Text.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

// Calls Visit(std::string_view) for each line of Text, in order. A line ends at CR, LF or CR LF,
// so files written on any system read alike; a final line end adds no empty line, and empty
// lines between two line ends are kept.
template <class TVisit>
void ForEachLine(std::string_view Text, TVisit&& Visit) {
    std::size_t pos = 0;
    while (pos < Text.size()) {
        std::size_t end = Text.find_first_of("\r\n", pos);
        if (end == std::string_view::npos) end = Text.size();
        Visit(Text.substr(pos, end - pos));
        if (end == Text.size()) break;
        pos = end + 1;
        if (Text[end] == '\r' && pos < Text.size() && Text[pos] == '\n') ++pos;
    }
}

// The lines of Text as ForEachLine finds them; the views point into Text.
inline std::vector<std::string_view> SplitLines(std::string_view Text) {
    std::vector<std::string_view> lines;
    ForEachLine(Text, [&](std::string_view Line) { lines.push_back(Line); });
    return lines;
}
