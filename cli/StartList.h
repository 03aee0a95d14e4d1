#pragma once
// The start URLs of a crawl, handed out one at a time: those of the command line, then the lines
// of the --list file, read as they are needed so that a list of any length costs no memory
// beyond the line being read. Each distinct start URL is handed out once; an empty line stands
// for the URL before it (and so is handed out no more).

#include <QFile>

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "StartShard.h"

class TStartList {
public:
    // With Shard, only the start URLs that fall to it are handed out (and those the crawler
    // would refuse, so that every shard reports them).
    TStartList(std::vector<std::string> Urls, std::string ListFile,
               std::optional<TShard> Shard = std::nullopt);

    // Opens the list file and counts its entries. False with Error set when it cannot be read.
    bool Open();
    const std::string& Error() const { return m_error; }
    // Entries of the command line and the list, duplicates and empty lines included.
    std::size_t Entries() const { return m_entries; }
    // Entries passed over so far because their start URL came before.
    std::size_t Repeats() const { return m_repeats; }
    // Start URLs handed out so far.
    std::size_t Handed() const { return m_handed; }

    // The next start URL not handed out before; false at the end of the list (or when the file
    // fails while read: Error then says why).
    bool Next(std::string& Url);

private:
    bool NextEntry(std::string& Entry);
    bool ReadLine(std::string& Line);

    std::vector<std::string> m_urls;
    std::size_t m_nextUrl = 0;
    std::string m_listFile;
    std::optional<TShard> m_shard;
    QFile m_file;
    bool m_firstLine = true;
    std::string m_previous;
    // 64-bit hashes of the start URLs handed out: a compact set, and a collision among a few
    // million distinct URLs is far less likely than a typing error in the list.
    std::unordered_set<std::uint64_t> m_seen;
    std::size_t m_entries = 0;
    std::size_t m_repeats = 0;
    std::size_t m_handed = 0;
    std::string m_error;
};
