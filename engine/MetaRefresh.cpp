#include "MetaRefresh.h"

#include <optional>

#include "AsciiCase.h"

namespace {

std::string_view TrimSpaces(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= ' ') s.remove_prefix(1);
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::optional<std::string_view> TagAttribute(std::string_view Tag, std::string_view Name) {
    const std::size_t n = Tag.size();
    std::size_t pos = 0;
    while (pos < n && !IsHtmlSpace(Tag[pos]) && Tag[pos] != '/') ++pos;  // the element's name
    while (true) {
        while (pos < n && (IsHtmlSpace(Tag[pos]) || Tag[pos] == '/')) ++pos;
        if (pos >= n) return std::nullopt;
        const std::size_t nameStart = pos++;  // a name may begin with "="
        while (pos < n && !IsHtmlSpace(Tag[pos]) && Tag[pos] != '/' && Tag[pos] != '=') ++pos;
        const std::string_view name = Tag.substr(nameStart, pos - nameStart);
        while (pos < n && IsHtmlSpace(Tag[pos])) ++pos;
        std::string_view value;
        if (pos < n && Tag[pos] == '=') {
            ++pos;
            while (pos < n && IsHtmlSpace(Tag[pos])) ++pos;
            if (pos < n && (Tag[pos] == '"' || Tag[pos] == '\'')) {
                const std::size_t close = Tag.find(Tag[pos], pos + 1);
                const std::size_t end = close == std::string_view::npos ? n : close;
                value = Tag.substr(pos + 1, end - pos - 1);
                pos = end + 1;
            } else {
                const std::size_t start = pos;
                while (pos < n && !IsHtmlSpace(Tag[pos])) ++pos;
                value = Tag.substr(start, pos - start);
            }
        }
        if (AsciiEqualsNoCase(name, Name)) return value;
    }
}

std::string MetaRefreshTarget(const THeadTag& Tag) {
    if (Tag.TagType != "META") return {};
    const std::optional<std::string_view> equiv = TagAttribute(Tag.Text, "http-equiv");
    if (!equiv || !AsciiEqualsNoCase(*equiv, "refresh")) return {};
    const std::optional<std::string_view> content = TagAttribute(Tag.Text, "content");
    return content ? RefreshContentUrl(*content) : std::string();
}

std::string RefreshContentUrl(std::string_view Content) {
    const std::size_t n = Content.size();
    std::size_t pos = 0;
    auto skipSpaces = [&] {
        while (pos < n && IsHtmlSpace(Content[pos])) ++pos;
    };
    auto at = [&](char Lower) { return pos < n && AsciiLower(Content[pos]) == Lower; };
    skipSpaces();
    // The time: digits, perhaps with a fraction, which does not matter here.
    const std::size_t timeStart = pos;
    while (pos < n && Content[pos] >= '0' && Content[pos] <= '9') ++pos;
    if (pos == timeStart && !at('.')) return {};
    while (pos < n && ((Content[pos] >= '0' && Content[pos] <= '9') || Content[pos] == '.')) ++pos;
    if (pos < n) {
        if (!at(';') && !at(',') && !IsHtmlSpace(Content[pos])) return {};
        skipSpaces();
        if (at(';') || at(',')) ++pos;
        skipSpaces();
    }
    std::string_view url = Content.substr(pos);
    // "url=" in any case, then quotes; without "url", quotes all the same; a "u" or "ur" that
    // is not "url=" begins the address itself.
    bool quotes = true;
    if (at('u')) {
        ++pos;
        quotes = false;
        if (at('r')) {
            ++pos;
            if (at('l')) {
                ++pos;
                skipSpaces();
                if (at('=')) {
                    ++pos;
                    skipSpaces();
                    quotes = true;
                }
            }
        }
    }
    if (quotes) {
        char quote = 0;
        if (at('"') || at('\'')) quote = Content[pos++];
        url = Content.substr(pos);
        if (quote != 0) url = url.substr(0, url.find(quote));
    }
    return std::string(TrimSpaces(url));
}
