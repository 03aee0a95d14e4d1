#include "TCleanMap.h"

#include <algorithm>
#include <array>

#include "HtmlSpace.h"

namespace {

// Source bytes that cleaning keeps as they are, whatever stands around them: all but control
// bytes, blanks, quotes, apostrophes and commas. They keep their order in the cleaned text.
constexpr std::array<bool, 256> kSolidSource = [] {
    std::array<bool, 256> table{};
    for (int c = ' ' + 1; c < 256; ++c) table[c] = c != '"' && c != '\'' && c != ',';
    return table;
}();

// The same bytes in the marked cleaned text. A marker stands for the byte it replaced, a solid
// one, except the marker of "openWin( ", which replaced the blank after its "(". Blanks are the
// only other bytes left.
bool IsSolidCleaned(std::string_view Cleaned, std::size_t i) {
    const char c = Cleaned[i];
    if (c == ' ') return false;
    return c != 4 || i == 0 || Cleaned[i - 1] != '(';
}

}  // namespace

bool TCleanMap::ReadValue(std::string_view Cleaned, std::size_t Start, std::size_t End,
                          std::string& Value, std::size_t& Resume) const {
    if (Start >= Cleaned.size() || Anchors.empty()) return false;
    // Values are read in the order of the page: the walk to the anchor goes on from the last one.
    if (Hint >= Anchors.size() || Anchors[Hint].Cleaned > Start) Hint = 0;
    while (Hint + 1 < Anchors.size() && Anchors[Hint + 1].Cleaned <= Start) ++Hint;
    const TAnchor* anchor = &Anchors[Hint];
    // The solid bytes between the anchor and Start, then the one of Start, are the same in both.
    std::size_t solid = 0;
    for (std::size_t c = anchor->Cleaned; c < Start; ++c) solid += IsSolidCleaned(Cleaned, c);
    const auto* src = reinterpret_cast<const unsigned char*>(Source.data());
    const std::size_t n = Source.size();
    std::size_t s = anchor->Source;
    for (;; ++s) {
        if (s >= n) return false;
        if (!kSolidSource[src[s]]) continue;
        if (solid == 0) break;
        --solid;
    }
    if (Source[s] != Cleaned[Start]) return false;

    // The blanks, quotes and the like between the attribute's "=" and the value: the quote
    // nearest to the value opened it.
    unsigned char quote = 0;
    for (std::size_t b = s; b > 0 && !kSolidSource[src[b - 1]]; --b) {
        if (src[b - 1] == '"' || src[b - 1] == '\'') {
            quote = src[b - 1];
            break;
        }
    }
    std::size_t end = s;
    while (end < n && src[end] != '<' && src[end] != '>' &&
           (quote != 0 ? src[end] != quote : !IsHtmlSpace(static_cast<char>(src[end]))))
        ++end;

    Value.assign(Source.substr(s, end - s));
    std::size_t valueSolid = 0;
    bool control = false;
    for (std::size_t k = s; k < end; ++k) {
        valueSolid += kSolidSource[src[k]];
        control = control || src[k] < ' ';
    }
    // Tabs and line breaks inside a value are no part of the address, as browsers read it.
    if (control) std::erase_if(Value, [](char c) { return static_cast<unsigned char>(c) < ' '; });
    while (!Value.empty() && IsHtmlSpace(Value.back())) Value.pop_back();

    // Mostly the page wrote the value as cleaning left it: the scan goes on where it stopped.
    if (Value == Cleaned.substr(Start, End - Start)) {
        Resume = End + 1;
        return true;
    }
    // Else it resumes after the cleaned byte of the value's last solid byte.
    std::size_t c = Start;
    for (; c < Cleaned.size() && valueSolid > 0; ++c) valueSolid -= IsSolidCleaned(Cleaned, c);
    Resume = c;
    return true;
}
