#include "UrlIdentity.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Each text with its key; every key is its own key, and IsVisitedKey never claims a text that
// is not.
TEST(UrlIdentityTest, KeysAUrlByItsNormalForm) {
    const std::pair<std::string, std::string> cases[] = {
        // Already normal: most links.
        {"http://h.test/a/b.htm?x=1", "http://h.test/a/b.htm?x=1"},
        {"https://h.test:8443/", "https://h.test:8443/"},
        // Scheme and host without regard to case; path and query exactly.
        {"HTTP://Host.Test/Doc/Report.pdf", "http://host.test/Doc/Report.pdf"},
        {"http://h.test/doc/report.pdf", "http://h.test/doc/report.pdf"},
        {"http://h.test/p?id=Xy7q", "http://h.test/p?id=Xy7q"},
        {"http://h.test/p?id=xY7Q", "http://h.test/p?id=xY7Q"},
        {"http://User:PW@H.test/x", "http://User:PW@h.test/x"},
        // Default and empty ports, an empty path, an empty query, a fragment.
        {"http://h.test:80/a", "http://h.test/a"},
        {"https://h.test:443/a", "https://h.test/a"},
        {"http://h.test:443/a", "http://h.test:443/a"},
        {"https://h.test:80/a", "https://h.test:80/a"},
        {"http://h.test:/a", "http://h.test/a"},
        {"http://h.test", "http://h.test/"},
        {"http://h.test?q", "http://h.test/?q"},
        {"http://h.test/p?", "http://h.test/p"},
        {"http://h.test/p?#top", "http://h.test/p"},
        {"http://h.test/p#top", "http://h.test/p"},
        {"http://[::1]:80/a", "http://[::1]/a"},
        {"http://[FE80::1]/a", "http://[fe80::1]/a"},
        // Escapes: unreserved characters decoded, the rest in upper case.
        {"http://h.test/%7Euser/%41b%2d.htm", "http://h.test/~user/Ab-.htm"},
        {"http://h.test/a%2fb?q=%3d%c3%bc", "http://h.test/a%2Fb?q=%3D%C3%BC"},
        // A "%" that begins no escape is sent as written: the URL keeps its escapes, in upper
        // case, so that its key asks the server for the same thing.
        {"http://h.test/%zz%4", "http://h.test/%zz%4"},
        {"http://H.test/%%41b?%%4b", "http://h.test/%%41b?%%4B"},
        {"http://h.test/%7e/p?q=50%", "http://h.test/%7E/p?q=50%"},
        {"http://%4%44/", "http://%4%44/"},
        {"http://H%44.test/a%/../b%7e", "http://hd.test/b~"},  // that "%" is in no key
        {"http://H%2Ecom/", "http://h.com/"},
        // Dot segments, never above the root.
        {"http://h.test/a/./b/../c.htm", "http://h.test/a/c.htm"},
        {"http://h.test/a/b/..", "http://h.test/a/"},
        {"http://h.test/a/.", "http://h.test/a/"},
        {"http://h.test/../../x", "http://h.test/x"},
        {"http://h.test/a/%2E%2E/b", "http://h.test/b"},
        {"http://h.test/a/..b/.c", "http://h.test/a/..b/.c"},
        {"http://h.test/a?x=/../", "http://h.test/a?x=/../"},
        // Other schemes: the same rules, no default port.
        {"FTP://Host/List?x", "ftp://host/List?x"},
        // E-mail addresses and values that name no URL compare without regard to case.
        {"Anna.S@Example.com", "anna.s@example.com"},
        {"javascript:Go()", "javascript:go()"},
        {"tel:+49", "tel:+49"},
        {"", ""},
    };
    for (const auto& [text, key] : cases) {
        EXPECT_EQ(VisitedKey(text), key) << text;
        EXPECT_EQ(VisitedKey(key), key) << key;
        EXPECT_TRUE(!IsVisitedKey(text) || text == key) << text;
    }
    EXPECT_TRUE(IsVisitedKey("http://h.test/a/b.htm?x=1"));
}

}  // namespace
