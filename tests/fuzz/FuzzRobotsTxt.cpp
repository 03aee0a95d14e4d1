// robots.txt rules of arbitrary text: never crash, never hang, and decide consistently. The
// input's first line is the crawler's agent, its second a path to ask about, the rest the file.

#include <cstdint>
#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "TRobotsTxt.h"

namespace {

std::string_view NextLine(std::string_view& Text) {
    const std::size_t end = Text.find('\n');
    const std::string_view line = Text.substr(0, end);
    Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
    return line;
}

bool Unreserved(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

// The same path with its unreserved characters written as escapes, which means the same.
std::string Escaped(std::string_view Path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (char c : Path) {
        if (Unreserved(c)) {
            out += '%';
            out += kHex[static_cast<unsigned char>(c) >> 4];
            out += kHex[static_cast<unsigned char>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    std::string_view text(reinterpret_cast<const char*>(Data), Size);
    const std::string_view agent = NextLine(text);
    std::string path(NextLine(text));
    if (path.empty() || path.front() != '/') path.insert(path.begin(), '/');

    const std::string token = ProductTokenOf(agent);
    FUZZ_CHECK(token.find_first_of("/ \t") == std::string::npos);

    const TRobotsTxt robots = TRobotsTxt::Parse(text, agent);
    FUZZ_CHECK(robots.CrawlDelayMs() >= 0 && robots.CrawlDelayMs() <= TRobotsTxt::kMaxCrawlDelayMs);
    FUZZ_CHECK(robots.Allows("/robots.txt"));
    const bool allowed = robots.Allows(path);
    // Escaping an unreserved character changes nothing of a path's meaning, nor of the answer
    // (a path with escapes of its own is left out: "%4" then "1" would become an escape).
    if (path.find('%') == std::string::npos) FUZZ_CHECK(robots.Allows(Escaped(path)) == allowed);
    // The same file read again gives the same answers.
    const TRobotsTxt again = TRobotsTxt::Parse(text, agent);
    FUZZ_CHECK(again.Allows(path) == allowed && again.CrawlDelayMs() == robots.CrawlDelayMs());

    // What is asked about a fetched URL is its path and query, never its fragment.
    const std::string asked = PathAndQueryOf(text.substr(0, 2048));
    FUZZ_CHECK(!asked.empty() && asked.front() == '/' && asked.find('#') == std::string::npos);
    return 0;
}
