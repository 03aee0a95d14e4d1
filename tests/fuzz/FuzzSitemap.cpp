// A sitemap of arbitrary bytes, gzip or not: never crash, never read beyond the limits, and give
// only locations the crawler may take as links.

#include <cstdint>
#include <string>

#include "AsciiCase.h"
#include "FuzzCheck.h"
#include "SitemapReader.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string body(reinterpret_cast<const char*>(Data), Size);
    const TSitemap map = ReadSitemap(body);
    FUZZ_CHECK(map.Locations.size() <= kSitemapMaxUrls);
    if (map.Kind == TSitemapKind::None) FUZZ_CHECK(map.Locations.empty());
    for (const std::string& location : map.Locations) {
        FUZZ_CHECK(location.size() <= kSitemapMaxUrlLength);
        const std::string scheme = AsciiLowerCase(location.substr(0, 8));
        FUZZ_CHECK(scheme.rfind("http://", 0) == 0 || scheme == "https://");
    }
    if (IsGzip(body)) {
        std::string inflated, problem;
        InflateGzip(body, 4096, inflated, problem);
        FUZZ_CHECK(inflated.size() <= 4096);
    }
    return 0;
}
