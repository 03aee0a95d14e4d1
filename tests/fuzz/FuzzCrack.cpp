// URL splitting of arbitrary text: never crashes, and the parts obey their rules whatever the
// input. A reused object keeps nothing of an earlier split.

#include <cstdint>
#include <string>

#include "CurlSupport.h"
#include "FuzzCheck.h"
#include "TCrackUrl.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static TCurlGlobal curl;
    return 0;
}

namespace {

bool AllEmpty(const TCrackUrl& p) {
    return p.ExtraInfos.empty() && p.HostName.empty() && p.UrlPassword.empty() && p.Port == 0 &&
           p.Scheme.empty() && p.UrlPathWithFile.empty() && p.UrlPath.empty() &&
           p.UrlUserName.empty() && p.Domain.empty();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string url(reinterpret_cast<const char*>(Data), Size);
    TCrackUrl parts;
    const bool valid = parts.Crack(url);
    FUZZ_CHECK(valid == parts.Valid);
    FUZZ_CHECK(parts.Url == url);
    if (!valid) {
        FUZZ_CHECK(AllEmpty(parts));
    } else {
        FUZZ_CHECK(!parts.Scheme.empty());
        FUZZ_CHECK(parts.Port >= 0 && parts.Port <= 65535);
        FUZZ_CHECK(parts.UrlPath.size() >= 1 && parts.UrlPath.front() == '/' &&
                   parts.UrlPath.back() == '/');
        FUZZ_CHECK(parts.UrlPath == DirectoryOfPath(parts.UrlPathWithFile));
        // The extra information starts with its own marker or is absent.
        FUZZ_CHECK(parts.ExtraInfos.empty() || parts.ExtraInfos[0] == '?' ||
                   parts.ExtraInfos[0] == '#');
        // The domain is a tail of the host.
        FUZZ_CHECK(parts.HostName.size() >= parts.Domain.size() &&
                   parts.HostName.compare(parts.HostName.size() - parts.Domain.size(),
                                          std::string::npos, parts.Domain) == 0);
        // No byte below 32 reaches the parts from the raw text: such a URL is refused.
        for (unsigned char c : url) FUZZ_CHECK(c >= 32);
    }
    // The shortcut for plain URLs gives exactly the general parser's parts.
    TCrackUrl general;
    FUZZ_CHECK(general.CrackGeneral(url) == valid);
    FUZZ_CHECK(general.Scheme == parts.Scheme && general.HostName == parts.HostName &&
               general.Port == parts.Port && general.UrlUserName == parts.UrlUserName &&
               general.UrlPassword == parts.UrlPassword &&
               general.UrlPathWithFile == parts.UrlPathWithFile &&
               general.UrlPath == parts.UrlPath && general.ExtraInfos == parts.ExtraInfos &&
               general.Domain == parts.Domain);

    const int last = LastPos('/', url);
    FUZZ_CHECK(last >= 0 && static_cast<std::size_t>(last) <= url.size());
    if (last > 0) FUZZ_CHECK(url[last - 1] == '/' && url.find('/', last) == std::string::npos);

    // Reuse: a fixed URL after the fuzzed one gives exactly its own parts.
    FUZZ_CHECK(parts.Crack("http://localhost/"));
    FUZZ_CHECK(parts.HostName == "localhost" && parts.Domain == "localhost" &&
               parts.UrlPath == "/" && parts.UrlPathWithFile == "/" && parts.ExtraInfos.empty() &&
               parts.UrlUserName.empty() && parts.UrlPassword.empty() && parts.Port == 80 &&
               parts.Scheme == "http");
    return 0;
}
