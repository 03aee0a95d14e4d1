// The shortcuts for plain URLs must give exactly what libcurl's parser gives. Each case is run
// through both paths; random cases are drawn from an alphabet that hits the borders of the
// plain form (numeric hosts, ports, dot segments, schemes in values, escapes).

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "LinkClassifier.h"
#include "PlainUrl.h"
#include "TCrackUrl.h"

namespace {

std::string Describe(const TCrackUrl& p) {
    return "valid=" + std::to_string(p.Valid) + " scheme=" + p.Scheme + " host=" + p.HostName +
           " port=" + std::to_string(p.Port) + " user=" + p.UrlUserName + " pw=" + p.UrlPassword +
           " path=" + p.UrlPathWithFile + " dir=" + p.UrlPath + " extra=" + p.ExtraInfos +
           " domain=" + p.Domain + " url=" + p.Url;
}

// Crack and CrackGeneral agree on every part; returns whether the shortcut applied.
bool ExpectSameCrack(const std::string& url) {
    TCrackUrl quick;
    TCrackUrl general;
    quick.Crack(url);
    general.CrackGeneral(url);
    EXPECT_EQ(Describe(quick), Describe(general)) << "url: " << url;
    TPlainUrl plain;
    return SplitPlainUrl(url, plain);
}

std::string Pick(std::mt19937& rng, const std::vector<std::string>& choices) {
    return choices[std::uniform_int_distribution<std::size_t>(0, choices.size() - 1)(rng)];
}

// A path-like text of up to Max pieces: mostly URL characters and dot segments, now and then
// one that no plain URL holds.
std::string RandomTail(std::mt19937& rng, int Max) {
    static const std::vector<std::string> pieces = {
        "/",  "/", "/", "a",   "b.htm", "index.html", "?", "#", "=", "&", ".", "..", "./", "../",
        "//", ":", "@", "x:y", "~",     "+",          "!", "$", "'", "(", "*", ",",  ";",  "[",
        "]",  "{", "|", "\"",  "<",     "^",          "`", "0", "-", "_", "A", "Z"};
    static const std::vector<std::string> rare = {"%41", "%2e", "%", " ", "\\", "\xe9", "\x7f"};
    std::string out;
    const int count = std::uniform_int_distribution<int>(0, Max)(rng);
    for (int i = 0; i < count; ++i)
        out += std::uniform_int_distribution<int>(0, 30)(rng) == 0 ? Pick(rng, rare)
                                                                   : Pick(rng, pieces);
    return out;
}

std::string RandomAuthority(std::mt19937& rng) {
    static const std::vector<std::string> hosts = {"www.example.com",
                                                   "www.example.com",
                                                   "Example.COM",
                                                   "Example.COM",
                                                   "sub.shop.co.uk",
                                                   "a.b.c.d.e",
                                                   "127.0.0.1",
                                                   "127.1",
                                                   "0x7f.0.0.1",
                                                   "10.0.0.256",
                                                   "010.0.0.1",
                                                   "2130706433",
                                                   "cafe.de",
                                                   "face",
                                                   "a-b_c~d.org",
                                                   ".lead.dot",
                                                   "trail.dot.",
                                                   "a..b",
                                                   "localhost",
                                                   "xn--bcher-kva.de",
                                                   "h",
                                                   "[::1]",
                                                   "user@host",
                                                   "u:p@host",
                                                   "",
                                                   "h%41st",
                                                   "ho st",
                                                   "shop.co.uk",
                                                   "1.2.3.4"};
    static const std::vector<std::string> ports = {"",       "",       "",   "",       ":80",
                                                   ":443",   ":8080",  ":0", ":00",    ":080",
                                                   ":65535", ":65536", ":",  ":99999", ":1a"};
    // Half of the authorities are everyday ones, so the shortcut is met often enough.
    if (std::uniform_int_distribution<int>(0, 1)(rng) == 0)
        return Pick(rng, {"www.example.com", "h.de:8080"});
    return Pick(rng, hosts) + Pick(rng, ports);
}

TEST(PlainUrlTest, CrackGivesTheGeneralPartsForChosenUrls) {
    const std::vector<std::string> plain = {
        "http://www.example.com/",
        "http://www.example.com",
        "https://Shop.Example.CO.UK:8443/a/b/page.htm?x=1&y=2#part",
        "http://127.0.0.1:18931/index.html",
        "http://h/p?",
        "http://h/p#",
        "http://h?only=query",
        "http://h#only-fragment",
        "http://h/p?a=b?c#d#e?f",
        "http://h/a/../b/./c.htm",
        "http://h/dir/",
        "http://h:1/x",
        "http://h:65535/x",
        "https://h:80/",
        "http://a-b_c~d.org/~user/",
        "http://trail.dot./",
        "http://h/{braces}|pipe^caret`tick\"quote<lt>gt",
    };
    for (const std::string& url : plain) EXPECT_TRUE(ExpectSameCrack(url)) << url;
    const std::vector<std::string> general = {
        "HTTP://h/",          "ftp://h/",          "http://127.1/",          "http://0x7f.0.0.1/",
        "http://2130706433/", "http://h:0/",       "http://h:080/",          "http://h:65536/",
        "http://h:/",         "http://user:pw@h/", "http://[::1]:8080/",     "http://h/%41%42",
        "http://h/a b",       "http://h/a\\b",     "http://h/\xe9t\xe9.htm", "http:///nohost",
        "http://.lead/",
    };
    for (const std::string& url : general) EXPECT_FALSE(ExpectSameCrack(url)) << url;
}

TEST(PlainUrlTest, CrackGivesTheGeneralPartsForRandomUrls) {
    std::mt19937 rng(20261207);
    static const std::vector<std::string> schemes = {"http://",  "http://", "http://", "https://",
                                                     "https://", "HTTP://", "ftp://",  "http:/"};
    int plainCount = 0;
    const int total = 20000;
    for (int i = 0; i < total; ++i) {
        const std::string url = Pick(rng, schemes) + RandomAuthority(rng) + RandomTail(rng, 6);
        if (ExpectSameCrack(url)) ++plainCount;
        if (HasFailure()) break;
    }
    // The comparison means something only if the shortcut was taken often.
    EXPECT_GT(plainCount, total / 10);
}

TEST(PlainUrlTest, CombineGivesTheGeneralResultForChosenValues) {
    const std::string base = "http://www.example.com:8080/dir/sub/";
    const std::vector<std::string> values = {"page.htm",
                                             "/root.htm",
                                             "a/b/c.htm?x=1#frag",
                                             "page.htm#",
                                             "x?a=../b",
                                             "a//b",
                                             "...",
                                             ".hidden",
                                             "a/.b",
                                             "./page.htm",
                                             "../up.htm",
                                             "a/../b",
                                             "a/.",
                                             "..",
                                             ".",
                                             "?q",
                                             "#f",
                                             "//other.host/p",
                                             "mailto:x@y",
                                             "javascript:void(0)",
                                             "c:page",
                                             "a+b-c.d:e",
                                             "page.htm:8",
                                             "p%41ge.htm",
                                             "p ge.htm",
                                             "p\xe9.htm",
                                             "a\\b",
                                             "?",
                                             "/",
                                             "x:",
                                             "../../../../x.htm",
                                             "./../a.htm",
                                             "../",
                                             "./",
                                             ".././a",
                                             "../a/../b",
                                             "..//a",
                                             "../?q",
                                             "./#f",
                                             "../b.htm?x=1#y",
                                             "a.htm?#f",
                                             "a.htm?x#"};
    // A page's own URL is the base too: its last segment and query give way to a path.
    for (const std::string& page : {base, base + "page.asp?id=1", base + "x#c/d"})
        for (const std::string& value : values)
            EXPECT_EQ(CombineUrl(page, value), CombineUrlGeneral(page, value)) << page << value;
    EXPECT_EQ(CombineUrl(base + "about?x=1", "team.pdf"),
              "http://www.example.com:8080/dir/sub/team.pdf");
    EXPECT_EQ(CombineUrl(base + "list.asp?page=1", "?page=2"),
              "http://www.example.com:8080/dir/sub/list.asp?page=2");
    EXPECT_EQ(CombineUrl(base + "a.htm?q#f", ""), "http://www.example.com:8080/dir/sub/a.htm?q");
    // The base's fragment plays no part, even when it holds a "/".
    EXPECT_EQ(CombineUrl(base + "x#c/d", "?q"), "http://www.example.com:8080/dir/sub/x?q");
    EXPECT_EQ(CombineUrl(base, "a/b/c.htm?x=1#frag"),
              "http://www.example.com:8080/dir/sub/a/b/c.htm?x=1#frag");
    EXPECT_EQ(CombineUrl(base, "/root.htm"), "http://www.example.com:8080/root.htm");
    EXPECT_EQ(CombineUrl(base, "../up.htm"), "http://www.example.com:8080/dir/up.htm");
    EXPECT_EQ(CombineUrl(base, "./../../../top.htm"), "http://www.example.com:8080/top.htm");
    // The whole result must stay below 1024 characters on either path.
    const std::string longValue(1024 - base.size(), 'a');
    EXPECT_EQ(CombineUrl(base, longValue), "");
    EXPECT_EQ(CombineUrl(base, longValue.substr(1)).size(), 1023u);
    EXPECT_EQ(CombineUrlGeneral(base, longValue.substr(1)).size(), 1023u);
}

TEST(PlainUrlTest, CombineGivesTheGeneralResultForRandomValues) {
    std::mt19937 rng(7122026);
    static const std::vector<std::string> schemes = {"http://", "https://", "HTTP://"};
    static const std::vector<std::string> dirs = {
        "/",     "/a/",   "/a/b/",     "/a/./", "/a/../b/", "/%7e/", "/x?y/", "/a b/",
        "//",    "/.../", "/page.htm", "",      "/a/b",     "?q",    "#f",    "/a/b.htm?x=1#f",
        "/a/b?", "/a/..", "/a;p/b"};
    static const std::vector<std::string> heads = {
        "",  "",   "",   "/",    "//",      "./",    "../",    "?",
        "#", "a:", "1:", "+.-:", "mailto:", "http:", "../../", "./../"};
    int agreeing = 0;
    const int total = 20000;
    for (int i = 0; i < total; ++i) {
        const std::string base = Pick(rng, schemes) + RandomAuthority(rng) + Pick(rng, dirs);
        const std::string value = Pick(rng, heads) + RandomTail(rng, 6);
        const std::string general = CombineUrlGeneral(base, value);
        EXPECT_EQ(CombineUrl(base, value), general) << "base: " << base << " value: " << value;
        if (!general.empty()) ++agreeing;
        if (HasFailure()) break;
    }
    EXPECT_GT(agreeing, total / 10);
}

}  // namespace
