#include "LinkClassifier.h"

#include <algorithm>

#include "AsciiCase.h"
#include "CurlSupport.h"
#include "FileTypeCatalogue.h"
#include "MailtoAddresses.h"
#include "PageCharset.h"
#include "PlainUrl.h"
#include "TextBytes.h"
#include "UrlEncoding.h"

namespace {

// The combined URL had to fit a buffer of 1024 bytes with its terminating NUL.
constexpr std::size_t kMaxResolvedLength = 1023;

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// The text before the first Ch when Ch stands at the second character or later; else Text.
std::string_view CutAtFrom2nd(std::string_view Text, char Ch) {
    const std::size_t at = Text.find(Ch);
    return at != std::string_view::npos && at >= 1 ? Text.substr(0, at) : Text;
}

constexpr std::string_view kMailto = "MAILTO:";

// Every occurrence ends at its colon, so the first is found going from colon to colon: most
// values hold one colon or none.
std::size_t FindMailto(std::string_view Value) {
    constexpr std::size_t name = kMailto.size() - 1;
    for (std::size_t colon = Value.find(':', name); colon != std::string_view::npos;
         colon = Value.find(':', colon + 1)) {
        std::size_t k = 0;
        while (k < name && AsciiUpper(Value[colon - name + k]) == kMailto[k]) ++k;
        if (k == name) return colon - name;
    }
    return std::string_view::npos;
}

// True when Value begins with a scheme and ":" ("news:", "tel:"): it is absolute, whether or not
// "//" follows.
bool HasScheme(std::string_view Value) {
    const auto isLetter = [](char c) { return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z'; };
    const std::size_t colon = Value.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isLetter(Value[0])) return false;
    const std::string_view scheme = Value.substr(0, colon);
    return std::all_of(scheme.begin(), scheme.end(), [&](char c) {
        return isLetter(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    });
}

// A script pseudo-link: its value begins with "javascript:" once blanks and control bytes are left
// out, as a browser skips them around and inside a scheme. A web address that merely holds the
// word, such as a guide's ".../Web/JavaScript/Guide" or "javascript-intro.pdf", is a link.
bool IsScriptLink(std::string_view Value) {
    constexpr std::string_view kScheme = "JAVASCRIPT:";
    std::size_t matched = 0;
    for (const char c : Value) {
        if (static_cast<unsigned char>(c) <= ' ' || c == '\x7f') continue;
        if (AsciiUpper(c) != kScheme[matched]) return false;
        if (++matched == kScheme.size()) return true;
    }
    return false;
}

// The page's own URL, as a browser resolves against it: an extension-less page such as
// "/nx/about" is no folder. Its origin is written without a default port (else every page of
// an https site would be met twice) and without user name or password; the fragment plays no
// part in resolution.
std::string BaseOf(const TCrackUrl& Page) {
    const std::string_view url = Page.Url;
    const std::size_t separator = url.find("://");
    if (separator == std::string_view::npos) return OriginOf(Page) + Page.UrlPath;
    const std::size_t pathFrom = std::min(FindAnyOf(url, "/?#", separator + 3), url.size());
    const std::size_t hash = std::min(url.find('#', pathFrom), url.size());
    std::string base = OriginOf(Page);
    base.append(url.substr(pathFrom, hash - pathFrom));
    return base;
}

}  // namespace

std::string CombineUrlGeneral(const std::string& Base, const std::string& Value) {
    // libcurl sees C strings: a NUL would silently cut the text.
    if (HasControlByte(Base) || HasControlByte(Value)) return {};
    const unsigned flags = CURLU_NON_SUPPORT_SCHEME | CURLU_ALLOW_SPACE;
    // A page's links share one base: it is parsed once and copied for each link.
    thread_local std::string parsedBase;
    thread_local TCurlUrl parsed;
    if (!parsed || parsedBase != Base) {
        parsed.reset(curl_url());
        parsedBase.clear();
        // The base's fragment plays no part (RFC 3986, 5.2.2), but libcurl would resolve
        // against a "/" inside it ("x#a/" and "b" gave "x#a/b").
        if (!parsed ||
            curl_url_set(parsed.get(), CURLUPART_URL, Base.c_str(), flags) != CURLUE_OK ||
            curl_url_set(parsed.get(), CURLUPART_FRAGMENT, nullptr, 0) != CURLUE_OK) {
            parsed.reset();
            return {};
        }
        parsedBase = Base;
    }
    TCurlUrl handle(curl_url_dup(parsed.get()));
    if (!handle) return {};
    // An empty value names the base itself and "#x" a place in it (RFC 3986, 5.2.2); libcurl
    // would drop the base's last segment and query.
    const bool sameDocument = Value.empty() || Value[0] == '#';
    const CURLUcode set = sameDocument
                              ? curl_url_set(handle.get(), CURLUPART_FRAGMENT,
                                             Value.empty() ? nullptr : Value.c_str() + 1, flags)
                              : curl_url_set(handle.get(), CURLUPART_URL, Value.c_str(), flags);
    if (set != CURLUE_OK) return {};
    char* combined = nullptr;
    if (curl_url_get(handle.get(), CURLUPART_URL, &combined, 0) != CURLUE_OK) return {};
    std::string result = TakeCurlString(combined);
    if (result.size() > kMaxResolvedLength) return {};
    return result;
}

std::string CombineUrl(const std::string& Base, const std::string& Value) {
    std::string result;
    CombineUrlInto(Base, Value, result);
    return result;
}

void CombineUrlInto(const std::string& Base, const std::string& Value, std::string& Result) {
    if (!CombinePlainUrl(Base, Value, Result))
        Result = CombineUrlGeneral(Base, Value);
    else if (Result.size() > kMaxResolvedLength)
        Result.clear();
}

namespace {

// A web URL that names no file of the catalogue has no type when it holds no dot at all or its
// last path segment ends in "."; any other (a directory, a host, an extension the catalogue
// lacks such as html, php or the "0" of ".../tree/2.0.0") is a page. The slashes of "://" are no
// path separators.
bool HasNoType(std::string_view Url, std::size_t PathFrom) {
    const std::size_t dot = Url.rfind('.');
    if (dot == std::string_view::npos) return true;
    const std::size_t slash = Url.rfind('/');
    const bool inLastSegment = slash != std::string_view::npos && slash >= PathFrom && dot > slash;
    return inLastSegment && dot + 1 == Url.size();
}

// "jpeg" and "mpeg" are given as "jpg" and "mpg".
std::string ShortType(std::string Type) {
    if (Type == "jpeg") return "jpg";
    if (Type == "mpeg") return "mpg";
    return Type;
}

// The URL up to the end of its last path segment's name: without query and fragment, and
// without the segment's ";" parameters. The path begins at the first "/" after PathFrom.
std::string_view TypedPath(std::string_view Url, std::size_t PathFrom) {
    const std::size_t slash = Url.find('/', PathFrom);
    std::size_t end = PathFrom;
    while (end < Url.size() && Url[end] != '?' && Url[end] != '#') ++end;
    if (slash == std::string_view::npos || slash > end) return Url.substr(0, end);
    const std::size_t segment = Url.rfind('/', end - 1) + 1;
    return Url.substr(0, std::min(Url.find(';', segment), end));
}

// True when the last path segment of Path names a file of the catalogue (Type); a name holding
// "&" is left to the page rule.
bool IsFileTypeOf(std::string_view Path, std::size_t PathFrom, std::string& Type) {
    const std::size_t slash = Path.find('/', PathFrom);
    if (slash == std::string_view::npos) return false;
    const std::string_view segment = Path.substr(Path.rfind('/') + 1);
    const std::size_t dot = segment.rfind('.');
    if (dot == std::string_view::npos || dot + 1 == segment.size() ||
        segment.find('&') != std::string_view::npos)
        return false;
    std::string type = AsciiLowerCase(segment.substr(dot + 1));
    if (FindFileType(type) < 0) return false;
    Type = ShortType(std::move(type));
    return true;
}

}  // namespace

bool IsMailtoValue(std::string_view Value) {
    return FindMailto(Value) != std::string_view::npos;
}

std::vector<TResolvedLink> ResolveMailto(std::string_view Value) {
    // The parts follow the "mailto:" that was found: a value such as
    // "javascript:location.href=mailto:a@b" must not give part of the script as an address.
    const std::size_t at = FindMailto(Value);
    std::vector<TResolvedLink> links;
    for (TMailPart& part :
         MailtoParts(at == std::string_view::npos ? "" : Value.substr(at + kMailto.size()))) {
        TResolvedLink& link = links.emplace_back();
        link.Mail = true;
        link.Invalid = !part.Address;
        (part.Address ? link.Resolved : link.Part) = std::move(part.Text);
    }
    return links;
}

TResolvedLink ResolveLink(const TCrackUrl& PageParts, const std::string& Value,
                          std::string_view PageEncoding) {
    TResolvedLink link;
    ResolveLinkInto(PageParts, Value, PageEncoding, link);
    return link;
}

void ResolveLinkInto(const TCrackUrl& PageParts, const std::string& Value,
                     std::string_view PageEncoding, TResolvedLink& Link) {
    if (IsMailtoValue(Value)) {
        Link = std::move(ResolveMailto(Value).front());
        return;
    }
    Link.Resolved.clear();
    Link.Mail = Link.Invalid = false;
    Link.Part.clear();
    if (IsScriptLink(Value)) return;
    const bool absolute =
        AsciiStartsWithNoCase(Value, "HTTP:") || AsciiStartsWithNoCase(Value, "HTTPS:");

    // An ASCII value, as nearly all are, needs neither its query encoded nor itself normalised:
    // it is used as it stands, without a copy.
    const bool ascii = !HasNonAscii(Value);
    std::string normalized;
    if (!ascii) normalized = NormalizeLinkValue(QueryInEncoding(Value, PageEncoding));
    const std::string& value = ascii ? Value : normalized;
    std::string_view resolved;
    if (absolute) {
        resolved = value;
    } else {
        // A page's links share its base: it is built once per page. The joined URL's room
        // serves every link.
        thread_local std::string pageUrl;
        thread_local std::string base;
        thread_local std::string combined;
        if (base.empty() || pageUrl != PageParts.Url) {
            pageUrl = PageParts.Url;
            base = BaseOf(PageParts);
        }
        CombineUrlInto(base, value, combined);
        resolved = combined;
        // An absolute value comes back as written even where libcurl cannot combine it, such
        // as a scheme without "//".
        if (resolved.empty() && HasScheme(value) && !HasControlByte(value) &&
            value.size() <= kMaxResolvedLength)
            resolved = value;
    }
    // Written raw or percent-encoded, a link names one URL: it is kept as a browser sends it.
    NormalizeUrlInto(CutAtFrom2nd(resolved, '#'), Link.Resolved);
    // A page address holding raw bytes is joined as it stands; encoding may lengthen the result.
    if (!absolute && Link.Resolved.size() > kMaxResolvedLength) Link.Resolved.clear();
}

TLinkClass ClassifyLink(std::string_view Resolved) {
    TLinkClass result{"http", "0"};
    std::size_t pathFrom = 0;
    const std::size_t separator = Resolved.find("://");
    if (separator != std::string_view::npos && separator >= 1) {
        result.Scheme = AsciiLowerCase(Resolved.substr(0, separator));
        pathFrom = separator + 3;
    } else if (HasScheme(Resolved)) {
        // "news:comp.lang.c", "tel:030.1234" or "c:/x.pdf" name no web page either: another
        // scheme, written without "//".
        result.Scheme = AsciiLowerCase(Resolved.substr(0, Resolved.find(':')));
    }

    // Two scans of memchr: find_first_of tests each byte against the set in a call of its own.
    const bool query = Resolved.find('?') != std::string_view::npos ||
                       Resolved.find('&') != std::string_view::npos;
    if (!StartsWith(result.Scheme, "http")) {
        if (query) result.TypeLink = "htm";
        return result;
    }
    // A web URL is typed by its path: "x.pdf?download=1" and "x.pdf;jsessionid=..." are files.
    const std::string_view path = TypedPath(Resolved, pathFrom);
    if (IsFileTypeOf(path, pathFrom, result.TypeLink)) return result;
    if (query || !HasNoType(path, pathFrom)) result.TypeLink = "htm";
    return result;
}

bool ContainsKeyword(const TQuickSortStringList& List, std::string_view Text) {
    return !FirstKeywordIn(List, Text).empty();
}

std::string_view FirstKeywordIn(const TQuickSortStringList& List, std::string_view Text) {
    const std::string lower = AsciiLowerCase(Text);
    for (int i = 0; i < List.Count(); ++i) {
        const std::string_view entry = List.Strings(i);
        if (!entry.empty() && lower.find(entry) != std::string::npos) return entry;
    }
    return {};
}
