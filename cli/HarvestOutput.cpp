#include "HarvestOutput.h"

#include <QSaveFile>

#include <cstdio>

#include "HarvestText.h"

namespace {

QByteArray Bytes(const std::string& Text) {
    return QByteArray(Text.data(), static_cast<qsizetype>(Text.size()));
}

// A tab or line end inside a field would split the record; they become blanks.
void AppendTsvField(QByteArray& Out, const std::string& Text, char End) {
    std::size_t from = 0;
    for (std::size_t at = Text.find_first_of("\t\n\r"); at != std::string::npos;
         at = Text.find_first_of("\t\n\r", from)) {
        Out.append(Text.data() + from, static_cast<qsizetype>(at - from)).append(' ');
        from = at + 1;
    }
    Out.append(Text.data() + from, static_cast<qsizetype>(Text.size() - from)).append(End);
}

}  // namespace

QByteArray JsonString(const std::string& Text) {
    // Escaped as one text and encoded at the end, so a character beyond U+FFFF (two UTF-16
    // units) stays one character.
    QString escaped;
    for (const QChar ch : TextOfBytes(Text)) {
        const char16_t c = ch.unicode();
        if (c == '"')
            escaped += QStringLiteral("\\\"");
        else if (c == '\\')
            escaped += QStringLiteral("\\\\");
        else if (c < 0x20 || c == 0x7f)
            escaped += QStringLiteral("\\u%1").arg(static_cast<int>(c), 4, 16, QLatin1Char('0'));
        else
            escaped += ch;
    }
    return '"' + escaped.toUtf8() + '"';
}

QByteArray FormatHarvest(const std::vector<THarvestItem>& Items, TOutputFormat Format) {
    QByteArray out;
    if (Format == TOutputFormat::Text) {
        std::vector<std::string> lines;
        lines.reserve(Items.size());
        for (const THarvestItem& item : Items) lines.push_back(item.Url);
        for (const std::string& line : RemoveDuplicateLines(std::move(lines)))
            out += Bytes(line) + '\n';
        return out;
    }
    if (Format == TOutputFormat::Tsv) {
        std::size_t size = 0;
        for (const THarvestItem& item : Items)
            size += item.Type.size() + item.Url.size() + item.From.size() + 3;
        out.reserve(static_cast<qsizetype>(size));
    }
    for (const THarvestItem& item : Items) {
        if (Format == TOutputFormat::Tsv) {
            AppendTsvField(out, item.Type, '\t');
            AppendTsvField(out, item.Url, '\t');
            AppendTsvField(out, item.From, '\n');
        } else {
            out += "{\"type\":" + JsonString(item.Type) + ",\"url\":" + JsonString(item.Url) +
                   ",\"from\":" + JsonString(item.From) + "}\n";
        }
    }
    return out;
}

bool WriteHarvest(const std::string& FileName, const QByteArray& Data, QString& Error) {
    if (FileName.empty()) {
        const bool written = std::fwrite(Data.constData(), 1, static_cast<std::size_t>(Data.size()),
                                         stdout) == static_cast<std::size_t>(Data.size());
        if (std::fflush(stdout) != 0 || !written) {
            Error = QStringLiteral("cannot write the harvest to standard output");
            return false;
        }
        return true;
    }
    const QString name =
        QString::fromLocal8Bit(FileName.data(), static_cast<qsizetype>(FileName.size()));
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) || file.write(Data) != Data.size() || !file.commit()) {
        Error = QStringLiteral("cannot write %1: %2").arg(name, file.errorString());
        return false;
    }
    return true;
}

QByteArray FormatSkipped(const std::vector<TSkippedUrl>& Skipped) {
    QByteArray out;
    for (const TSkippedUrl& skip : Skipped) {
        out.append(skip.Url.data(), static_cast<qsizetype>(skip.Url.size()));
        out.append('\t');
        out.append(skip.Reason.data(), static_cast<qsizetype>(skip.Reason.size()));
        out.append('\n');
    }
    return out;
}
