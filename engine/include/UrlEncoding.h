#pragma once
// Pure text routines for URLs and texts that may hold bytes outside ASCII: checking UTF-8,
// reading bytes as Latin-1, and the percent-encoded form in which a browser sends a URL. No
// threads, no I/O.

#include <string>
#include <string_view>

// True when Text is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
// Plain ASCII is UTF-8.
bool IsUtf8(std::string_view Text);

// Each byte taken as a Latin-1 character and written as UTF-8.
std::string Latin1ToUtf8(std::string_view Text);

// Appends the character Code (a Unicode scalar value) to Out as UTF-8.
void AppendUtf8(char32_t Code, std::string& Out);

// The character a byte stands for in windows-1252 as browsers read it: Latin-1 but for 0x80 to
// 0x9F, of which the five that Microsoft left undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) stay
// their own control characters.
char32_t Windows1252CodePoint(unsigned char Byte);

// Every byte from 0x80 up written as "%XX" (upper-case hex); other bytes stay.
std::string PercentEncodeNonAscii(std::string_view Text);

// Every "%XX" escape (either case of hex digit) decoded to its byte, whatever byte that is; a "%"
// that begins no escape stays as it is.
std::string PercentDecode(std::string_view Text);

// The form in which a browser sends an http or https URL: the path's characters outside ASCII as
// percent-encoded UTF-8, the query's bytes percent-encoded as they stand, the host left as
// characters (libcurl turns an international name into its ASCII form when it connects). A URL
// whose bytes are not UTF-8 is taken as Latin-1 for its host and path. Escapes of bytes from 0x80
// up are written in upper case; escapes of ASCII bytes stay as written. A URL of another scheme
// comes back unchanged. So a link written raw and the same link percent-encoded give one text.
std::string NormalizeUrl(std::string_view Url);
// The same into Out, whose room is used again.
void NormalizeUrlInto(std::string_view Url, std::string& Out);

// A link value as found on a page, before it is resolved, in the same form: a value with
// "scheme://" as NormalizeUrl, "//host/..." with its host kept as characters, any other value as
// a path and query. Resolving must not see raw bytes, which libcurl would escape as they stand.
std::string NormalizeLinkValue(std::string_view Value);
