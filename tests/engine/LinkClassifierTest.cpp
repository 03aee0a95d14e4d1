#include "LinkClassifier.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TCrackUrl PageAt(const std::string& Url) {
    TCrackUrl page;
    page.Crack(Url);
    return page;
}

struct ResolveCase {
    const char* Page;
    std::string Value;
    std::string Resolved;
};

// ---- ResolveLink ----

TEST(LinkClassifierResolveLink, GivesTheBareAddressOfAMailtoLink) {
    const TCrackUrl page = PageAt("http://host/dir/index.htm");
    const std::pair<const char*, const char*> cases[] = {
        {"mailto:Bob.Smith@Example.COM?subject=Hi", "Bob.Smith@Example.COM"},
        {"MAILTO:a@b.test", "a@b.test"},
        {"MailTo:a@b.test#x", "a@b.test"},  // a fragment is no part of an address
        {"mailto:?subject=Hi", ""},         // no address at all
        // The address follows the "mailto:" that was found, not the value's eighth character.
        {"javascript:location.href=mailto:bob@x.test", "bob@x.test"},
        {"mailto:x@y.test,z@y.test", "x@y.test"},  // the first of several
    };
    for (const auto& [value, address] : cases) {
        const TResolvedLink link = ResolveLink(page, value);
        EXPECT_TRUE(link.Mail) << value;
        EXPECT_EQ(link.Resolved, address) << value;
    }
}

// Every part of a mailto value, as RFC 6068 and RFC 5322 read it; "!" marks a part that is no
// address.
TEST(LinkClassifierResolveLink, GivesEveryAddressOfAMailtoValue) {
    const std::string longLocal(10000, 'a');
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"mailto:anna+news@example.org", {"anna+news@example.org"}},
        {"mailto:list+subscribe@lists.example.org", {"list+subscribe@lists.example.org"}},
        {"mailto:(toni@example.org)", {"toni@example.org"}},
        {"mailto:( (a@x.de) )", {"a@x.de"}},
        {"mailto:(a@x.de) (b)", {"!"}},  // two comments, and nothing else
        {"mailto:(a@x.de\\)", {"!"}},    // an escaped bracket leaves the comment open
        {"mailto:" + std::string(5000, '(') + "a@x.de" + std::string(5000, ')'), {"a@x.de"}},
        {"mailto:a@x.de,b@y.de", {"a@x.de", "b@y.de"}},
        {"mailto:a@x.de%2C%20b@y.de", {"a@x.de", "b@y.de"}},
        {"mailto:a@x.de,,b@y.de,", {"a@x.de", "b@y.de"}},
        {"mailto:?to=x@y.de", {"x@y.de"}},
        {"mailto:a@x.de?subject=Hi&CC=c@x.de,d@x.de&body=e@x.de&bcc=f@x.de&to=g@x.de",
         {"a@x.de", "c@x.de", "d@x.de", "f@x.de", "g@x.de"}},
        {"mailto:a@x.de#b@y.de", {"a@x.de"}},
        {"mailto:Anna Muster <anna@x.de>", {"anna@x.de"}},
        {"mailto:%22Muster, Anna%22 <anna@x.de>, <b@y.de>", {"anna@x.de", "b@y.de"}},
        {"mailto:Anna%20%3Canna@x.de%3E", {"anna@x.de"}},
        {"mailto:anna@x.de (Anna Muster)", {"anna@x.de"}},
        {"mailto:j%C3%BCrgen@m\xC3\xBCller.test", {"j\xC3\xBCrgen@m\xC3\xBCller.test"}},
        {"mailto:team%40x.de", {"team@x.de"}},
        {"mailto:%22a,b@c%22@x.de", {"\"a,b@c\"@x.de"}},
        {"mailto:root@localhost", {"root@localhost"}},
        {"mailto:a@[192.0.2.1]", {"a@[192.0.2.1]"}},
        // ";" separates only where every piece is an address.
        {"mailto:a@x.de;b@y.de", {"a@x.de", "b@y.de"}},
        {"mailto:a;b", {"!a;b"}},
        {"mailto:a@x.de;subject", {"!a@x.de;subject"}},
        // Not addresses.
        {"mailto:nodomain", {"!nodomain"}},
        {"mailto:@x.de", {"!@x.de"}},
        {"mailto:two@@x.de", {"!two@@x.de"}},
        {"mailto:" + longLocal + "@x.de", {"!" + longLocal + "@x.de"}},
        {"mailto:" + std::string(64, 'a') + "@x.de", {std::string(64, 'a') + "@x.de"}},
        {"mailto:a@" + std::string(256, 'x'), {"!a@" + std::string(256, 'x')}},
        {"mailto:a@x..de", {"!a@x..de"}},
        {"mailto:a b@x.de", {"!a b@x.de"}},
        {"mailto:a%0A@x.de", {"!a\n@x.de"}},
        {"mailto:Anna Muster", {"!Anna Muster"}},
        {"mailto:", {"!"}},
        {"mailto:?subject=Hi", {"!"}},
        {"mailto:ok@x.de,nodomain", {"ok@x.de", "!nodomain"}},
    };
    for (const auto& [value, expected] : cases) {
        std::vector<std::string> parts;
        for (const TResolvedLink& link : ResolveMailto(value)) {
            EXPECT_TRUE(link.Mail) << value;
            EXPECT_EQ(link.Invalid, link.Resolved.empty()) << value;
            parts.push_back(link.Invalid ? "!" + link.Part : link.Resolved);
        }
        EXPECT_EQ(parts, expected) << value.substr(0, 80);
    }
}

