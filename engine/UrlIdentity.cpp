#include "UrlIdentity.h"

#include <algorithm>

#include "AsciiCase.h"
#include "PlainUrl.h"

namespace {

bool IsLetter(char c) {
    return AsciiLower(c) >= 'a' && AsciiLower(c) <= 'z';
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool IsUpper(char c) {
    return c >= 'A' && c <= 'Z';
}

bool HasUpper(std::string_view Text) {
    return std::any_of(Text.begin(), Text.end(), IsUpper);
}

bool IsUnreserved(char c) {
    return IsLetter(c) || IsDigit(c) || c == '-' || c == '.' || c == '_' || c == '~';
}

// Where the "://" after a well-formed scheme stands; npos when Text names no URL.
std::size_t SchemeEnd(std::string_view Text) {
    const std::size_t separator = Text.find("://");
    if (separator == std::string_view::npos || separator == 0 || !IsLetter(Text[0]))
        return std::string_view::npos;
    const bool schemeBytes = std::all_of(
        Text.begin(), Text.begin() + static_cast<std::ptrdiff_t>(separator),
        [](char c) { return IsLetter(c) || IsDigit(c) || c == '+' || c == '-' || c == '.'; });
    return schemeBytes ? separator : std::string_view::npos;
}

// True when a "%" in Text begins no escape.
bool HasStrayPercent(std::string_view Text) {
    for (std::size_t at = Text.find('%'); at != std::string_view::npos; at = Text.find('%', at + 1))
        if (at + 2 >= Text.size() || AsciiHexValue(Text[at + 1]) < 0 ||
            AsciiHexValue(Text[at + 2]) < 0)
            return true;
    return false;
}

// Part with its escapes in upper case and, with Decode, those of unreserved characters decoded.
// Lower: letters, decoded ones included, go to lower case too (the host).
void AppendEscapesNormal(std::string_view Part, bool Lower, bool Decode, std::string& Out) {
    const auto put = [&](char c) { Out += Lower ? AsciiLower(c) : c; };
    for (std::size_t i = 0; i < Part.size(); ++i) {
        const char c = Part[i];
        const int high = c == '%' && i + 2 < Part.size() ? AsciiHexValue(Part[i + 1]) : -1;
        const int low = high >= 0 ? AsciiHexValue(Part[i + 2]) : -1;
        if (low < 0) {
            put(c);
            continue;
        }
        const char decoded = static_cast<char>(high * 16 + low);
        if (Decode && IsUnreserved(decoded)) {
            put(decoded);
        } else {
            Out += '%';
            Out += AsciiUpper(Part[i + 1]);
            Out += AsciiUpper(Part[i + 2]);
        }
        i += 2;
    }
}

// RFC 3986, 5.2.4: the path with its "." and ".." segments resolved; never above the root.
std::string RemoveDotSegments(std::string_view In) {
    static constexpr std::string_view kRoot = "/";
    std::string out;
    const auto dropLastSegment = [&] {
        const std::size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!In.empty()) {
        if (In.substr(0, 3) == "../") {
            In.remove_prefix(3);
        } else if (In.substr(0, 2) == "./" || In.substr(0, 3) == "/./") {
            In.remove_prefix(2);
        } else if (In == "/.") {
            In = kRoot;
        } else if (In.substr(0, 4) == "/../") {
            In.remove_prefix(3);
            dropLastSegment();
        } else if (In == "/..") {
            In = kRoot;
            dropLastSegment();
        } else if (In == "." || In == "..") {
            In = {};
        } else {
            const std::size_t end = std::min(In.find('/', 1), In.size());
            out.append(In.substr(0, end));
            In.remove_prefix(end);
        }
    }
    return out;
}

bool IsDefaultPort(std::string_view Scheme, std::string_view Port) {
    return Port.empty() || (Scheme == "http" && Port == "80") ||
           (Scheme == "https" && Port == "443");
}

void AppendAuthority(std::string_view Scheme, std::string_view Authority, bool Decode,
                     std::string& Out) {
    const std::size_t at = Authority.rfind('@');
    if (at != std::string_view::npos) {
        AppendEscapesNormal(Authority.substr(0, at + 1), false, Decode, Out);
        Authority.remove_prefix(at + 1);
    }
    // An IPv6 literal holds colons of its own; the port's colon comes after its "]".
    const std::size_t bracket = !Authority.empty() && Authority[0] == '[' ? Authority.find(']') : 0;
    const std::size_t colon =
        Authority.find(':', bracket == std::string_view::npos ? Authority.size() : bracket);
    AppendEscapesNormal(Authority.substr(0, colon), true, Decode, Out);
    if (colon == std::string_view::npos) return;
    const std::string_view port = Authority.substr(colon + 1);
    if (!IsDefaultPort(Scheme, port)) Out.append(":").append(port);
}

// Authority, path and query of a URL (Rest, without its fragment) in normal form.
void AppendRestNormal(std::string_view Scheme, std::string_view Rest, bool Decode,
                      std::string& Out) {
    const std::size_t pathFrom = std::min(FindAnyOf(Rest, "/?"), Rest.size());
    if (pathFrom > 0) AppendAuthority(Scheme, Rest.substr(0, pathFrom), Decode, Out);
    Rest.remove_prefix(pathFrom);

    const std::size_t question = Rest.find('?');
    std::string path;
    AppendEscapesNormal(Rest.substr(0, question), false, Decode, path);
    if (HasDotSegment(path)) path = RemoveDotSegments(path);
    if (path.empty() && (Scheme == "http" || Scheme == "https")) path = "/";
    Out += path;
    if (question == std::string_view::npos || question + 1 == Rest.size()) return;
    Out += '?';
    AppendEscapesNormal(Rest.substr(question + 1), false, Decode, Out);
}

}  // namespace

bool IsVisitedKey(std::string_view Text) {
    const std::size_t separator = SchemeEnd(Text);
    if (separator == std::string_view::npos) return !HasUpper(Text);
    // One pass, as every link found is asked: an authority in lower case, a path without dot
    // segments, no escape, no fragment and no empty query.
    const std::size_t size = Text.size();
    if (HasUpper(Text.substr(0, separator))) return false;
    std::size_t at = separator + 3;
    for (; at < size && Text[at] != '/'; ++at) {
        const char c = Text[at];
        if (IsUpper(c) || c == '%' || c == '?' || c == '#') return false;
    }
    const std::string_view authority = Text.substr(0, at);
    if (at == size || authority.back() == ':' || authority.ends_with(":80") ||
        authority.ends_with(":443"))
        return false;
    std::size_t segment = at;  // the "/" before the current segment
    for (++at; at <= size; ++at) {
        const char c = at < size ? Text[at] : '/';
        if (c == '%' || c == '#') return false;
        if (c != '/' && c != '?') continue;
        const std::string_view name = Text.substr(segment + 1, at - segment - 1);
        if (name == "." || name == "..") return false;
        if (c == '?') break;
        segment = at;
    }
    if (at >= size) return true;
    if (at + 1 == size) return false;  // an empty query
    for (++at; at < size; ++at)
        if (Text[at] == '%' || Text[at] == '#') return false;
    return true;
}

void VisitedKeyInto(std::string_view Text, std::string& Key) {
    if (IsVisitedKey(Text)) {
        Key.assign(Text);
        return;
    }
    Key.clear();
    const std::size_t separator = SchemeEnd(Text);
    if (separator == std::string_view::npos) {
        Key.reserve(Text.size());
        for (const char c : Text) Key += AsciiLower(c);
        return;
    }
    Key.reserve(Text.size() + 1);
    for (std::size_t i = 0; i < separator; ++i) Key += AsciiLower(Text[i]);
    const std::string scheme = Key;
    Key += "://";
    std::string_view rest = Text.substr(separator + 3);
    rest = rest.substr(0, rest.find('#'));
    // A "%" that begins no escape is sent as written, and the key stays a URL that asks for the
    // same: its escapes are then kept (decoding "%%41b" would make the new escape "%Ab"). Where
    // such a "%" stood only in a segment that ".." removed, the key holds none, and is decoded
    // like any other, or it would not be its own key.
    const std::size_t restFrom = Key.size();
    const bool stray = HasStrayPercent(rest);
    AppendRestNormal(scheme, rest, !stray, Key);
    if (stray && !HasStrayPercent(std::string_view(Key).substr(restFrom))) {
        Key.resize(restFrom);
        AppendRestNormal(scheme, rest, true, Key);
    }
}

std::string VisitedKey(std::string_view Text) {
    std::string key;
    VisitedKeyInto(Text, key);
    return key;
}
