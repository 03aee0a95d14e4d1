#include "PlainUrl.h"

#include <algorithm>

#include "AsciiCase.h"

namespace {

bool IsHostByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

bool IsHexHostByte(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == 'x' ||
           c == 'X' || c == '.';
}

// Four decimal numbers 0..255 without leading zeros, which libcurl leaves as they are.
bool IsCanonicalDottedQuad(std::string_view host) {
    int parts = 0;
    std::size_t i = 0;
    while (i < host.size()) {
        const std::size_t start = i;
        int value = 0;
        while (i < host.size() && host[i] >= '0' && host[i] <= '9') {
            value = value * 10 + (host[i] - '0');
            if (value > 255) return false;
            ++i;
        }
        const std::size_t digits = i - start;
        if (digits == 0 || (digits > 1 && host[start] == '0')) return false;
        ++parts;
        if (i == host.size()) break;
        if (host[i] != '.' || parts == 4) return false;
        ++i;
        if (i == host.size()) return false;  // a trailing dot
    }
    return parts == 4;
}

// libcurl rewrites hosts that read as numbers ("127.1", "0x7f.1", "2130706433") into a dotted
// quad; such hosts are left to it. Hosts of hex digits alone ("cafe.de") go there too.
bool MayBeNumericHost(std::string_view host) {
    for (char c : host)
        if (!IsHexHostByte(c)) return false;
    return !IsCanonicalDottedQuad(host);
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5 || text[0] == '0') return false;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535) return false;
    port = value;
    return true;
}

bool IsSchemeByte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '-' || c == '.';
}

}  // namespace

bool IsWebUrl(std::string_view Url) {
    return AsciiStartsWithNoCase(Url, "http://") || AsciiStartsWithNoCase(Url, "https://");
}

bool HasDotSegment(std::string_view Path) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = std::min(Path.find('/', start), Path.size());
        const std::string_view segment = Path.substr(start, end - start);
        if (segment == "." || segment == "..") return true;
        if (end == Path.size()) return false;
        start = end + 1;
    }
}

bool IsPlainTail(std::string_view Text) {
    for (char c : Text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7F || c == '%' || c == '\\') return false;
    }
    return true;
}

bool SplitPlainUrl(std::string_view Url, TPlainUrl& Parts) {
    std::size_t authorityStart;
    if (Url.substr(0, 7) == "http://") {
        Parts.Scheme = Url.substr(0, 4);
        Parts.Port = 80;
        authorityStart = 7;
    } else if (Url.substr(0, 8) == "https://") {
        Parts.Scheme = Url.substr(0, 5);
        Parts.Port = 443;
        authorityStart = 8;
    } else {
        return false;
    }
    std::size_t end = authorityStart;
    while (end < Url.size() && Url[end] != '/' && Url[end] != '?' && Url[end] != '#') ++end;
    const std::string_view authority = Url.substr(authorityStart, end - authorityStart);
    Parts.Rest = Url.substr(end);

    const std::size_t colon = authority.find(':');
    Parts.Host = authority.substr(0, colon);
    if (colon != std::string_view::npos && !ParsePort(authority.substr(colon + 1), Parts.Port))
        return false;
    if (Parts.Host.empty() || Parts.Host.front() == '.') return false;
    for (char c : Parts.Host)
        if (!IsHostByte(c)) return false;
    if (MayBeNumericHost(Parts.Host)) return false;
    return IsPlainTail(Parts.Rest);
}

namespace {

// The parts of a plain base that every value joined to it uses: the length of its origin and of
// its directory (the path up to its last "/"). False when the base is not plain.
bool SplitPlainBase(std::string_view Base, std::size_t& Origin, std::size_t& DirSize) {
    TPlainUrl base;
    if (!SplitPlainUrl(Base, base)) return false;
    // A value with a path replaces the base's last segment, query and fragment.
    const std::string_view path = base.Rest.substr(0, FindAnyOf(base.Rest, "?#"));
    if (path.empty() || path.front() != '/' || path.find("//") != std::string_view::npos ||
        HasDotSegment(path.substr(1)))
        return false;
    Origin = Base.size() - base.Rest.size();
    DirSize = path.rfind('/') + 1;
    return true;
}

}  // namespace

bool CombinePlainUrl(std::string_view Base, std::string_view Value, std::string& Result) {
    // A page's links share one base: it is split and checked once per page.
    thread_local std::string lastBase;
    thread_local bool plain = false;
    thread_local std::size_t origin = 0;
    thread_local std::size_t dirSize = 0;
    if (lastBase.empty() || Base != lastBase) {
        lastBase.assign(Base);
        plain = SplitPlainBase(Base, origin, dirSize);
    }
    if (!plain) return false;
    std::string_view dir = Base.substr(origin, dirSize);
    std::string_view value = Value;
    if (value.empty() || value[0] == '?' || value[0] == '#' || value.substr(0, 2) == "//" ||
        !IsPlainTail(value))
        return false;
    // The general resolution drops an empty query or fragment.
    const std::size_t question = value.find('?');
    if (value.back() == '#' || value.back() == '?' ||
        (question != std::string_view::npos && value[question + 1] == '#'))
        return false;
    std::size_t run = 0;
    while (run < value.size() && IsSchemeByte(value[run])) ++run;
    if (run < value.size() && value[run] == ':') return false;  // it names a scheme
    if (value[0] == '/') {
        dir = {};
    } else {
        // Leading "./" stay in the directory, each leading "../" leaves one level of it (never
        // above the root).
        while (value.substr(0, 2) == "./") value.remove_prefix(2);
        while (value.substr(0, 3) == "../") {
            value.remove_prefix(3);
            if (dir.size() > 1) dir = dir.substr(0, dir.rfind('/', dir.size() - 2) + 1);
        }
        if (value.empty() || value[0] == '/' || value[0] == '?' || value[0] == '#') return false;
    }
    if (HasDotSegment(value.substr(0, FindAnyOf(value, "?#")))) return false;
    Result.reserve(origin + dir.size() + value.size());
    Result.assign(Base.substr(0, origin));
    Result.append(dir);
    Result.append(value);
    return true;
}
