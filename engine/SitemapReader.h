#pragma once
// Reading one sitemap file (sitemaps.org protocol 0.9): a <urlset> names pages, a <sitemapindex>
// names further sitemap files. Plain functions without state or I/O; fetching the files,
// checking the pages against the crawl's scope and queueing them are the crawler's.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The protocol's limits for one file: entries, and bytes once uncompressed.
inline constexpr std::size_t kSitemapMaxUrls = 50000;
inline constexpr std::size_t kSitemapMaxBytes = std::size_t{50} * 1024 * 1024;
// A location longer than this is no URL the protocol allows.
inline constexpr std::size_t kSitemapMaxUrlLength = 2048;

enum class TSitemapKind {
    None,    // not a sitemap: another root element or namespace, or no XML at all
    UrlSet,  // Locations are pages
    Index,   // Locations are sitemap files
};

struct TSitemap {
    TSitemapKind Kind = TSitemapKind::None;
    // The http and https locations in the order of the file, at most kSitemapMaxUrls.
    std::vector<std::string> Locations;
    // What was wrong or left out, one line each, for the crawler's log: bad XML, bad gzip data,
    // the limits reached, locations dropped. Empty for a sound file.
    std::vector<std::string> Problems;
};

// Whether Body starts with the gzip magic bytes.
bool IsGzip(std::string_view Body);

// Inflates a gzip file (the magic checked by the caller) into at most MaxBytes, so that a small
// file that inflates without end cannot eat memory. Out holds what was inflated before the limit
// or an error; Problem says which of them ended it, and is empty when the file ended soundly.
void InflateGzip(std::string_view Body, std::size_t MaxBytes, std::string& Out,
                 std::string& Problem);

// Reads a sitemap's bytes as they came (a gzip file is inflated first). Only elements of the
// sitemap namespace count, so the <loc> of an image or video extension is no page. Bad XML ends
// the reading; the locations read before it are kept, since each is checked like any link and
// a file cut short by its size limit ends the same way.
TSitemap ReadSitemap(std::string_view Body);
