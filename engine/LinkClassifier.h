#pragma once
// The pure steps of the decision taken for every candidate link of a page: resolving the value
// against the page, typing the result, and the keyword test. The crawler state object applies
// the filters, visited lists, events and queueing around them.

#include <string>
#include <string_view>
#include <vector>

#include "TCrackUrl.h"
#include "TQuickSortStringList.h"

struct TResolvedLink {
    std::string Resolved;  // absolute URL or bare e-mail address; empty when the link is dropped
    bool Mail = false;
    // A part of a mailto value that is no address: Resolved is empty, Part holds its text.
    bool Invalid = false;
    std::string Part;
};

// True when Value is taken for a mailto link: it holds "mailto:" in any case, anywhere.
bool IsMailtoValue(std::string_view Value);

// Every part of a mailto value, read after the "mailto:" found in it (MailtoParts): each address,
// case kept, and each part that is no address (Invalid). Never empty.
std::vector<TResolvedLink> ResolveMailto(std::string_view Value);

// A mailto value gives its first part (ResolveMailto); a "javascript:" value in any case gives
// nothing; "HTTP:" and "HTTPS:" values are taken unchanged; any other value is
// resolved against the page's directory (scheme, host, port unless it is the scheme's default,
// UrlPath of PageParts). A failed resolution, or a result of 1024 characters or more, gives
// nothing. A fragment is cut off unless "#" is the first character. A web URL comes out in the
// percent-encoded form a browser sends (NormalizeUrl).
TResolvedLink ResolveLink(const TCrackUrl& PageParts, const std::string& Value);

// Standard relative resolution of Value against the absolute URL Base; empty when either cannot
// be used or the result has 1024 characters or more. Plain values against plain bases are
// joined directly; CombineUrlGeneral hands every case to libcurl.
std::string CombineUrl(const std::string& Base, const std::string& Value);
std::string CombineUrlGeneral(const std::string& Base, const std::string& Value);

struct TLinkClass {
    std::string Scheme;    // lower-case text before "://" or a scheme's ":", else "http"
    std::string TypeLink;  // "htm" for pages, a catalogue extension for files, "0" for no type
};

// Types a resolved URL by its last path segment's extension: "htm" for a query, a directory or an
// extension the file type catalogue lacks; the catalogue extension (jpeg and mpeg given as jpg and
// mpg) for a file; "0" for a non-web scheme, a URL without any dot, or one ending in ".".
TLinkClass ClassifyLink(std::string_view Resolved);

// True when an entry of List (in stored order) occurs in Text lower-cased. Empty entries never
// match. Entries are compared as stored; the owners keep them lower-case.
bool ContainsKeyword(const TQuickSortStringList& List, std::string_view Text);
// The entry that makes ContainsKeyword true, or an empty text.
std::string_view FirstKeywordIn(const TQuickSortStringList& List, std::string_view Text);
