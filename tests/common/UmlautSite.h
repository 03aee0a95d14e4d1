#pragma once
// A small site whose links hold text outside ASCII, for the test server: a UTF-8 start page and
// a Latin-1 page that declares its character set and holds the byte 0xFC, among others in an
// address that the start page holds too.

#include <string>

// The test server sends a body's characters as Latin-1 bytes; every byte outside ASCII (and the
// quote and backslash) is written as a JSON escape, so the page goes out byte for byte.
inline std::string JsonBytes(const std::string& Bytes) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : Bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 || c == '"' || c == '\\')
            out += std::string("\\u00") + kHex[b >> 4] + kHex[b & 15];
        else
            out += c;
    }
    return out;
}

inline std::string UmlautSiteConfig() {
    const std::string start =
        "<a href=\"mailto:j%C3%BCrgen@m%C3%BCller.test\">j</a> "
        "<a href=\"mailto:anna@m\xC3\xBCller.test\">a</a> "
        "<a href=\"/pr\xC3\xBC"
        "fung.pdf\">p</a> <a href=\"/pr%C3%BCfung.pdf\">p</a> "
        "<a href=\"latin.htm\">l</a>";
    const std::string latin =
        "<a href=\"mailto:m\xFCller@latin.test\">m</a> <a href=\"b\xFC"
        "cher.pdf\">b</a> <a href=\"mailto:anna@m\xFCller.test\">a</a>";
    return R"({"routes": {"/": {"content_type": "text/html; charset=utf-8", "body": ")" +
           JsonBytes(start) +
           R"("}, "/latin.htm": {"content_type": "text/html; charset=iso-8859-1", "body": ")" +
           JsonBytes(latin) + R"("}}})";
}
