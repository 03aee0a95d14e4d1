// Resolution of a link value against a page: the input is the page URL, a line feed, and the
// value, whose character references are decoded first. Neither a hostile page URL nor a hostile
// value may crash it, and the result keeps the rules the link decision relies on.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "AsciiCase.h"
#include "CharacterReferences.h"
#include "CurlSupport.h"
#include "FuzzCheck.h"
#include "LinkClassifier.h"
#include "MailtoAddresses.h"
#include "TCrackUrl.h"
#include "UrlEncoding.h"
#include "UrlIdentity.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    static TCurlGlobal curl;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    const std::string input(reinterpret_cast<const char*>(Data), Size);
    const std::size_t split = input.find('\n');
    const std::string pageUrl =
        split == std::string::npos ? "http://h.alpha.test/dir/page.htm" : input.substr(0, split);
    // The crawler decodes character references before it resolves a value.
    const std::string value =
        DecodeCharacterReferences(split == std::string::npos ? input : input.substr(split + 1));

    TCrackUrl page;
    page.Crack(pageUrl);
    // Plain values against plain bases are joined directly; the result is libcurl's.
    FUZZ_CHECK(CombineUrl(pageUrl, value) == CombineUrlGeneral(pageUrl, value));
    const TResolvedLink link = ResolveLink(page, value);
    const std::string upper = AsciiUpperCase(value);

    if (upper.find("MAILTO:") != std::string::npos) {
        FUZZ_CHECK(link.Mail);
        // Every part is told, and only an address is given as one.
        const std::vector<TResolvedLink> parts = ResolveMailto(value);
        FUZZ_CHECK(!parts.empty());
        FUZZ_CHECK(parts.front().Resolved == link.Resolved);
        for (const TResolvedLink& part : parts) {
            FUZZ_CHECK(part.Mail && part.Invalid == part.Resolved.empty());
            FUZZ_CHECK(part.Invalid || (IsMailAddress(part.Resolved) && part.Part.empty()));
            FUZZ_CHECK(std::none_of(part.Resolved.begin(), part.Resolved.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < ' '; }));
        }
    } else {
        FUZZ_CHECK(!link.Mail);
        // A "javascript:" value, read as a browser reads a scheme, is dropped.
        std::string squeezed;
        for (const char c : upper)
            if (static_cast<unsigned char>(c) > ' ' && c != '\x7f') squeezed += c;
        if (squeezed.rfind("JAVASCRIPT:", 0) == 0) FUZZ_CHECK(link.Resolved.empty());
        const bool absolute = upper.rfind("HTTP:", 0) == 0 || upper.rfind("HTTPS:", 0) == 0;
        const bool ascii = std::all_of(value.begin(), value.end(),
                                       [](char c) { return static_cast<unsigned char>(c) < 0x80; });
        if (absolute && ascii) {
            // Taken unchanged up to a fragment, apart from the case of escapes outside ASCII.
            FUZZ_CHECK(AsciiLowerCase(value).compare(0, link.Resolved.size(),
                                                     AsciiLowerCase(link.Resolved)) == 0);
        } else if (!absolute) {
            FUZZ_CHECK(link.Resolved.size() < 1024);
        }
        // A fragment is cut unless "#" is the first character.
        const std::size_t hash = link.Resolved.find('#');
        FUZZ_CHECK(hash == std::string::npos || hash == 0);
    }
    // A key is its own key, and a text said to be its own key is.
    for (const std::string& text : {value, link.Resolved}) {
        const std::string key = VisitedKey(text);
        FUZZ_CHECK(VisitedKey(key) == key);
        FUZZ_CHECK(!IsVisitedKey(text) || key == text);
    }
    if (!link.Resolved.empty() && !link.Mail) {
        // A link written raw or percent-encoded gives one text: the result is in final form.
        FUZZ_CHECK(NormalizeUrl(link.Resolved) == link.Resolved);
        const TLinkClass kind = ClassifyLink(link.Resolved);
        FUZZ_CHECK(kind.TypeLink == AsciiLowerCase(kind.TypeLink));
        FUZZ_CHECK(kind.TypeLink != "jpeg" && kind.TypeLink != "mpeg");
        TCrackUrl linkParts;
        linkParts.Crack(link.Resolved);
    }
    return 0;
}
