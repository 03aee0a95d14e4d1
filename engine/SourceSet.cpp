#include "SourceSet.h"

#include "AsciiCase.h"
#include "LinkExtractor.h"

namespace {

constexpr std::string_view kName = "SRCSET";

// The position of the "s" of a srcset attribute whose "=" stands at Equals, or npos. The name
// must follow a blank: "data-srcset" is for scripts, which a browser does not read.
std::size_t SourceSetNameBefore(std::string_view Body, std::size_t Equals) {
    std::size_t end = Equals;
    while (end > 0 && IsHtmlSpace(Body[end - 1])) --end;
    if (end < kName.size() + 1) return std::string_view::npos;
    const std::size_t start = end - kName.size();
    if (!IsHtmlSpace(Body[start - 1]) || !AsciiStartsWithNoCase(Body.substr(start), kName))
        return std::string_view::npos;
    return start;
}

// Calls OnUrl with each candidate address of a srcset value, in order, without collecting them:
// a hostile value of millions of candidates costs no list beside the rewritten page.
template <class TOnUrl>
void ForEachSourceSetUrl(std::string_view Value, TOnUrl&& OnUrl) {
    const std::size_t n = Value.size();
    std::size_t pos = 0;
    while (true) {
        while (pos < n && (IsHtmlSpace(Value[pos]) || Value[pos] == ',')) ++pos;
        if (pos >= n) return;
        const std::size_t start = pos;
        while (pos < n && !IsHtmlSpace(Value[pos])) ++pos;
        std::string_view url = Value.substr(start, pos - start);
        if (url.back() == ',') {
            // "a.jpg," ends its candidate: it has no descriptors.
            while (!url.empty() && url.back() == ',') url.remove_suffix(1);
        } else {
            bool inParens = false;
            for (; pos < n; ++pos) {
                const char c = Value[pos];
                if (inParens) {
                    inParens = c != ')';
                } else if (c == '(') {
                    inParens = true;
                } else if (c == ',') {
                    ++pos;
                    break;
                }
            }
        }
        if (!url.empty()) OnUrl(url);
    }
}

}  // namespace

std::vector<std::string_view> SourceSetUrls(std::string_view Value) {
    std::vector<std::string_view> urls;
    ForEachSourceSetUrl(Value, [&urls](std::string_view Url) { urls.push_back(Url); });
    return urls;
}

std::string_view SplitSourceSets(std::string_view Body, std::string& Storage) {
    const std::size_t n = Body.size();
    std::size_t copied = 0;  // Body before this is in Storage
    bool rewritten = false;
    for (std::size_t equals = Body.find('='); equals != std::string_view::npos;
         equals = Body.find('=', equals + 1)) {
        const std::size_t name = SourceSetNameBefore(Body, equals);
        if (name == std::string_view::npos) continue;
        std::size_t start = equals + 1;
        while (start < n && IsHtmlSpace(Body[start])) ++start;
        std::string_view quote;
        std::size_t end = start;    // the end of the value
        std::size_t after = start;  // the end of the attribute
        if (start < n && (Body[start] == '"' || Body[start] == '\'')) {
            quote = Body.substr(start, 1);
            ++start;
            end = Body.find(quote[0], start);
            if (end == std::string_view::npos) break;
            after = end + 1;
        } else {
            while (end < n && !IsHtmlSpace(Body[end]) && Body[end] != '>') ++end;
            after = end;
        }
        if (!rewritten) {
            Storage.clear();
            Storage.reserve(n + n / 16);
            rewritten = true;
        }
        Storage.append(Body.substr(copied, name - copied));
        bool any = false;
        ForEachSourceSetUrl(Body.substr(start, end - start), [&](std::string_view Url) {
            if (any) Storage += ' ';
            Storage.append("srcset=").append(quote).append(Url).append(quote);
            any = true;
        });
        // An attribute without candidates leaves a blank, so that nothing joins across it.
        if (!any) Storage += ' ';
        copied = after;
        equals = after - 1;
    }
    if (!rewritten) return Body;
    Storage.append(Body.substr(copied));
    return Storage;
}
