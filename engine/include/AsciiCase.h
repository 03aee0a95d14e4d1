#pragma once
// Case folding of the engine: only the ASCII letters a to z and A to Z change; every other byte,
// accented letters included, stays as it is. No locale is consulted.

#include <string>
#include <string_view>

inline char AsciiUpper(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}
inline char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

// The value of a hexadecimal digit in either case; -1 for any other byte.
inline int AsciiHexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// True when Text begins with Prefix, ASCII letters compared without regard to case.
inline bool AsciiStartsWithNoCase(std::string_view Text, std::string_view Prefix) {
    if (Text.size() < Prefix.size()) return false;
    for (std::size_t i = 0; i < Prefix.size(); ++i)
        if (AsciiLower(Text[i]) != AsciiLower(Prefix[i])) return false;
    return true;
}

// True when A and B are equal, ASCII letters compared without regard to case.
inline bool AsciiEqualsNoCase(std::string_view A, std::string_view B) {
    return A.size() == B.size() && AsciiStartsWithNoCase(A, B);
}

inline std::string AsciiUpperCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiUpper(c);
    return out;
}

inline std::string AsciiLowerCase(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
}
