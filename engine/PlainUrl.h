#pragma once
// Plain URLs: the everyday http and https addresses of web pages, which the engine splits and
// combines by hand. libcurl's URL parser handles every URL, but costs several microseconds and
// a dozen allocations per call, and a crawl meets tens of thousands of links. Anything outside
// the plain form below goes to libcurl; for the plain form both give the same parts (the tests
// compare them on generated and fuzzed input).
//
// Plain: "http://" or "https://" in lower case; a host of letters, digits, "-", "_", "~" and
// "." that libcurl would not rewrite as a numeric address (a canonical dotted quad is fine);
// an optional port of 1 to 65535 without leading zeros; then nothing but printable ASCII
// without "%" and "\" (so nothing to decode or escape).

#include <string>
#include <string_view>

struct TPlainUrl {
    std::string_view Scheme;  // "http" or "https"
    std::string_view Host;    // as written
    int Port = 0;             // written, else the scheme's default
    std::string_view Rest;    // everything after the host and port: path, query and fragment
};

// The first byte of Text at From or later that is one of Set's, npos when none. URLs are
// split on a few delimiters ("/?#"); find_first_of would call memchr on Set for every byte.
inline std::size_t FindAnyOf(std::string_view Text, std::string_view Set, std::size_t From = 0) {
    for (std::size_t i = From; i < Text.size(); ++i)
        for (const char c : Set)
            if (Text[i] == c) return i;
    return std::string_view::npos;
}

// Splits Url when it is plain; false sends it to the general parser.
bool SplitPlainUrl(std::string_view Url, TPlainUrl& Parts);

// True when Url begins with "http://" or "https://", the scheme in any case: the only schemes
// fetched.
bool IsWebUrl(std::string_view Url);

// True when Path holds a "." or ".." segment, which resolution removes.
bool HasDotSegment(std::string_view Path);

// True when every byte of Text may stand in a plain URL after its authority.
bool IsPlainTail(std::string_view Text);

// Resolution of a plain relative value (a path, with query and fragment, that needs no escaping
// and no dot segments except leading "./" and "../") against a plain URL with a path, such as
// "http://host/dir/" or "http://host/dir/page?x=1": the value joined to the base's directory.
// False when the general resolution must decide.
bool CombinePlainUrl(std::string_view Base, std::string_view Value, std::string& Result);
