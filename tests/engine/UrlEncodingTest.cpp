#include "UrlEncoding.h"

#include <gtest/gtest.h>

#include <string>

#include "LinkClassifier.h"

namespace {

TEST(UrlEncodingTest, IsUtf8RejectsEveryMalformedSequence) {
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {"plain ascii", true},
        {"m\xC3\xBCller", true},
        {"\xE2\x82\xAC", true},       // euro sign
        {"\xF0\x9F\x98\x80", true},   // beyond U+FFFF
        {"m\xFCller", false},         // Latin-1
        {"\xC3", false},              // cut short
        {"\xC0\xAF", false},          // overlong "/"
        {"\xE0\x80\xAF", false},      // overlong, three bytes
        {"\xED\xA0\x80", false},      // a surrogate
        {"\xF4\x90\x80\x80", false},  // above U+10FFFF
        {"\xC3\xBC\xBC", false},      // a stray continuation byte
    };
    for (const auto& [text, valid] : cases) EXPECT_EQ(IsUtf8(text), valid) << text;
    // The same at every place of a longer ASCII text, which is read a block at a time.
    for (const auto& [text, valid] : cases)
        for (std::size_t at = 0; at <= 140; ++at) {
            const std::string longText = std::string(at, 'a') + text + std::string(140 - at, 'b');
            EXPECT_EQ(IsUtf8(longText), valid) << text << " at " << at;
        }
}

TEST(UrlEncodingTest, NormalizeUrlGivesTheFormABrowserSends) {
    const std::pair<std::string, std::string> cases[] = {
        // Raw UTF-8 and the percent-encoded form come out the same.
        {"http://h/pr\xC3\xBC"
         "fung.pdf",
         "http://h/pr%C3%BCfung.pdf"},
        {"http://h/pr%C3%BCfung.pdf", "http://h/pr%C3%BCfung.pdf"},
        {"http://h/pr%c3%bcfung.pdf?a=%c3%bc&b=%2f", "http://h/pr%C3%BCfung.pdf?a=%C3%BC&b=%2f"},
        // A Latin-1 path is sent as UTF-8, a Latin-1 query as its own bytes.
        {"http://h/pr\xFC"
         "fung.pdf?q=m\xFC",
         "http://h/pr%C3%BCfung.pdf?q=m%FC"},
        {"https://h/a?q=\xC3\xBC#\xC3\xBC", "https://h/a?q=%C3%BC#%C3%BC"},
        // The host stays as characters; libcurl turns it into its ASCII form.
        {"http://www.m\xC3\xBCller.de/x\xC3\xA4", "http://www.m\xC3\xBCller.de/x%C3%A4"},
        {"http://m\xFCller.de", "http://m\xC3\xBCller.de"},
        {"HTTP://h:81/\xC3\xBC", "HTTP://h:81/%C3%BC"},
        // Plain ASCII and other schemes are left alone.
        {"http://h/a%20b?c=%zz", "http://h/a%20b?c=%zz"},
        {"ftp://h/\xC3\xBC", "ftp://h/\xC3\xBC"},
        {"news:\xC3\xBC", "news:\xC3\xBC"},
    };
    for (const auto& [url, normal] : cases) EXPECT_EQ(NormalizeUrl(url), normal) << url;
}

TEST(UrlEncodingTest, ResolvedLinksWrittenEitherWayAreOneText) {
    TCrackUrl page;
    ASSERT_TRUE(page.Crack("http://h/d\xC3\xBCr/index.htm"));
    const char* values[] = {
        "pr\xC3\xBC"
        "fung.pdf",
        "pr%C3%BCfung.pdf",
        "/d%C3%BCr/pr\xC3\xBC"
        "fung.pdf",
        "http://h/d\xC3\xBCr/pr%C3%BC"
        "fung.pdf"};
    for (const char* value : values)
        EXPECT_EQ(ResolveLink(page, value).Resolved, "http://h/d%C3%BCr/pr%C3%BCfung.pdf") << value;
    // On a Latin-1 page the path goes as UTF-8 and the query as the page's bytes, whichever way
    // libcurl or the plain join resolves it.
    const std::pair<const char*, const char*> latin1[] = {
        {"b\xFC"
         "cher.pdf?q=\xFC",
         "http://h/d%C3%BCr/b%C3%BCcher.pdf?q=%FC"},
        {"../b\xFC"
         "cher.pdf",
         "http://h/b%C3%BCcher.pdf"},
        {"//m\xFCller.test/\xFC", "http://m\xC3\xBCller.test/%C3%BC"},
    };
    for (const auto& [value, resolved] : latin1)
        EXPECT_EQ(ResolveLink(page, value).Resolved, resolved) << value;
    // A mailto value is percent-encoded as a whole (RFC 6068): its address comes decoded.
    EXPECT_EQ(ResolveLink(page, "mailto:j%C3%BCrgen@m\xC3\xBCller.test").Resolved,
              "j\xC3\xBCrgen@m\xC3\xBCller.test");
}

}  // namespace
