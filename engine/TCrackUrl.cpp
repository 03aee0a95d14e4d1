#include "TCrackUrl.h"

#include <libpsl.h>

#include <algorithm>

#include "AsciiCase.h"
#include "CurlSupport.h"
#include "PlainUrl.h"
#include "TextBytes.h"

namespace {

// The public suffix list, loaded once: the newest one on the system, else libpsl's own copy.
const psl_ctx_t* SuffixList() {
    static const psl_ctx_t* list = [] {
        const psl_ctx_t* latest = psl_latest(nullptr);
        return latest ? latest : psl_builtin();
    }();
    return list;
}

bool IsIpAddress(const std::string& host) {
    if (host.find(':') != std::string::npos) return true;  // IPv6 literal
    return !host.empty() && std::all_of(host.begin(), host.end(),
                                        [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
}

std::string GetPart(CURLU* h, CURLUPart part, unsigned flags) {
    char* value = nullptr;
    if (curl_url_get(h, part, &value, flags) != CURLUE_OK) return {};
    return TakeCurlString(value);
}

bool HasPart(CURLU* h, CURLUPart part) {
    char* value = nullptr;
    bool present = curl_url_get(h, part, &value, 0) == CURLUE_OK;
    curl_free(value);
    return present;
}

// libcurl reports "/" for a URL without a path; tell the two apart from the text itself.
bool TextHasPath(const std::string& url) {
    std::size_t start = url.find("://");
    if (start == std::string::npos) return true;
    std::size_t end = FindAnyOf(url, "/?#", start + 3);
    return end != std::string::npos && url[end] == '/';
}

}  // namespace

void TCrackUrl::Clear() {
    ExtraInfos.clear();
    HostName.clear();
    UrlPassword.clear();
    Port = 0;
    Scheme.clear();
    UrlPathWithFile.clear();
    UrlPath.clear();
    UrlUserName.clear();
    Domain.clear();
    Valid = false;
}

bool TCrackUrl::Crack(const std::string& url) {
    return CrackPlain(url) || CrackGeneral(url);
}

bool TCrackUrl::CrackPlain(const std::string& url) {
    TPlainUrl plain;
    // libcurl drops an empty fragment; that case is left to it.
    if (!SplitPlainUrl(url, plain) || url.back() == '#') return false;
    Clear();
    Url = url;
    Scheme = plain.Scheme;
    HostName = plain.Host;
    Port = plain.Port;
    const std::string_view rest = plain.Rest;
    const std::size_t hash = rest.find('#');
    const std::size_t question = rest.substr(0, hash).find('?');
    const std::size_t pathEnd = std::min(question, hash);
    if (!rest.empty() && rest[0] == '/') UrlPathWithFile = rest.substr(0, pathEnd);
    if (question != std::string_view::npos) {
        const std::size_t queryEnd = hash == std::string_view::npos ? rest.size() : hash;
        ExtraInfos.assign(rest.substr(question, queryEnd - question));
        // Decoding a query turns "+" into a blank.
        std::replace(ExtraInfos.begin(), ExtraInfos.end(), '+', ' ');
    }
    if (hash != std::string_view::npos) ExtraInfos.append(rest.substr(hash));
    UrlPath = DirectoryOfPath(UrlPathWithFile);
    Domain = RegistrableDomain(HostName);
    Valid = true;
    return true;
}

bool TCrackUrl::CrackGeneral(const std::string& url) {
    Clear();
    Url = url;
    // A NUL would cut the text that libcurl sees; other control bytes are no part of a URL.
    // DEL is refused by libcurl's own parser.
    if (url.empty() || HasControlByte(url)) return false;

    TCurlUrl handle(curl_url());
    if (!handle) return false;
    CURLU* h = handle.get();
    const unsigned setFlags = CURLU_PATH_AS_IS | CURLU_ALLOW_SPACE | CURLU_NON_SUPPORT_SCHEME;
    if (curl_url_set(h, CURLUPART_URL, url.c_str(), setFlags) != CURLUE_OK) return false;

    // Only web addresses split: the engine can fetch nothing else, and a mistyped scheme such as
    // "htp" must be refused at the start instead of failing every attempt.
    std::string scheme = GetPart(h, CURLUPART_SCHEME, 0);
    if (scheme != "http" && scheme != "https") return false;

    std::string port = GetPart(h, CURLUPART_PORT, CURLU_DEFAULT_PORT);
    Scheme = scheme;
    HostName = GetPart(h, CURLUPART_HOST, CURLU_URLDECODE);
    UrlUserName = GetPart(h, CURLUPART_USER, CURLU_URLDECODE);
    UrlPassword = GetPart(h, CURLUPART_PASSWORD, CURLU_URLDECODE);
    Port = port.empty() ? 0 : std::stoi(port);
    if (TextHasPath(url)) UrlPathWithFile = GetPart(h, CURLUPART_PATH, CURLU_URLDECODE);
    if (HasPart(h, CURLUPART_QUERY))
        ExtraInfos += "?" + GetPart(h, CURLUPART_QUERY, CURLU_URLDECODE);
    if (HasPart(h, CURLUPART_FRAGMENT))
        ExtraInfos += "#" + GetPart(h, CURLUPART_FRAGMENT, CURLU_URLDECODE);
    UrlPath = DirectoryOfPath(UrlPathWithFile);
    Domain = RegistrableDomain(HostName);
    Valid = true;
    return true;
}

std::string OriginOf(const TCrackUrl& Parts) {
    return OriginOf(Parts.Scheme, Parts.HostName, Parts.Port);
}

std::string OriginOf(std::string_view Scheme, std::string_view Host, int Port) {
    const bool defaultPort = (Scheme == "http" && Port == 80) || (Scheme == "https" && Port == 443);
    std::string origin(Scheme);
    origin.append("://").append(Host);
    if (!defaultPort) origin.append(":").append(std::to_string(Port));
    return origin;
}

std::string OriginKey(const std::string& Url) {
    TCrackUrl parts;
    if (!parts.Crack(Url)) return {};
    return AsciiLowerCase(OriginOf(parts));
}

int LastPos(char Ch, const std::string& S) {
    std::size_t pos = S.rfind(Ch);
    return pos == std::string::npos ? 0 : static_cast<int>(pos) + 1;
}

std::string DirectoryOfPath(const std::string& p) {
    const int b = LastPos('/', p);
    const int length = static_cast<int>(p.size());
    std::string path;
    if (b > 0 && b == length) {
        path = p;
    } else if (b <= 1) {
        path = "/";
    } else if (p.find('.', b) != std::string::npos) {
        path = p.substr(0, b);  // the last segment is a file name
    } else {
        path = p + "/";  // the last segment is a directory
    }
    return path.empty() ? "/" : path;
}

std::string RegistrableDomain(const std::string& host) {
    if (host.empty() || IsIpAddress(host)) return host;
    // Links come in runs of the same host: the last answer is kept.
    thread_local std::string lastHost;
    thread_local std::string lastDomain;
    if (host == lastHost) return lastDomain;
    const std::string lower = AsciiLowerCase(host);
    const char* domain = psl_registrable_domain(SuffixList(), lower.c_str());
    std::string result =
        domain ? host.substr(static_cast<std::size_t>(domain - lower.c_str())) : host;
    lastHost = host;
    lastDomain = result;
    return result;
}
