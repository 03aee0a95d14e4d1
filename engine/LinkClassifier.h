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
// resolved by RFC 3986 against the page's URL (the Url of PageParts, its origin without user,
// password or default port), so "team.pdf" on "/nx/about" is "/nx/team.pdf" and "?page=2" on
// "/dir/list.asp?page=1" is "/dir/list.asp?page=2". A failed resolution, or a result of 1024
// characters or more, gives nothing. A fragment is cut off unless "#" is the first character. A web
// URL comes out in the percent-encoded form a browser sends (NormalizeUrl), the query in the
// page's encoding PageEncoding (a WHATWG name; empty for UTF-8).
TResolvedLink ResolveLink(const TCrackUrl& PageParts, const std::string& Value,
                          std::string_view PageEncoding = {});
// The same into Link, whose strings keep their room from one link to the next.
void ResolveLinkInto(const TCrackUrl& PageParts, const std::string& Value,
                     std::string_view PageEncoding, TResolvedLink& Link);

// Standard relative resolution of Value against the absolute URL Base; empty when either cannot
// be used or the result has 1024 characters or more. Plain values against plain bases are
// joined directly; CombineUrlGeneral hands every case to libcurl.
std::string CombineUrl(const std::string& Base, const std::string& Value);
// The same into Result, whose room is used again.
void CombineUrlInto(const std::string& Base, const std::string& Value, std::string& Result);
std::string CombineUrlGeneral(const std::string& Base, const std::string& Value);

struct TLinkClass {
    std::string Scheme;    // lower-case text before "://" or a scheme's ":", else "http"
    std::string TypeLink;  // "htm" for pages, a catalogue extension for files, "0" for no type
};

// Types a resolved URL by the extension of its last path segment, its query, fragment and ";"
// parameters left out: the catalogue extension (jpeg and mpeg given as jpg and mpg) for a file,
// so "x.pdf?a=1" and "x.pdf;jsessionid=1" are "pdf"; otherwise "htm" for a URL with a query or
// "&", a directory or an extension the file type catalogue lacks; "0" for a non-web scheme
// without query, a URL without any dot, or one ending in ".".
TLinkClass ClassifyLink(std::string_view Resolved);

// True when an entry of List (in stored order) occurs in Text lower-cased. Empty entries never
// match. Entries are compared as stored; the owners keep them lower-case.
bool ContainsKeyword(const TQuickSortStringList& List, std::string_view Text);
// The entry that makes ContainsKeyword true, or an empty text.
std::string_view FirstKeywordIn(const TQuickSortStringList& List, std::string_view Text);
