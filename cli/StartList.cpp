#include "StartList.h"

#include <utility>

namespace {

// A list line as a start URL: a blank after a URL is never part of it, and a line ends at LF,
// CR LF or a lone CR, as in every text file the window reads.
void TrimLineEnd(std::string& Line) {
    while (!Line.empty() && (Line.back() == ' ' || Line.back() == '\t' || Line.back() == '\n' ||
                             Line.back() == '\r'))
        Line.pop_back();
}

}  // namespace

TStartList::TStartList(std::vector<std::string> Urls, std::string ListFile,
                       std::optional<TShard> Shard)
    : m_urls(std::move(Urls)), m_listFile(std::move(ListFile)), m_shard(Shard) {}

bool TStartList::Open() {
    m_entries = m_urls.size();
    if (m_listFile.empty()) return true;
    m_file.setFileName(QFile::decodeName(m_listFile.c_str()));
    if (!m_file.open(QIODevice::ReadOnly)) {
        m_error = "cannot read the file of --list '" + m_listFile +
                  "': " + m_file.errorString().toStdString();
        return false;
    }
    // One pass to count, for the progress line; the lines are not kept.
    std::string line;
    while (ReadLine(line)) ++m_entries;
    m_file.seek(0);
    m_firstLine = true;
    return m_error.empty();
}

bool TStartList::ReadLine(std::string& Line) {
    Line.clear();
    char c = 0;
    bool any = false;
    while (m_file.getChar(&c)) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            // CR LF is one line end; a lone CR ends the line alone.
            char next = 0;
            if (m_file.peek(&next, 1) == 1 && next == '\n') m_file.getChar(&next);
            break;
        }
        Line.push_back(c);
    }
    if (m_file.error() != QFileDevice::NoError) {
        m_error = "cannot read the file of --list '" + m_listFile +
                  "': " + m_file.errorString().toStdString();
        return false;
    }
    // Editors save a byte-order mark before the first line.
    if (std::exchange(m_firstLine, false) && Line.starts_with("\xEF\xBB\xBF")) Line.erase(0, 3);
    TrimLineEnd(Line);
    return any;
}

bool TStartList::NextEntry(std::string& Entry) {
    if (m_nextUrl < m_urls.size()) {
        Entry = std::move(m_urls[m_nextUrl++]);
        return true;
    }
    return m_file.isOpen() && ReadLine(Entry);
}

bool TStartList::Next(std::string& Url) {
    std::string entry;
    while (NextEntry(entry)) {
        if (entry.empty() && !m_previous.empty()) entry = m_previous;
        m_previous = entry;
        if (!m_seen.insert(Fnv1a64(entry)).second) {
            ++m_repeats;
            continue;
        }
        if (m_shard) {
            const std::string key = ShardKey(entry);
            if (!key.empty() && ShardOfKey(key, m_shard->Count) != m_shard->Index) continue;
        }
        ++m_handed;
        Url = std::move(entry);
        return true;
    }
    return false;
}
