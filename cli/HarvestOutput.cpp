#include "HarvestOutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>

#include "HarvestText.h"

namespace {

// Records are written in blocks of about this size between the timed flushes.
constexpr std::size_t kFlushBytes = 64 * 1024;

// Where the text format's sorted runs go when the results outgrow memory: beside the output
// file, where its own space is, else the system's temporary folder.
std::string SpillFolder(const std::string& FileName) {
    if (!FileName.empty() && FileName != kStandardOutputName) {
        const QFileInfo folder(QFileInfo(QFile::decodeName(FileName.c_str())).absolutePath());
        if (folder.isDir() && folder.isWritable())
            return QFile::encodeName(folder.absoluteFilePath()).toStdString();
    }
    return QFile::encodeName(QDir::tempPath()).toStdString();
}

// A tab or line end inside a field would split the record; they become blanks.
void AppendTsvField(std::string& Out, std::string_view Text, char End) {
    const std::size_t start = Out.size();
    Out.append(Text).push_back(End);
    char* field = Out.data() + start;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(field[i]);
        if (c <= '\r' && (c == '\t' || c == '\n' || c == '\r')) field[i] = ' ';
    }
}

}  // namespace
// The engine's texts are bytes: JSON carries the text they stand for, as UTF-8 when they are
// UTF-8 and else as Latin-1, so the output is always valid UTF-8.
QByteArray JsonString(std::string_view Text) {
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

void AppendRecord(std::string& Out, const THarvestItem& Item, TOutputFormat Format) {
    if (Format == TOutputFormat::Tsv) {
        AppendTsvField(Out, Item.Type, '\t');
        AppendTsvField(Out, Item.Url, '\t');
        AppendTsvField(Out, Item.From, '\t');
        AppendTsvField(Out, Item.Site, '\n');
        return;
    }
    const QByteArray record =
        "{\"type\":" + JsonString(Item.Type) + ",\"url\":" + JsonString(Item.Url) +
        ",\"from\":" + JsonString(Item.From) + ",\"site\":" + JsonString(Item.Site) + "}\n";
    Out.append(record.constData(), static_cast<std::size_t>(record.size()));
}

QByteArray FormatText(std::vector<std::string> Urls) {
    QByteArray out;
    for (const std::string& line : SortedDistinctLines(std::move(Urls)))
        out.append(line.data(), static_cast<qsizetype>(line.size())).append('\n');
    return out;
}

THarvestSink::THarvestSink(TOutputFormat Format) : m_format(Format) {
    if (m_format == TOutputFormat::Text)
        m_sorter = std::make_unique<TDistinctLineSorter>(SpillFolder(""));
}

bool THarvestSink::Open(const std::string& FileName) {
    if (!m_file.Open(FileName)) return false;
    if (m_format == TOutputFormat::Text)
        m_sorter = std::make_unique<TDistinctLineSorter>(SpillFolder(FileName));
    return true;
}

void THarvestSink::Add(const THarvestItem& Item) {
    ++m_count;
    if (m_format == TOutputFormat::Text) {
        if (!m_sorter->Add(Item.Url) && !m_spillWarned) {
            m_spillWarned = true;
            std::fprintf(stderr, "tarnwick-crawl: %s; the results are kept in memory\n",
                         m_sorter->Error().c_str());
        }
        return;
    }
    AppendRecord(m_buffer, Item, m_format);
    if (m_buffer.size() >= kFlushBytes) Flush();
}

QByteArray FormatSkipped(const std::vector<TSkippedUrl>& Skipped) {
    QByteArray out;
    for (const TSkippedUrl& skip : Skipped) {
        out.append(skip.Url.data(), static_cast<qsizetype>(skip.Url.size()));
        out.append('\t');
        out.append(skip.Reason.data(), static_cast<qsizetype>(skip.Reason.size()));
        out.append('\t');
        out.append(skip.Site.data(), static_cast<qsizetype>(skip.Site.size()));
        out.append('\n');
    }
    return out;
}

bool WriteSkipped(const std::string& FileName, const std::vector<TSkippedUrl>& Skipped,
                  std::string& Error) {
    const QByteArray text = FormatSkipped(Skipped);
    return WriteOutputFile(FileName, text.constData(), static_cast<std::size_t>(text.size()),
                           Error);
}

bool THarvestSink::Flush() {
    if (m_buffer.empty()) return m_file.Error().empty();
    const bool ok = m_file.Write(m_buffer.data(), m_buffer.size());
    m_buffer.clear();  // keeps its room for the next records
    return ok;
}

bool THarvestSink::Finish() {
    if (m_format == TOutputFormat::Text && m_sorter) {
        const bool sorted = m_sorter->Finish([&](std::string_view Line) {
            m_buffer.append(Line).push_back('\n');
            return m_buffer.size() < kFlushBytes || Flush();
        });
        if (!sorted) {
            if (m_file.Error().empty()) m_sortError = m_sorter->Error();
            return false;
        }
    }
    return Flush() && m_file.Commit();
}
