#include "MetaRobots.h"

#include "AsciiCase.h"
#include "MetaRefresh.h"

namespace {

constexpr std::string_view kOurName = "tarnwick";
constexpr std::string_view kHeaderName = "x-robots-tag:";

bool IsWordSeparator(char c) {
    return c == ',' || IsHtmlSpace(c);
}

bool IsNameCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_';
}

// Rules that carry their own colon ("max-snippet:20") are no crawler's name.
bool IsRuleWithColon(std::string_view Name) {
    for (std::string_view rule :
         {"unavailable_after", "max-snippet", "max-image-preview", "max-video-preview"})
        if (AsciiEqualsNoCase(Name, rule)) return true;
    return false;
}

// Whether a header's value applies to us; Value loses the crawler's name in front, if any.
bool AppliesToUs(std::string_view& Value) {
    while (!Value.empty() && IsHtmlSpace(Value.front())) Value.remove_prefix(1);
    std::size_t end = 0;
    while (end < Value.size() && IsNameCharacter(Value[end])) ++end;
    if (end == 0 || end >= Value.size() || Value[end] != ':') return true;
    const std::string_view name = Value.substr(0, end);
    if (IsRuleWithColon(name)) return true;
    Value.remove_prefix(end + 1);
    return AsciiEqualsNoCase(name, kOurName);
}

}  // namespace

bool RobotsValueForbidsFollowing(std::string_view Value) {
    std::size_t pos = 0;
    while (pos < Value.size()) {
        while (pos < Value.size() && IsWordSeparator(Value[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < Value.size() && !IsWordSeparator(Value[pos])) ++pos;
        const std::string_view word = Value.substr(start, pos - start);
        if (AsciiEqualsNoCase(word, "nofollow") || AsciiEqualsNoCase(word, "none")) return true;
    }
    return false;
}

bool MetaTagForbidsFollowing(const THeadTag& Tag) {
    if (Tag.TagType != "META") return false;
    std::optional<std::string_view> name = TagAttribute(Tag.Text, "name");
    if (!name) return false;
    while (!name->empty() && IsHtmlSpace(name->front())) name->remove_prefix(1);
    while (!name->empty() && IsHtmlSpace(name->back())) name->remove_suffix(1);
    if (!AsciiEqualsNoCase(*name, "robots") && !AsciiEqualsNoCase(*name, kOurName)) return false;
    const std::optional<std::string_view> content = TagAttribute(Tag.Text, "content");
    return content && RobotsValueForbidsFollowing(*content);
}

bool HeadersForbidFollowing(std::string_view RawHeaders) {
    std::size_t pos = 0;
    while (pos < RawHeaders.size()) {
        std::size_t end = RawHeaders.find('\n', pos);
        if (end == std::string_view::npos) end = RawHeaders.size();
        std::string_view line = RawHeaders.substr(pos, end - pos);
        pos = end + 1;
        if (line.size() < kHeaderName.size() ||
            !AsciiEqualsNoCase(line.substr(0, kHeaderName.size()), kHeaderName))
            continue;
        line.remove_prefix(kHeaderName.size());
        if (AppliesToUs(line) && RobotsValueForbidsFollowing(line)) return true;
    }
    return false;
}
