#include "TextRoutines.h"

std::string AddTrailingBackslash(std::string_view Folder) {
    std::string result(Folder);
    if (!result.empty() && result.back() != '/') result += '/';
    return result;
}

bool WordPositionN(int N, std::string_view Text, std::string_view Delimiters,
                   std::size_t& Position) {
    int count = 0;
    std::size_t i = 0;
    while (i < Text.size()) {
        i = Text.find_first_not_of(Delimiters, i);
        if (i == std::string_view::npos) break;
        if (++count == N) {
            Position = i + 1;
            return true;
        }
        i = Text.find_first_of(Delimiters, i);
    }
    return false;
}

std::string ExtractWordN(int N, std::string_view Text, std::string_view Delimiters) {
    std::size_t position = 0;
    if (!WordPositionN(N, Text, Delimiters, position)) return {};
    const std::size_t begin = position - 1;
    const std::size_t end = Text.find_first_of(Delimiters, begin);
    return std::string(Text.substr(begin, end == std::string_view::npos ? end : end - begin));
}
