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

inline bool AsciiEqualsNoCase(std::string_view A, std::string_view B) {
    if (A.size() != B.size()) return false;
    for (std::size_t k = 0; k < A.size(); ++k)
        if (AsciiLower(A[k]) != AsciiLower(B[k])) return false;
    return true;
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