// By RFC 3986 against the page's URL, as a browser resolves: an extension-less page is no folder.
TEST(LinkClassifierResolveLink, ResolvesAgainstThePageUrl) {
    const ResolveCase cases[] = {
        {"http://host/dir/index.htm", "page.htm", "http://host/dir/page.htm"},
        {"http://host:8080/dir/index.htm", "page.htm", "http://host:8080/dir/page.htm"},
        {"http://host:80/dir/index.htm", "page.htm", "http://host/dir/page.htm"},
        {"https://host/dir/index.htm", "page.htm", "https://host/dir/page.htm"},
        {"https://host:443/nx/about", "team.pdf", "https://host/nx/team.pdf"},
        {"https://host:8443/dir/", "page.htm", "https://host:8443/dir/page.htm"},
        {"https://host:80/dir/", "page.htm", "https://host:80/dir/page.htm"},
        {"http://user:pw@host/dir/a.htm", "b.htm", "http://host/dir/b.htm"},
        {"http://host/nx/about", "team.pdf", "http://host/nx/team.pdf"},
        {"http://host/nx/about/", "team.pdf", "http://host/nx/about/team.pdf"},
        {"http://host/nx/about?x=1#y", "team.pdf", "http://host/nx/team.pdf"},
        {"http://host/nx/about", "about/team.pdf", "http://host/nx/about/team.pdf"},
        {"http://host/a/2.0", "b.htm", "http://host/a/b.htm"},
        {"http://host", "x.htm", "http://host/x.htm"},
        {"http://host/dir/list.asp?page=1", "?page=2", "http://host/dir/list.asp?page=2"},
        {"http://host/dir/sub/a.htm", "../x", "http://host/dir/x"},
        {"http://host/nx/about", "../x", "http://host/x"},
        {"http://host/dir/a.htm", "//other/x", "http://other/x"},
        {"http://host/dir/a.htm", "/abs", "http://host/abs"},
        {"http://host/dir/a.htm?q", "", "http://host/dir/a.htm?q"},
        {"http://host/dir/a.htm", "#top", "http://host/dir/a.htm"},
        {"http://host/dir/a.htm", "x.htm#part", "http://host/dir/x.htm"},
        {"http://host/dir/a.htm", "ftp://host/file.zip", "ftp://host/file.zip"},
        // Taken unchanged, case and all, but still without the fragment.
        {"http://host/dir/a.htm", "HTTP://Host/A.HTM", "HTTP://Host/A.HTM"},
        {"http://host/dir/a.htm", "https://h/x#frag", "https://h/x"},
        {"http://host/dir/a.htm", "http:x", "http:x"},
        // Other absolute values come back as written, with or without "//".
        {"http://host/dir/a.htm", "news:comp.lang", "news:comp.lang"},
        {"http://host/dir/a.htm", "tel:+49301234", "tel:+49301234"},
        {"http://host/dir/a.htm", "skype:x", "skype:x"},
        // Two pages whose addresses differ in one letter.
        {"http://host/da/a.htm", "b.htm", "http://host/da/b.htm"},
        {"http://host/db/a.htm", "b.htm", "http://host/db/b.htm"},
    };
    // Forwards, then backwards: a page's base is kept from one link to the next, and a page met
    // again after another must not be resolved against the other one's.
    std::vector<ResolveCase> order(std::begin(cases), std::end(cases));
    order.insert(order.end(), std::rbegin(cases), std::rend(cases));
    for (const ResolveCase& c : order) {
        const TResolvedLink link = ResolveLink(PageAt(c.Page), c.Value);
        EXPECT_FALSE(link.Mail) << c.Value;
        EXPECT_EQ(link.Resolved, c.Resolved) << c.Page << " + " << c.Value;
    }
}

