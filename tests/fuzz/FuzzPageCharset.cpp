// A page's bytes as text: the input is a Content-Type value, a line feed, and the body. No body
// and no declaration may crash the decoding, and what comes out is always UTF-8 text that the
// page analysis can take; a link's query written back in the page's encoding is ASCII.

#include <algorithm>
#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "PageCharset.h"
#include "UrlEncoding.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    const std::size_t split = input.find('\n');
    const std::string contentType = split == std::string::npos ? "" : input.substr(0, split);
    const std::string body = split == std::string::npos ? input : input.substr(split + 1);

    const TPageText page = DecodePage(body, contentType);
    FUZZ_CHECK(IsUtf8(page.Text));
    FUZZ_CHECK(page.Text.find('\0') == std::string::npos);
    FUZZ_CHECK(!page.Encoding.empty());
    // A valid UTF-8 page that declares nothing keeps its bytes.
    std::string plain = body;
    plain.erase(std::remove(plain.begin(), plain.end(), '\0'), plain.end());
    if (contentType.empty() && IsUtf8(body) && body.rfind("\xEF\xBB\xBF", 0) != 0 &&
        page.Source != TCharsetSource::Meta)
        FUZZ_CHECK(page.Text == plain);

    // The decoded text as a link value of that page: its query goes out in the page's encoding.
    const std::string value = page.Text.substr(0, 300);
    const std::string written = QueryInEncoding(value, page.Encoding);
    const std::size_t query = value.find('?');
    if (query == std::string::npos || page.Encoding == "UTF-8" ||
        page.Encoding.rfind("UTF-16", 0) == 0 || page.Encoding == "replacement") {
        FUZZ_CHECK(written == value);
    } else {
        FUZZ_CHECK(written.compare(0, query, value, 0, query) == 0);
        const std::size_t end = written.find('#', query);
        const std::string part =
            written.substr(query, end == std::string::npos ? end : end - query);
        FUZZ_CHECK(std::all_of(part.begin(), part.end(),
                               [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    }
    return 0;
}
