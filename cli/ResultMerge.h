#pragma once
// Joins harvests of tarnwick-crawl (of several shards, machines or runs) into one (--merge). All
// files of one merge are of one format, told by their first record: text files become one
// harvest of the text format, sorted by its rules without duplicates; TSV and JSONL files one
// record per type and URL, the first file's record kept whole (its page, its site, any field a
// newer version added), sorted by type, then URL byte by byte. Not thread-safe.

#include <QByteArray>

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CrawlOptions.h"

class TNeverCollectList;

// What a line of a result file is: a JSON object is a JSONL record, a line with a tab a TSV
// record, anything else a result of the text format.
TOutputFormat FormatOfLine(const std::string& Line);

// The type and URL of a TSV record (3 or 4 fields: TYPE, URL, PAGE and the SITE of newer
// versions) or of a JSONL record ("type" and "url" strings); nothing when the line is none.
struct TRecordKey {
    std::string Type, Url;
    bool HasSite = false;  // a TSV record of four fields
};
std::optional<TRecordKey> TsvRecordKey(const std::string& Line);
std::optional<TRecordKey> JsonRecordKey(const std::string& Line);

class TResultMerge {
public:
    // Adds the lines of one file, Name as the user gave it. False with Error set ("FILE, line N:
    // ...") when the file is of another format than the files before, or holds a line that is no
    // record of its own format; what it held is then left out.
    bool Add(const std::string& Name, const QByteArray& Data);
    // The merged file, without the mail addresses that Never withholds.
    QByteArray Finish(TNeverCollectList& Never);
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const std::string& Text);

    std::optional<TOutputFormat> m_format;  // of the first file with a line
    std::string m_firstName;                // that file
    std::vector<std::string> m_texts;
    // The first record of each type and URL, whether it has a site field.
    std::map<std::pair<std::string, std::string>, std::pair<std::string, bool>> m_records;
    bool m_sites = false;  // some TSV record has the site field: every line gets one
    std::string m_error;
};
