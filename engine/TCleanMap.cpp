#include "TCleanMap.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "ByteBlock.h"
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

// Solid bytes of the cleaned text in [From, To): every byte but blanks, counted a block at a time,
// less the rare marker of "openWin( ".
std::size_t CountSolidCleaned(std::string_view Cleaned, std::size_t From, std::size_t To) {
    const auto* p = reinterpret_cast<const unsigned char*>(Cleaned.data());
    std::size_t count = 0;
    std::size_t i = From;
    for (; i < To && Cleaned.size() - i >= TByteBlock::kSize; i += TByteBlock::kSize) {
        std::uint64_t solid = ~TByteBlock(p + i).Equal(' ');
        if (To - i < TByteBlock::kSize) solid &= (std::uint64_t{1} << (To - i)) - 1;
        count += static_cast<std::size_t>(std::popcount(solid));
    }
    for (; i < To; ++i) count += Cleaned[i] != ' ';
    if (std::memchr(p + From, 4, To - From) != nullptr)
        for (std::size_t c = From; c < To; ++c)
            count -= Cleaned[c] == 4 && !IsSolidCleaned(Cleaned, c);
    return count;
}

// The position of the solid source byte that follows Skip solid ones from From; N when none.
std::size_t FindSolidSource(const unsigned char* p, std::size_t N, std::size_t From,
                            std::size_t Skip) {
    std::size_t i = From;
    for (; i <= N && N - i >= TByteBlock::kSize; i += TByteBlock::kSize) {
        const TByteBlock block(p + i);
        std::uint64_t solid =
            ~(block.Below(' ' + 1) | block.Equal('"') | block.Equal('\'') | block.Equal(','));
        const auto count = static_cast<std::size_t>(std::popcount(solid));
        if (count > Skip) {
            for (; Skip > 0; --Skip) solid &= solid - 1;
            return i + static_cast<std::size_t>(std::countr_zero(solid));
        }
        Skip -= count;
    }
    for (; i < N; ++i) {
        if (!kSolidSource[p[i]]) continue;
        if (Skip == 0) return i;
        --Skip;
    }
    return N;
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
    const auto* src = reinterpret_cast<const unsigned char*>(Source.data());
    const std::size_t n = Source.size();
    if (anchor->Source > n) return false;
    const std::size_t s =
        FindSolidSource(src, n, anchor->Source, CountSolidCleaned(Cleaned, anchor->Cleaned, Start));
    if (s >= n || Source[s] != Cleaned[Start]) return false;

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