TEST(LinkClassifierResolveLink, DropsWhatCannotBeAnAddress) {
    const ResolveCase cases[] = {
        {"http://host/dir/a.htm", "javascript:go()", ""},
        {"http://host/dir/a.htm", "JaVaScRiPt:history.back", ""},
        {"http://host/dir/a.htm", " \x01java\tscript :go()", ""},  // as a browser reads it
        {"http://host/dir/a.htm",
         "a\x01"
         "b.htm",
         ""},
        {"http://host/dir/a.htm", std::string("a\0b.htm", 7), ""},
        {"no url", "x.htm", ""},  // a page whose address could not be split
        {"no url", "http://h/x.htm", "http://h/x.htm"},
    };
    for (const ResolveCase& c : cases)
        EXPECT_EQ(ResolveLink(PageAt(c.Page), c.Value).Resolved, c.Resolved) << c.Value;
}

// Only a "javascript:" value is a script; addresses that hold the word are ordinary links.
TEST(LinkClassifierResolveLink, KeepsAddressesThatMerelyNameJavaScript) {
    const ResolveCase cases[] = {
        {"http://host/dir/a.htm", "https://developer.mozilla.org/en-US/docs/Web/JavaScript/Guide",
         "https://developer.mozilla.org/en-US/docs/Web/JavaScript/Guide"},
        {"http://host/dir/a.htm", "books/javascript-intro.pdf",
         "http://host/dir/books/javascript-intro.pdf"},
        {"http://host/dir/a.htm", "x.htm?js=JAVASCRIPT", "http://host/dir/x.htm?js=JAVASCRIPT"},
        {"http://host/dir/a.htm", "/wiki/JavaScript:_The_Good_Parts",
         "http://host/wiki/JavaScript:_The_Good_Parts"},
    };
    for (const ResolveCase& c : cases)
        EXPECT_EQ(ResolveLink(PageAt(c.Page), c.Value).Resolved, c.Resolved) << c.Value;
}

TEST(LinkClassifierResolveLink, DropsResultsOf1024CharactersOrMore) {
    const TCrackUrl page = PageAt("http://host/dir/a.htm");
    const std::string base = "http://host/dir/";
    const std::string fits(1023 - base.size(), 'a');
    EXPECT_EQ(ResolveLink(page, fits).Resolved, base + fits);
    EXPECT_EQ(ResolveLink(page, fits + "a").Resolved, "");
    // Absolute values are not combined, so no length limit applies to them.
    const std::string absolute = "http://host/" + std::string(2000, 'b');
    EXPECT_EQ(ResolveLink(page, absolute).Resolved, absolute);
}

// ---- ClassifyLink ----

