#include <gtest/gtest.h>

#include "TNeverCollectList.h"

namespace {

TNeverCollectList ListOf(const std::vector<std::string>& Lines) {
    TNeverCollectList list;
    EXPECT_TRUE(list.SetLines(Lines).empty());
    return list;
}

TEST(TNeverCollectListTest, EntriesMatchTheirAddressesAndNoOthers) {
    const TNeverCollectList list = ListOf({
        "\xEF\xBB\xBF  anna@example.org  ",  // byte-order mark and blanks of an editor
        "", "@firma.example", "@.verein.example",
        "J\xC3\x9CRGEN@B\xC3\x9C"
        "CHER.example",                   // JÜRGEN@BÜCHER.example
        "strasse@xn--mller-kva.example",  // müller.example as punycode
        "mei\xDF"
        "en@latin1.example",     // Latin-1 line: meißen
        "@gro\xC3\x9F.example",  // @groß.example
    });
    const std::pair<const char*, bool> cases[] = {
        {"anna@example.org", true},
        {"ANNA@Example.ORG", true},
        {"anna@example.org.", true},
        {"anna+news@example.org", false},  // a tagged address is its own
        {"anna@sub.example.org", false},
        {"bert@example.org", false},
        {"x@firma.example", true},
        {"x@FIRMA.example", true},
        {"x@sub.firma.example", false},  // "@" takes the domain alone
        {"x@verein.example", true},      // "@." takes the domain ...
        {"x@a.b.verein.example", true},  // ... and every subdomain
        {"x@notverein.example", false},
        {"j\xC3\xBCrgen@b\xC3\xBC"
         "cher.example",
         true},
        {"j\xC3\xBCrgen@xn--bcher-kva.example", true},
        {"STRASSE@M\xC3\x9CLLER.example", true},
        {"stra\xC3\x9F"
         "e@m\xC3\xBCller.example",
         true},  // straße folds to strasse
        {"meissen@latin1.example", true},
        {"x@GROSS.example", true},
        {"x@xn--gro-7ka.example", true},  // groß.example as punycode
        {"no-at-sign", false},
        {"@firma.example", false},
        {"", false},
    };
    for (const auto& [address, held] : cases) EXPECT_EQ(list.Holds(address), held) << address;
}

TEST(TNeverCollectListTest, LinesThatAreNoEntryAreNamedAndLeftOut) {
    TNeverCollectList list;
    EXPECT_EQ(list.SetLines({"ok@example.org", "just words", "@", "@.", "a@", "@bad domain.x",
                             "@..x", "  ", "x@y.example"}),
              (std::vector<int>{2, 3, 4, 5, 6, 7}));
    EXPECT_TRUE(list.Holds("ok@example.org"));
    EXPECT_TRUE(list.Holds("x@y.example"));
    EXPECT_FALSE(list.Holds("words@example.org"));
    // A new list replaces the old one; an empty list holds nothing.
    EXPECT_TRUE(list.SetLines({}).empty());
    EXPECT_TRUE(list.Empty());
    EXPECT_FALSE(list.Holds("ok@example.org"));
}

TEST(TNeverCollectListTest, WithholdsListedMailOnlyAndCountsEachAddressOnce) {
    TNeverCollectList list = ListOf({"anna@example.org", "@m\xC3\xBCller.example"});
    // Addresses arrive as the engine reports them: decoded, or still escaped from an older
    // journal; the comparison is made on the text the harvest would show.
    EXPECT_TRUE(list.Withholds("mail", "anna@example.org"));
    EXPECT_TRUE(list.Withholds("mail", "Anna%40Example.org"));
    EXPECT_TRUE(list.Withholds("mail", "x@xn--mller-kva.example"));
    EXPECT_TRUE(list.Withholds("mail", "X@M\xC3\x9CLLER.example"));
    EXPECT_FALSE(list.Withholds("mail", "bert@example.org"));
    // A file link that happens to hold a listed address is a URL, not an address.
    EXPECT_FALSE(list.Withholds("pdf", "http://example.org/anna@example.org.pdf"));
    EXPECT_EQ(list.LeftOut(), 2u);
    list.ResetLeftOut();
    EXPECT_EQ(list.LeftOut(), 0u);
}

TEST(TNeverCollectListTest, ResultFileLinesOfListedAddressesAreDropped) {
    const TNeverCollectList list = ListOf({"anna@example.org", "@.verein.example"});
    std::vector<std::string> lines{"anna@example.org",
                                   " ANNA@example.org ",
                                   "anna@example.org;x;y;OK",
                                   "anna+news@example.org",
                                   "kassenwart@sub.verein.example",
                                   "http://example.org/anna@example.org",
                                   "bert@example.org"};
    EXPECT_EQ(list.RemoveListedLines(lines), 4u);
    EXPECT_EQ(lines, (std::vector<std::string>{"anna+news@example.org",
                                               "http://example.org/anna@example.org",
                                               "bert@example.org"}));
    std::vector<std::string> untouched{"anna@example.org"};
    EXPECT_EQ(TNeverCollectList().RemoveListedLines(untouched), 0u);
    EXPECT_EQ(untouched.size(), 1u);
}

}  // namespace
