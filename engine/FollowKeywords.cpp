#include "FollowKeywords.h"

#include <QString>

#include <algorithm>

#include "AsciiCase.h"
#include "TextBytes.h"
#include "UrlEncoding.h"

namespace {

bool HoldsOne(std::string_view Text, const TQuickSortStringList& Keywords) {
    if (Text.empty()) return false;
    const std::string folded = FoldKeywordCase(Text);
    for (int i = 0; i < Keywords.Count(); ++i) {
        const std::string_view keyword = Keywords.Strings(i);
        if (!keyword.empty() && folded.find(keyword) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string FoldKeywordCase(std::string_view Text) {
    // Most paths are ASCII, whose folding is plain lower case: no detour through UTF-16.
    if (!HasNonAscii(Text)) return AsciiLowerCase(Text);
    const std::string utf8 = IsUtf8(Text) ? std::string(Text) : Latin1ToUtf8(Text);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()))
        .toCaseFolded()
        .toStdString();
}

void LoadFollowKeywords(TQuickSortStringList& List, const std::string& Text) {
    std::string folded;
    std::size_t begin = 0;
    while (begin < Text.size()) {
        std::size_t end = Text.find('\n', begin);
        if (end == std::string::npos) end = Text.size();
        std::string_view line(Text.data() + begin, end - begin);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        // An empty keyword would be found in every link.
        if (!line.empty()) folded += FoldKeywordCase(line) + "\n";
        begin = end + 1;
    }
    List.SetText(folded);
    List.Sort();
}

bool PathOrQueryHoldsKeyword(const TCrackUrl& Link, const TQuickSortStringList& Keywords) {
    // Apart, so that no keyword is made of the end of the path and the start of the query.
    return HoldsOne(Link.UrlPathWithFile, Keywords) || HoldsOne(Link.ExtraInfos, Keywords);
}
