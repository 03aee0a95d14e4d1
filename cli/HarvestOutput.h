#pragma once
// The harvest of tarnwick-crawl in its three output formats, and writing it out.

#include <QByteArray>
#include <QString>

#include <string>
#include <vector>

#include "CrawlOptions.h"

// One reported link: its type, the result text (ResultText: address decoded, or file URL) and
// the page it was found on, all as bytes.
struct THarvestItem {
    std::string Type, Url, From;
};

// Text as a JSON string. The engine's texts are bytes: JSON carries the text they stand for, as
// UTF-8 when they are UTF-8 and else as Latin-1, so the output is always valid UTF-8.
QByteArray JsonString(const std::string& Text);

QByteArray FormatHarvest(const std::vector<THarvestItem>& Items, TOutputFormat Format);

// A URL the crawler did not fetch, and why ("robots", "robots-unreachable").
struct TSkippedUrl {
    std::string Url, Reason;
};

// One "URL<TAB>reason" line per skipped URL, in the order met.
QByteArray FormatSkipped(const std::vector<TSkippedUrl>& Skipped);

// Writes Data to FileName through a save file (an old file stays whole on failure), or to
// standard output when FileName is empty. False with a readable Error on failure.
bool WriteHarvest(const std::string& FileName, const QByteArray& Data, QString& Error);