TEST(LinkClassifierClassifyLink, TypesByTheLastSegmentAndTheCatalogue) {
    struct Case {
        const char* Url;
        const char* Scheme;
        const char* Type;
    };
    const Case cases[] = {
        {"HTTP://Host/A.HTM", "http", "htm"},
        {"http://host/Pic.JPEG", "http", "jpg"},
        {"http://host/pic.jpg", "http", "jpg"},
        {"http://host/clip.mpeg", "http", "mpg"},
        {"http://host/a.b/file", "http", "htm"},
        {"http://host/file.", "http", "0"},
        {"http://host/x.pl", "http", "pl"},
        {"http://host/style.css", "http", "htm"},
        {"http://host/code.js", "http", "htm"},
        {"http://host/page.html", "http", "htm"},
        {"http://host/a.zip", "http", "zip"},
        {"http://host/x.tar.gz", "http", "gz"},
        {"https://host/tree/2.0.0", "https", "htm"},  // an extension, not "no type"
        {"http://host/v2.0/", "http", "htm"},
        {"http://host/desk.theme", "http", "theme"},
        {"HTTPS://H/Doc.PDF", "https", "pdf"},
        {"ftp://host/file.zip", "ftp", "0"},
        {"ftp://host/list?x", "ftp", "htm"},
        // Other schemes written without "//" are no web pages either.
        {"news:comp.lang.c", "news", "0"},
        {"TEL:030.1234", "tel", "0"},
        {"C:/Daten/Preise.pdf", "c", "0"},
        {"news:x?y", "news", "htm"},
        // The last path segment without query, fragment and ";" parameters names a file.
        {"http://host/x.pdf?a=1", "http", "pdf"},
        {"http://host/x.pdf?download=1", "http", "pdf"},
        {"http://host/X.PDF;jsessionid=A1.b?y", "http", "pdf"},
        {"http://host/a.gif?x=1", "http", "gif"},
        {"http://localhost/x.JPEG?s=2", "http", "jpg"},
        {"http://host/dl.php?f=a.pdf", "http", "htm"},
        {"http://h.test/dir/file;v=a.zip", "http", "htm"},
        {"http://host/x.htm;v=a.pdf", "http", "htm"},
        {"http://host/list?x", "http", "htm"},
        {"http://localhost/list?x", "http", "htm"},
        {"http://host?a.pdf", "http", "htm"},
        {"ftp://host/x.pdf?a=1", "ftp", "htm"},
        {"http://host/a&b.gif", "http", "htm"},  // "&" in the name: a page, as before
        {"http://h.alpha.test", "http", "htm"},  // the slashes of "://" are no separators
        {"http://h.alpha.test/dir/", "http", "htm"},
        {"http://www.example.zip", "http", "htm"},
        {"http://host.test:8080", "http", "htm"},
        {"http://localhost/page", "http", "0"},
        {"http://localhost", "http", "0"},
        {"host.test/x.gif", "http", "gif"},  // no scheme: taken for http
        {"://h/x.gif", "http", "gif"},
    };
    for (const Case& c : cases) {
        const TLinkClass kind = ClassifyLink(c.Url);
        EXPECT_EQ(kind.Scheme, c.Scheme) << c.Url;
        EXPECT_EQ(kind.TypeLink, c.Type) << c.Url;
    }
}

// ---- ContainsKeyword ----

TEST(LinkClassifierContainsKeyword, IsASubstringTestOnTheLowerCasedText) {
    TQuickSortStringList exclude;
    for (const char* entry : {"track", "hitbox", "referer", "stat", "count"}) exclude.Add(entry);
    EXPECT_TRUE(ContainsKeyword(exclude, "http://host/account.htm"));
    EXPECT_TRUE(ContainsKeyword(exclude, "http://host/Counter.htm"));
    EXPECT_TRUE(ContainsKeyword(exclude, "HTTP://HOST/STATS.HTM"));
    EXPECT_FALSE(ContainsKeyword(exclude, "http://host/index.htm"));
    EXPECT_FALSE(ContainsKeyword(exclude, ""));

    TQuickSortStringList include;
    include.Add("");
    include.Add("SHOP");  // compared as stored: the owners keep entries lower-case
    EXPECT_FALSE(ContainsKeyword(include, "http://host/shop/a.htm"));
    include.Add("shop");
    EXPECT_TRUE(ContainsKeyword(include, "http://host/Shop/a.htm"));

    EXPECT_FALSE(ContainsKeyword(TQuickSortStringList(), "anything"));
}

}  // namespace
