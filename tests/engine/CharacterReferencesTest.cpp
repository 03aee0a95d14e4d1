// Decoding of character references in link values, against what browsers make of them.

#include <gtest/gtest.h>

#include <string>

#include "CharacterReferences.h"

namespace {

struct DecodeCase {
    std::string Value;
    std::string Decoded;
};

TEST(CharacterReferencesTest, DecodesAsBrowsersDo) {
    const DecodeCase cases[] = {
        {"", ""},
        {"no reference", "no reference"},
        {"a&amp;b", "a&b"},
        {"&AMP;&lt;&gt;&quot;&apos;", "&<>\"'"},
        {"&#64;&#x40;&#X40;&#064;", "@@@@"},
        {"mailto:anna&#37;&#52;&#48;example&#46;org", "mailto:anna%40example.org"},
        {"&uuml;&szlig;&euro;", "\xc3\xbc\xc3\x9f\xe2\x82\xac"},
        {"&#x1F600;", "\xf0\x9f\x98\x80"},
        {"&NotNestedGreaterGreater;", "\xe2\xaa\xa2\xcc\xb8"},  // two code points
        // What browsers substitute: no NUL, no surrogate, nothing beyond Unicode; C1 as Windows.
        {"&#0;", "\xef\xbf\xbd"},
        {"&#xD800;", "\xef\xbf\xbd"},
        {"&#x110000;", "\xef\xbf\xbd"},
        {"&#99999999999999999999;", "\xef\xbf\xbd"},
        {"&#128;&#x99;", "\xe2\x82\xac\xe2\x84\xa2"},
        // Left as written: unterminated, unknown, empty, or a control character.
        {"&amp", "&amp"},
        {"a=1&ampb=2", "a=1&ampb=2"},
        {"&nosuchname;", "&nosuchname;"},
        {"&;&#;&#x;&#xG;", "&;&#;&#x;&#xG;"},
        {"&#10;&#x7F;&#x81;", "&#10;&#x7F;&#x81;"},
        {"a&Tab;b&NewLine;c", "a&Tab;b&NewLine;c"},
        {"&&amp;&", "&&&"},
        {"&" + std::string(40, 'a') + ";", "&" + std::string(40, 'a') + ";"},
        {"tail &", "tail &"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(DecodeCharacterReferences(c.Value), c.Decoded) << c.Value;
    }
}

}  // namespace
