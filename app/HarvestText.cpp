#include "HarvestText.h"

#include <QCollator>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <numeric>

#include "Prell_SystemInfo.h"

std::string DecodeAtSign(std::string_view Text) {
    const std::size_t at = Text.find("%40");
    if (at == std::string_view::npos) return std::string(Text);
    std::string result(Text.substr(0, at));
    result += '@';
    result += Text.substr(at + 3);
    return result;
}

std::string TypePrefix(std::string_view TypeLink) {
    std::string prefix(TypeLink);
    if (prefix.size() < 4) prefix.append(4 - prefix.size(), ' ');
    return prefix + "  ";
}

namespace {

// Blanks and control characters count as nothing at either end of a field.
std::string TrimBlanks(std::string_view Text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    std::size_t begin = 0, end = Text.size();
    while (begin < end && blank(Text[begin])) ++begin;
    while (end > begin && blank(Text[end - 1])) --end;
    return std::string(Text.substr(begin, end - begin));
}

// Identical lines must end up next to each other, so equal-by-collation lines are ordered by
// their bytes; that also makes the order independent of the sort algorithm.
void SortLines(std::vector<std::string>& Lines) {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QString> texts;
    texts.reserve(Lines.size());
    for (const std::string& line : Lines)
        texts.push_back(QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size())));
    std::vector<std::size_t> order(Lines.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        const int c = collator.compare(texts[a], texts[b]);
        return c != 0 ? c < 0 : Lines[a] < Lines[b];
    });
    std::vector<std::string> sorted;
    sorted.reserve(Lines.size());
    for (std::size_t i : order) sorted.push_back(std::move(Lines[i]));
    Lines = std::move(sorted);
}

// Lines of a file as bytes; CR LF and LF both end a line, and a final line end adds no line.
std::vector<std::string> SplitLines(const QByteArray& Data) {
    std::vector<std::string> lines;
    qsizetype begin = 0;
    while (begin < Data.size()) {
        qsizetype end = Data.indexOf('\n', begin);
        const qsizetype next = end < 0 ? Data.size() : end + 1;
        if (end < 0) end = Data.size();
        qsizetype stop = end;
        if (stop > begin && Data[stop - 1] == '\r') --stop;
        lines.emplace_back(Data.constData() + begin, static_cast<std::size_t>(stop - begin));
        begin = next;
    }
    return lines;
}

}  // namespace

std::vector<std::string> RemoveDuplicateLines(std::vector<std::string> Lines) {
    SortLines(Lines);
    std::vector<std::string> output;
    std::string previousKey;
    for (std::string& line : Lines) {
        std::string key = TrimBlanks(ExtractWordN(1, line, ";"));
        // A line without a key (blank, or only delimiters) is never a result, wherever the
        // locale's order puts it; it leaves the previous key as it was.
        if (key.empty()) continue;
        if (key != previousKey && TrimBlanks(ExtractWordN(4, line, ";")) != "FEHLER")
            output.push_back(std::move(line));
        previousKey = std::move(key);
    }
    return output;
}

std::vector<std::string> SortedDistinctLines(std::vector<std::string> Lines) {
    SortLines(Lines);
    std::vector<std::string> output;
    for (std::string& line : Lines) {
        if (TrimBlanks(line).empty() || (!output.empty() && output.back() == line)) continue;
        output.push_back(std::move(line));
    }
    return output;
}

bool RemoveDuplicatesInFile(const QString& FileName, int& OutputLines, QString& Error) {
    QFile in(FileName);
    if (!in.open(QIODevice::ReadOnly)) {
        Error = QStringLiteral("Datei %1 kann nicht gelesen werden: %2")
                    .arg(FileName, in.errorString());
        return false;
    }
    const QByteArray data = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        Error = QStringLiteral("Datei %1 kann nicht gelesen werden: %2")
                    .arg(FileName, in.errorString());
        return false;
    }
    in.close();

    const std::vector<std::string> lines = RemoveDuplicateLines(SplitLines(data));
    QByteArray text;
    for (const std::string& line : lines) {
        text.append(line.data(), static_cast<qsizetype>(line.size()));
        text.append("\r\n");
    }
    QSaveFile out(FileName);
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        Error = QStringLiteral("Datei %1 kann nicht geschrieben werden: %2")
                    .arg(FileName, out.errorString());
        return false;
    }
    OutputLines = static_cast<int>(lines.size());
    return true;
}
