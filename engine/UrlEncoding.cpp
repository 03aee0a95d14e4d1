#include "UrlEncoding.h"

#include <algorithm>

#include "AsciiCase.h"
#include "ByteBlock.h"
#include "PlainUrl.h"
#include "TextBytes.h"

namespace {

// Length of the UTF-8 sequence that starts at Text[At], or 0 when none starts there.
std::size_t SequenceLength(std::string_view Text, std::size_t At) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(Text[i]); };
    const unsigned char lead = byte(At);
    if (lead < 0x80) return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
        return 0;
    }
    if (At + length > Text.size()) return 0;
    if (byte(At + 1) < low || byte(At + 1) > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (byte(At + i) < 0x80 || byte(At + i) > 0xBF) return 0;
    return length;
}

bool IsWebScheme(std::string_view Scheme) {
    const std::string lower = AsciiLowerCase(Scheme);
    return lower == "http" || lower == "https";
}

}  // namespace

bool IsUtf8(std::string_view Text) {
    const auto* p = reinterpret_cast<const unsigned char*>(Text.data());
    for (std::size_t at = 0; at < Text.size();) {
        // Pages are mostly ASCII: runs of it are passed over a block at a time.
        at = FindInBlocks(
            p, at, Text.size(), [](const TByteBlock& b) { return ~b.Below(0x80); },
            [](unsigned char c) { return c >= 0x80; });
        if (at >= Text.size()) break;
        const std::size_t length = SequenceLength(Text, at);
        if (length == 0) return false;
        at += length;
    }
    return true;
}

std::string Latin1ToUtf8(std::string_view Text) {
    std::string out;
    out.reserve(Text.size() * 2);
    for (const char c : Text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
        } else {
            out += static_cast<char>(0xC0 | (b >> 6));
            out += static_cast<char>(0x80 | (b & 0x3F));
        }
    }
    return out;
}

void AppendUtf8(char32_t Code, std::string& Out) {
    if (Code < 0x80) {
        Out += static_cast<char>(Code);
    } else if (Code < 0x800) {
        Out += static_cast<char>(0xC0 | (Code >> 6));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else if (Code < 0x10000) {
        Out += static_cast<char>(0xE0 | (Code >> 12));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    } else {
        Out += static_cast<char>(0xF0 | (Code >> 18));
        Out += static_cast<char>(0x80 | ((Code >> 12) & 0x3F));
        Out += static_cast<char>(0x80 | ((Code >> 6) & 0x3F));
        Out += static_cast<char>(0x80 | (Code & 0x3F));
    }
}

char32_t Windows1252CodePoint(unsigned char Byte) {
    static constexpr char16_t kHigh[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return Byte >= 0x80 && Byte < 0xA0 ? char32_t{kHigh[Byte - 0x80]} : char32_t{Byte};
}

std::string PercentEncodeNonAscii(std::string_view Text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(Text.size());
    for (const char c : Text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 0x0F];
    }
    return out;
}

std::string PercentDecode(std::string_view Text) {
    std::string out;
    out.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const int high = Text[i] == '%' && i + 2 < Text.size() ? AsciiHexValue(Text[i + 1]) : -1;
        const int low = high >= 0 ? AsciiHexValue(Text[i + 2]) : -1;
        if (low < 0) {
            out += Text[i];
        } else {
            out += static_cast<char>(high * 16 + low);
            i += 2;
        }
    }
    return out;
}

namespace {

bool IsHex(char c) {
    return AsciiHexValue(c) >= 0;
}

// "%c3%bc" as "%C3%BC": libcurl writes the escapes it makes in lower case, and the same
// character must not give two texts. Escapes of ASCII bytes stay as written.
std::string UpperCaseHighEscapes(std::string Text) {
    for (std::size_t at = Text.find('%'); at != std::string::npos && at + 2 < Text.size();
         at = Text.find('%', at + 1)) {
        if (!IsHex(Text[at + 1]) || !IsHex(Text[at + 2]) || !(Text[at + 1] >= '8')) continue;
        Text[at + 1] = AsciiUpper(Text[at + 1]);
        Text[at + 2] = AsciiUpper(Text[at + 2]);
    }
    return Text;
}

// Text up to PathFrom is the scheme and host; the path runs to the first "?" or "#".
std::string Normalize(std::string_view Url, std::size_t PathFrom) {
    const std::size_t queryFrom = std::min(FindAnyOf(Url, "?#", PathFrom), Url.size());
    const bool utf8 = IsUtf8(Url);
    const auto asUtf8 = [&](std::string_view Part) {
        return utf8 ? std::string(Part) : Latin1ToUtf8(Part);
    };
    // Browsers send the path as UTF-8 whatever the page's character set, but the query in the
    // page's own bytes; so only the host and path are converted from Latin-1.
    return asUtf8(Url.substr(0, PathFrom)) +
           UpperCaseHighEscapes(
               PercentEncodeNonAscii(asUtf8(Url.substr(PathFrom, queryFrom - PathFrom))) +
               PercentEncodeNonAscii(Url.substr(queryFrom)));
}

std::string NormalizeUrlGeneral(std::string_view Url) {
    const std::size_t separator = Url.find("://");
    if (separator == std::string_view::npos || !IsWebScheme(Url.substr(0, separator)))
        return std::string(Url);
    return Normalize(Url, std::min(FindAnyOf(Url, "/?#", separator + 3), Url.size()));
}

}  // namespace

std::string NormalizeUrl(std::string_view Url) {
    std::string out;
    NormalizeUrlInto(Url, out);
    return out;
}

void NormalizeUrlInto(std::string_view Url, std::string& Out) {
    if (!HasNonAscii(Url) && Url.find('%') == std::string_view::npos) {
        Out.assign(Url);
        return;
    }
    Out = NormalizeUrlGeneral(Url);
}

std::string NormalizeLinkValue(std::string_view Value) {
    if (!HasNonAscii(Value)) return std::string(Value);
    if (Value.find("://") != std::string_view::npos) return NormalizeUrl(Value);
    // "//host/path" names a host; any other value without a scheme is a path and a query.
    const std::size_t pathFrom =
        Value.substr(0, 2) == "//" ? std::min(FindAnyOf(Value, "/?#", 2), Value.size()) : 0;
    return Normalize(Value, pathFrom);
}
