#include "TRobotsTxt.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

#include "AsciiCase.h"

namespace {

std::string_view Trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsUnreserved(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

void AppendEscape(unsigned char c, std::string& Out) {
    static const char* const kHex = "0123456789ABCDEF";
    Out += '%';
    Out += kHex[c >> 4];
    Out += kHex[c & 15];
}

// One spelling for equal paths: escapes of unreserved characters decoded, other escapes in upper
// case, bytes outside printable ASCII escaped. In a path "*" and "$" are plain characters and are
// escaped, so that only a pattern's own "*" and final "$" act as wildcard and anchor, and a
// pattern's "%2A" or "%24" matches them.
std::string Normalised(std::string_view Path, bool Pattern) {
    std::string out;
    out.reserve(Path.size());
    for (std::size_t i = 0; i < Path.size(); ++i) {
        const auto c = static_cast<unsigned char>(Path[i]);
        if (c == '%' && i + 2 < Path.size() && AsciiHexValue(Path[i + 1]) >= 0 &&
            AsciiHexValue(Path[i + 2]) >= 0) {
            const auto decoded = static_cast<unsigned char>(AsciiHexValue(Path[i + 1]) * 16 +
                                                            AsciiHexValue(Path[i + 2]));
            if (IsUnreserved(decoded))
                out += static_cast<char>(decoded);
            else
                AppendEscape(decoded, out);
            i += 2;
        } else if (c <= 32 || c >= 127) {
            AppendEscape(c, out);
        } else if ((c == '*' && !Pattern) || (c == '$' && !(Pattern && i + 1 == Path.size()))) {
            AppendEscape(c, out);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

// True when Pattern matches the start of Path ("*" any run of bytes; a final "$" anchors the
// end). Linear in Path for each position of Pattern, so no pattern can make it slow.
bool Matches(std::string_view Pattern, std::string_view Path) {
    const bool anchored = !Pattern.empty() && Pattern.back() == '$';
    if (anchored) Pattern.remove_suffix(1);
    // reach[j]: Pattern's prefix read so far can end just before Path[j].
    std::vector<char> reach(Path.size() + 1, 0), next(Path.size() + 1, 0);
    reach[0] = 1;
    for (char p : Pattern) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        if (p == '*') {
            char carried = 0;
            for (std::size_t j = 0; j <= Path.size(); ++j) {
                carried |= reach[j];
                next[j] = carried;
                any |= carried != 0;
            }
        } else {
            for (std::size_t j = 0; j < Path.size(); ++j)
                if (reach[j] && Path[j] == p) {
                    next[j + 1] = 1;
                    any = true;
                }
        }
        if (!any) return false;
        reach.swap(next);
    }
    if (anchored) return reach[Path.size()] != 0;
    return std::find(reach.begin(), reach.end(), 1) != reach.end();
}

struct TGroup {
    std::vector<std::string> Agents;  // product tokens, lower case
    std::vector<std::pair<std::string, bool>> Rules;
    double CrawlDelaySeconds = -1;  // -1: none given
};

// For a number too large or too small for a double: whether it is too large. Its order of
// magnitude is the place of its first significant digit, moved by its exponent.
bool BeyondDouble(std::string_view Number) {
    long long magnitude = 0;
    bool point = false;
    bool significant = false;
    std::size_t i = 0;
    for (; i < Number.size() && Number[i] != 'e' && Number[i] != 'E'; ++i) {
        if (Number[i] == '.') point = true;
        if (Number[i] < '0' || Number[i] > '9') continue;
        significant = significant || Number[i] != '0';
        if (significant && !point) ++magnitude;
        if (!significant && point) --magnitude;
    }
    long long exponent = 0;
    bool negative = false;
    for (++i; i < Number.size(); ++i) {
        if (Number[i] == '-') negative = true;
        if (Number[i] >= '0' && Number[i] <= '9')
            exponent = std::min(exponent * 10 + (Number[i] - '0'), 1'000'000'000LL);
    }
    return magnitude + (negative ? -exponent : exponent) > 0;
}

// The seconds a Crawl-delay value asks for; -1 when it names no length (a word, a negative or
// tiny number). A number too large for a double ("1e400") asks for longer than any cap.
double ParseCrawlDelay(std::string_view Value) {
    if (Value.empty()) return -1;
    double seconds = -1;
    const char* end = Value.data() + Value.size();
    const auto [last, error] = std::from_chars(Value.data(), end, seconds);
    if (last != end || Value.front() == '-') return -1;
    if (error == std::errc::result_out_of_range)
        return BeyondDouble(Value) ? std::numeric_limits<double>::infinity() : -1;
    return error == std::errc() && seconds >= 0 ? seconds : -1;
}

// The groups of Text, and its Sitemap lines. Only a rule (Allow, Disallow) ends the run of
// User-agent lines that opens a group: other records (Sitemap, Crawl-delay, lines unknown to
// us) stand anywhere without splitting one group into two.
std::vector<TGroup> ReadGroups(std::string_view Text, std::vector<std::string>& Sitemaps) {
    std::vector<TGroup> groups;
    bool inAgents = false;
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);
    while (!Text.empty()) {
        std::size_t end = Text.find_first_of("\r\n");
        std::string_view line = Text.substr(0, end);
        Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
        line = line.substr(0, line.find('#'));
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string key = AsciiLowerCase(Trim(line.substr(0, colon)));
        const std::string_view value = Trim(line.substr(colon + 1));
        if (key == "user-agent") {
            if (!inAgents) groups.emplace_back();
            groups.back().Agents.push_back(AsciiLowerCase(ProductTokenOf(value)));
            inAgents = true;
        } else if (key == "allow" || key == "disallow") {
            inAgents = false;
            // Rules before any user-agent line belong to no group; an empty one says nothing.
            if (!groups.empty() && !value.empty())
                groups.back().Rules.emplace_back(Normalised(value, true), key == "allow");
        } else if (key == "crawl-delay") {
            if (!groups.empty()) groups.back().CrawlDelaySeconds = ParseCrawlDelay(value);
        } else if (key == "sitemap") {
            if (!value.empty()) Sitemaps.emplace_back(value);
        }
    }
    return groups;
}

}  // namespace

TRobotsTxt TRobotsTxt::Parse(std::string_view Text, std::string_view ProductToken) {
    std::vector<std::string> sitemaps;
    const std::vector<TGroup> groups = ReadGroups(Text.substr(0, kMaxBytes), sitemaps);
    const std::string token = AsciiLowerCase(ProductTokenOf(ProductToken));
    const auto merged = [&](const std::string& Name) {
        TRobotsTxt robots;
        bool found = false;
        for (const TGroup& group : groups) {
            if (std::find(group.Agents.begin(), group.Agents.end(), Name) == group.Agents.end())
                continue;
            found = true;
            for (const auto& [pattern, allow] : group.Rules)
                robots.m_rules.push_back({pattern, allow});
            if (group.CrawlDelaySeconds * 1000.0 > kMaxCrawlDelayMs) {
                robots.m_crawlDelayCapped = true;
                robots.m_crawlDelayMs = kMaxCrawlDelayMs;
            } else if (group.CrawlDelaySeconds > 0) {
                robots.m_crawlDelayMs = std::max(
                    robots.m_crawlDelayMs, static_cast<int>(group.CrawlDelaySeconds * 1000.0));
            }
        }
        return std::make_pair(found, robots);
    };
    auto [found, robots] = merged(token);
    if (!found || token.empty()) robots = merged("*").second;
    robots.m_sitemaps = std::move(sitemaps);
    return robots;
}

TRobotsTxt TRobotsTxt::DisallowAll() {
    TRobotsTxt robots;
    robots.m_disallowAll = true;
    return robots;
}

bool TRobotsTxt::Allows(std::string_view PathAndQuery) const {
    if (PathAndQuery.empty()) PathAndQuery = "/";
    if (!m_disallowAll && m_rules.empty()) return true;
    const std::string path = Normalised(PathAndQuery, false);
    // The rules themselves are always allowed, however their path is written ("/%72obots.txt").
    if (path == "/robots.txt") return true;
    if (m_disallowAll) return false;
    // The rule with the longest pattern decides; between equally long ones, Allow wins.
    const TRule* decisive = nullptr;
    for (const TRule& rule : m_rules) {
        if (!Matches(rule.Pattern, path)) continue;
        if (!decisive || rule.Pattern.size() > decisive->Pattern.size() ||
            (rule.Pattern.size() == decisive->Pattern.size() && rule.Allow))
            decisive = &rule;
    }
    return !decisive || decisive->Allow;
}

std::string ProductTokenOf(std::string_view Agent) {
    Agent = Trim(Agent);
    return std::string(Agent.substr(0, Agent.find_first_of("/ \t")));
}

std::string PathAndQueryOf(std::string_view Url) {
    const std::size_t scheme = Url.find("://");
    const std::size_t from = scheme == std::string_view::npos ? 0 : scheme + 3;
    const std::size_t path = Url.find_first_of("/?#", from);
    if (path == std::string_view::npos || Url[path] == '#') return "/";
    const std::string_view rest = Url.substr(path, Url.find('#', path) - path);
    return rest.front() == '?' ? "/" + std::string(rest) : std::string(rest);
}
