#pragma once
// The --explain file of tarnwick-crawl: what was decided about each distinct link of a run.

#include <QByteArray>

#include <string>

class TLinkDecisionLog;

// One JSON line per record of Log, in the order met:
// {"url","from","depth","type","reported","followed","reason","site"}. The reason is the most
// telling "no" as a stable lower-case word, "" when nothing said no; Site is the start URL of the
// crawl that met the link.
QByteArray FormatExplained(const TLinkDecisionLog& Log, const std::string& Site);

// Writes Lines to FileName as an output file (see TOutputFile); false with Error set on failure.
bool WriteExplained(const std::string& FileName, const QByteArray& Lines, std::string& Error);
