#include "HarvestText.h"

#include <QCollator>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <cerrno>
#include <numeric>

#include "FileErrorText.h"
#include "TextBytes.h"
#include "TextRoutines.h"
#include "UrlEncoding.h"

std::string DecodeAtSign(std::string_view Text) {
    const std::size_t at = Text.find("%40");
    if (at == std::string_view::npos) return std::string(Text);
    std::string result(Text.substr(0, at));
    result += '@';
    result += Text.substr(at + 3);
    return result;
}

std::string DecodeMailAddress(std::string_view Address) {
    const std::string decoded = PercentDecode(Address);
    // A decoded line end or NUL would split or cut the result line; a broken sequence would
    // show as noise. The escapes say more than either.
    // DEL counts here too: it is invisible in a result.
    const bool control = HasControlByte(decoded) || decoded.find('\x7f') != std::string::npos;
    if (control || !IsUtf8(decoded)) return std::string(Address);
    return decoded;
}

std::string ResultText(std::string_view TypeLink, std::string_view UrlFound) {
    if (TypeLink != "mail") return DecodeAtSign(UrlFound);
    // The engine hands on an address decoded already, its "@" plain; decoding it again would make
    // the page's "a%2541@x.de" (the address a%41@x.de) into aA@x.de. A text without "@" is an
    // address as the page wrote it, as earlier versions kept it in their run journals.
    if (UrlFound.find('@') != std::string_view::npos) return std::string(UrlFound);
    return DecodeAtSign(DecodeMailAddress(UrlFound));
}

std::string KeywordLines(std::string_view Text) {
    std::string lines(Text);
    ForEachLine(Text, [&](std::string_view line) {
        const std::string utf8 = Utf8OfBytes(line);
        const std::string encoded = PercentEncodeNonAscii(utf8);
        if (utf8 != line) lines += '\n' + utf8;
        if (encoded != utf8) lines += '\n' + encoded;
    });
    return lines;
}

QString TextOfBytes(std::string_view Bytes) {
    const auto size = static_cast<qsizetype>(Bytes.size());
    return IsUtf8(Bytes) ? QString::fromUtf8(Bytes.data(), size)
                         : QString::fromLatin1(Bytes.data(), size);
}

std::string Utf8OfBytes(std::string_view Bytes) {
    return IsUtf8(Bytes) ? std::string(Bytes) : Latin1ToUtf8(Bytes);
}

std::vector<std::string> ByteLines(const QByteArray& Data) {
    std::vector<std::string> lines;
    ForEachLine(std::string_view(Data.constData(), static_cast<std::size_t>(Data.size())),
                [&](std::string_view Line) { lines.emplace_back(Line); });
    return lines;
}

bool WriteByteLines(const QString& FileName, const std::vector<std::string>& Lines,
                    QString& Error) {
    QByteArray text;
    for (const std::string& line : Lines) {
        text.append(line.data(), static_cast<qsizetype>(line.size()));
        text.append("\r\n");
    }
    QSaveFile out(FileName);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size() || !out.commit()) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    return true;
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

void SortLines(std::vector<std::string>& Lines) {
    const QCollator collator = LineCollator();
    std::vector<QString> texts;
    texts.reserve(Lines.size());
    for (const std::string& line : Lines) texts.push_back(TextOfBytes(line));
    std::vector<std::size_t> order(Lines.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return CompareLines(collator, texts[a], Lines[a], texts[b], Lines[b]) < 0;
    });
    std::vector<std::string> sorted;
    sorted.reserve(Lines.size());
    for (std::size_t i : order) sorted.push_back(std::move(Lines[i]));
    Lines = std::move(sorted);
}

}  // namespace

QCollator LineCollator() {
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

int CompareLines(const QCollator& Collator, const QString& TextA, std::string_view A,
                 const QString& TextB, std::string_view B) {
    const int c = Collator.compare(TextA, TextB);
    if (c != 0) return c;
    return A.compare(B);
}

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

bool ReadByteLines(const QString& FileName, std::vector<std::string>& Lines, QString& Error) {
    QFile in(FileName);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly)) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    const QByteArray data = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        Error = FileErrorText(FileName, errno);
        return false;
    }
    Lines = ByteLines(data);
    return true;
}

bool RemoveDuplicatesInFile(const QString& FileName, int& OutputLines, QString& Error) {
    QFile in(FileName);
    errno = 0;
    if (!in.open(QIODevice::ReadOnly)) {
        Error = CannotReadText(FileName, FileErrorText(FileName, errno));
        return false;
    }
    const QByteArray data = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        Error = CannotReadText(FileName, FileErrorText(FileName, errno));
        return false;
    }
    in.close();

    std::vector<std::string> lines = ByteLines(data);
    for (std::string& line : lines) line = Utf8OfBytes(line);
    lines = RemoveDuplicateLines(std::move(lines));
    if (!WriteByteLines(FileName, lines, Error)) {
        Error = CannotWriteText(FileName, Error);
        return false;
    }
    OutputLines = static_cast<int>(lines.size());
    return true;
}
