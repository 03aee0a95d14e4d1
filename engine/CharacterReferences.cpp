#include "CharacterReferences.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "AsciiCase.h"
#include "TextBytes.h"
#include "UrlEncoding.h"

namespace {

struct TNamedReference {
    std::string_view Name;  // without "&" and ";"
    std::string_view Text;  // UTF-8
};

constexpr TNamedReference kNamedReferences[] = {
#include "HtmlEntityTable.inc"
};

// The longest name of the table; a longer run of letters cannot be a reference.
constexpr std::size_t kMaxNameLength = 32;
// More digits than this always exceed Unicode; the value is capped instead of overflowing.
constexpr std::uint32_t kBeyondUnicode = 0x110000;

bool IsAsciiDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAsciiAlnum(char c) {
    return IsAsciiDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// The code point a numeric reference stands for, as browsers map it; 0 when it is left as
// written (a control character).
std::uint32_t BrowserCodePoint(std::uint32_t Code) {
    if (Code == 0 || Code >= kBeyondUnicode || (Code >= 0xD800 && Code <= 0xDFFF)) return 0xFFFD;
    if (Code >= 0x80 && Code <= 0x9F) {
        // The five bytes that windows-1252 leaves undefined keep no meaning here.
        const char32_t meant = Windows1252CodePoint(static_cast<unsigned char>(Code));
        return meant == Code ? 0 : meant;
    }
    if (Code < 32 || Code == 127) return 0;
    return Code;
}

// Decodes the numeric reference at Value[At] ("&#..."); returns the length it covers, 0 when
// there is none to decode there.
std::size_t DecodeNumeric(std::string_view Value, std::size_t At, std::string& Out) {
    std::size_t i = At + 2;
    const bool hex = i < Value.size() && (Value[i] == 'x' || Value[i] == 'X');
    if (hex) ++i;
    const std::size_t digitsFrom = i;
    std::uint32_t code = 0;
    for (; i < Value.size(); ++i) {
        const int digit =
            hex ? AsciiHexValue(Value[i]) : (IsAsciiDigit(Value[i]) ? Value[i] - '0' : -1);
        if (digit < 0) break;
        code = std::min<std::uint32_t>(code * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit),
                                       kBeyondUnicode);
    }
    if (i == digitsFrom || i >= Value.size() || Value[i] != ';') return 0;
    const std::uint32_t meant = BrowserCodePoint(code);
    if (meant == 0) return 0;
    AppendUtf8(meant, Out);
    return i + 1 - At;
}

// Decodes the named reference at Value[At] ("&name;"), as DecodeNumeric.
std::size_t DecodeNamed(std::string_view Value, std::size_t At, std::string& Out) {
    std::size_t i = At + 1;
    while (i < Value.size() && i - At <= kMaxNameLength && IsAsciiAlnum(Value[i])) ++i;
    if (i == At + 1 || i >= Value.size() || Value[i] != ';') return 0;
    const std::string_view name = Value.substr(At + 1, i - At - 1);
    const auto* end = std::end(kNamedReferences);
    const auto* found =
        std::lower_bound(std::begin(kNamedReferences), end, name,
                         [](const TNamedReference& r, std::string_view n) { return r.Name < n; });
    if (found == end || found->Name != name) return 0;
    // "&Tab;" and "&NewLine;" name control characters, which no link may hold.
    if (HasControlByte(found->Text)) return 0;
    Out += found->Text;
    return i + 1 - At;
}

}  // namespace

std::string DecodeCharacterReferences(std::string_view Value) {
    std::string out;
    DecodeCharacterReferences(Value, out);
    return out;
}

void DecodeCharacterReferences(std::string_view Value, std::string& Out) {
    Out.clear();
    Out.reserve(Value.size());
    std::size_t i = 0;
    while (i < Value.size()) {
        const std::size_t amp = Value.find('&', i);
        if (amp == std::string_view::npos) break;
        Out.append(Value.substr(i, amp - i));
        const bool numeric = amp + 1 < Value.size() && Value[amp + 1] == '#';
        const std::size_t used =
            numeric ? DecodeNumeric(Value, amp, Out) : DecodeNamed(Value, amp, Out);
        if (used == 0) {
            Out += '&';
            i = amp + 1;
        } else {
            i = amp + used;
        }
    }
    Out.append(Value.substr(i));
}
