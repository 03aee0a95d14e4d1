#include "ResultMerge.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "HarvestOutput.h"
#include "HarvestText.h"
#include "TNeverCollectList.h"

namespace {

const char* FormatName(TOutputFormat Format) {
    switch (Format) {
        case TOutputFormat::Text:
            return "text";
        case TOutputFormat::Tsv:
            return "TSV";
        case TOutputFormat::Jsonl:
            break;
    }
    return "JSONL";
}

std::optional<QJsonObject> JsonObject(const std::string& Line) {
    if (Line.empty() || Line.front() != '{') return std::nullopt;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(Line.data(), static_cast<qsizetype>(Line.size())));
    if (!document.isObject()) return std::nullopt;
    return document.object();
}

bool Blank(const std::string& Line) {
    return std::all_of(Line.begin(), Line.end(),
                       [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

}  // namespace

TOutputFormat FormatOfLine(const std::string& Line) {
    if (JsonObject(Line)) return TOutputFormat::Jsonl;
    return Line.find('\t') != std::string::npos ? TOutputFormat::Tsv : TOutputFormat::Text;
}

std::optional<TRecordKey> TsvRecordKey(const std::string& Line) {
    std::vector<std::string> fields;
    for (std::size_t from = 0;;) {
        const std::size_t tab = Line.find('\t', from);
        fields.push_back(Line.substr(from, tab - from));
        if (tab == std::string::npos) break;
        from = tab + 1;
    }
    if (fields.size() < 3 || fields.size() > 4 || fields[0].empty() || fields[1].empty())
        return std::nullopt;
    return TRecordKey{fields[0], fields[1], fields.size() == 4};
}

std::optional<TRecordKey> JsonRecordKey(const std::string& Line) {
    const std::optional<QJsonObject> object = JsonObject(Line);
    if (!object) return std::nullopt;
    const QJsonValue type = object->value(QLatin1String("type"));
    const QJsonValue url = object->value(QLatin1String("url"));
    if (!type.isString() || !url.isString() || type.toString().isEmpty() ||
        url.toString().isEmpty())
        return std::nullopt;
    return TRecordKey{type.toString().toUtf8().toStdString(),
                      url.toString().toUtf8().toStdString()};
}

bool TResultMerge::Fail(const std::string& Text) {
    m_error = Text;
    return false;
}

bool TResultMerge::Add(const std::string& Name, const QByteArray& Data) {
    std::optional<TOutputFormat> format;
    // Kept apart until the whole file has been read, so that a refused file adds nothing.
    std::vector<std::string> texts;
    std::vector<std::pair<TRecordKey, std::string>> records;
    int number = 0;
    for (std::string& line : ByteLines(Data)) {
        ++number;
        if (Blank(line)) continue;
        if (!format) {
            format = FormatOfLine(line);
            if (m_format && *m_format != *format)
                return Fail(Name + " is " + FormatName(*format) + ", " + m_firstName + " is " +
                            FormatName(*m_format) + ": one merge takes files of one format");
        }
        if (*format == TOutputFormat::Text) {
            texts.push_back(std::move(line));
            continue;
        }
        const bool tsv = *format == TOutputFormat::Tsv;
        std::optional<TRecordKey> key = tsv ? TsvRecordKey(line) : JsonRecordKey(line);
        if (!key)
            return Fail(Name + ", line " + std::to_string(number) +
                        (tsv ? ": not a TSV record (TYPE<TAB>URL<TAB>PAGE, and SITE)"
                             : ": not a JSONL record with \"type\" and \"url\""));
        records.emplace_back(std::move(*key), std::move(line));
    }
    if (!format) return true;
    if (!m_format) {
        m_format = format;
        m_firstName = Name;
    }
    std::move(texts.begin(), texts.end(), std::back_inserter(m_texts));
    for (auto& [key, line] : records) {
        m_sites = m_sites || key.HasSite;
        m_records.try_emplace({std::move(key.Type), std::move(key.Url)}, std::move(line),
                              key.HasSite);
    }
    return true;
}

QByteArray TResultMerge::Finish(TNeverCollectList& Never) {
    if (!m_format || *m_format == TOutputFormat::Text) {
        std::erase_if(m_texts,
                      [&Never](const std::string& Text) { return Never.Withholds("mail", Text); });
        return FormatText(std::move(m_texts));
    }
    QByteArray out;
    for (const auto& [key, record] : m_records) {
        if (Never.Withholds(key.first, key.second)) continue;
        out.append(record.first.data(), static_cast<qsizetype>(record.first.size()));
        // A TSV file has one shape: records of older versions get an empty site.
        if (m_sites && !record.second) out.append('\t');
        out.append('\n');
    }
    return out;
}
