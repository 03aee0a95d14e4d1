#include "LinkExtractor.h"
#include "SourceSet.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// Marker codes written as "{n}" in expectations, e.g. "<{14} href{4}x.htm>".
std::string Marked(std::string_view Pattern) {
    std::string out;
    for (std::size_t i = 0; i < Pattern.size(); ++i) {
        const std::size_t close = Pattern.find('}', i);
        if (Pattern[i] == '{' && close != std::string_view::npos) {
            out += static_cast<char>(std::stoi(std::string(Pattern.substr(i + 1, close - i - 1))));
            i = close;
        } else {
            out += Pattern[i];
        }
    }
    return out;
}

std::string Shown(const std::string& Text) {
    std::string out;
    for (unsigned char c : Text)
        out += c < 32 ? "{" + std::to_string(c) + "}" : std::string(1, static_cast<char>(c));
    return out;
}

using Candidates = std::vector<std::pair<std::string, int>>;

Candidates ExtractMarked(const std::string& Marked, const TCleanMap* Map = nullptr) {
    Candidates found;
    ExtractLinks(Marked, Map, [&](const std::string& value, unsigned char kind) {
        found.emplace_back(value, kind);
        return true;
    });
    return found;
}

// The page pipeline as the crawler runs it.
Candidates ExtractFromPage(std::string_view Html) {
    std::string split;
    TCleanMap map;
    std::string text = CleanText(SplitSourceSets(Html, split), true, false, &map);
    if (!MarkTags(text)) return {};
    CloseOpenAreas(text);
    return ExtractMarked(text, &map);
}

// The per-pattern automaton of the pattern table, written as plainly as possible, to check the
// fast marking against.
bool ReferenceMarkTags(std::string& Text) {
    struct Pattern {
        std::string Text;
        char Code;
        std::string Element = {};  // when set, the tag the pattern stands in must begin so
    };
    const Pattern patterns[] = {
        {" HREF=", 4},
        {" SRC=", 6},
        {"<A", 14},
        {"/A>", 16},
        {"A/>", 16},
        {"<FRAME", 14},
        {"</FRAME", 16},
        {"OPENWIN( ", 4},
        {"BASE HREF=", 7},
        {"<OPTION", 14},
        {"/OPTION>", 16},
        {"<APPLET", 14},
        {"/APPLET>", 16},
        {" VALUE=", 5},
        {" SRCSET=", 6},
        {" DATA=", 6, "<OBJECT "},
        {" POSTER=", 6, "<VIDEO "},
    };
    std::string upper = Text;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
    auto inElement = [&](std::size_t End, const std::string& Element) {
        const std::size_t tag = upper.find_last_of("<>", End);
        return tag != std::string::npos && upper.compare(tag, Element.size(), Element) == 0;
    };
    std::vector<std::size_t> at(std::size(patterns), 0);
    bool marked = false;
    for (std::size_t i = 0; i < upper.size(); ++i) {
        for (std::size_t p = 0; p < std::size(patterns); ++p) {
            const std::string& pattern = patterns[p].Text;
            if (upper[i] == pattern[at[p]]) {
                if (++at[p] == pattern.size()) {
                    if (patterns[p].Element.empty() || inElement(i, patterns[p].Element)) {
                        Text[i] = patterns[p].Code;
                        marked = true;
                    }
                    at[p] = 0;
                }
            } else {
                at[p] = upper[i] == pattern[0] ? 1 : 0;
            }
        }
    }
    return marked;
}

void ExpectSameMarking(const std::string& Input) {
    std::string fast = Input;
    std::string reference = Input;
    const bool fastResult = MarkTags(fast);
    const bool referenceResult = ReferenceMarkTags(reference);
    ASSERT_EQ(Shown(fast), Shown(reference)) << "input: " << Shown(Input);
    ASSERT_EQ(fastResult, referenceResult) << "input: " << Shown(Input);
}

bool IsTagSpace(char c) {
    return c == '\t' || c == '\n' || c == '\f' || c == '\r';
}

// For each byte: whether the nearest "<" or ">" before it is a "<" that opens a tag, and every
// value of that tag quoted since is closed.
std::vector<bool> ReferenceInTag(const std::string& Text) {
    auto opensTag = [&](std::size_t k) {
        const char next = k + 1 < Text.size() ? Text[k + 1] : '\0';
        return std::isalpha(static_cast<unsigned char>(next)) ||
               std::string_view("/!?").find(next) != std::string_view::npos;
    };
    std::vector<bool> inTag(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        std::size_t k = i;
        while (k > 0 && Text[k - 1] != '>' && !(Text[k - 1] == '<' && opensTag(k - 1))) --k;
        if (k == 0 || Text[k - 1] == '>') continue;
        char quote = 0;
        for (std::size_t j = k; j < i; ++j) {
            if (quote != 0) {
                if (Text[j] == quote) quote = 0;
            } else if (Text[j] == '"' || Text[j] == '\'') {
                std::size_t before = j;
                while (before > 0 && (Text[before - 1] == ' ' || IsTagSpace(Text[before - 1])))
                    --before;
                if (before > 0 && Text[before - 1] == '=') quote = Text[j];
            }
        }
        inTag[i] = quote == 0;
    }
    return inTag;
}

// The cleaning rules, one character at a time.
std::string ReferenceCleanText(const std::string& Text, bool Quotes, bool LineFeeds) {
    const std::vector<bool> inTag = ReferenceInTag(Text);
    auto isBlank = [&](std::size_t i) {
        return i < Text.size() && (Text[i] == ' ' || (IsTagSpace(Text[i]) && inTag[i]));
    };
    std::string out;
    char last = 'X';
    for (std::size_t i = 0; i < Text.size(); ++i) {
        char c = Text[i];
        if (static_cast<unsigned char>(c) < 32) {
            if (!(c == '\n' && LineFeeds) && !(IsTagSpace(c) && inTag[i])) continue;
            c = ' ';
        }
        // The quote closing an empty value keeps its blank.
        if (Quotes && (c == '"' || c == '\'') && i >= 2 && Text[i - 1] == c && Text[i - 2] == '=') {
            out += ' ';
            last = ' ';
            continue;
        }
        if (Quotes && (c == '"' || c == '\'' || c == ',')) c = ' ';
        if (c == ' ' &&
            (last == '=' || isBlank(i + 1) || (i + 1 < Text.size() && Text[i + 1] == '=')))
            continue;
        out += c;
        last = c;
    }
    return out;
}

void ReferenceCloseOpenAreas(std::string& Text) {
    bool open = false;
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] == 16) {
            open = false;
        } else if (Text[i] == 14) {
            if (!open) {
                open = true;
            } else if (i >= 2) {
                Text[i - 1] = 16;
                i -= 2;
            }
        }
    }
}

// The scan without the value rules: every completed value with its kind.
Candidates ReferenceCollect(const std::string& Text) {
    Candidates values;
    bool collecting = false;
    int kind = 32;
    std::string value;
    for (char c : Text) {
        if (c == 14 || c == 16) {
            collecting = false;
        } else if (c >= 4 && c <= 7) {
            kind = c;
            collecting = true;
            value.clear();
        } else if (collecting) {
            if (value.empty()) {
                if (c != ' ') value += c;
            } else if (c == ' ' || c == '>') {
                values.emplace_back(value, kind);
                collecting = false;
            } else {
                value += c;
            }
        }
    }
    return values;
}

// Random text over Alphabet with lengths that cross the 8- and 16-byte blocks of the fast walks.
std::vector<std::string> RandomTexts(const std::string& Alphabet, unsigned Seed, int Count) {
    std::mt19937 random(Seed);
    std::vector<std::string> texts;
    for (int k = 0; k < Count; ++k) {
        std::string text(random() % 70, ' ');
        for (char& c : text) c = Alphabet[random() % Alphabet.size()];
        texts.push_back(text);
    }
    return texts;
}

// ---- CleanText ----

struct CleanCase {
    std::string Input;
    bool Quotes;
    bool LineFeeds;
    std::string Expected;
};

TEST(LinkExtractorCleanText, FollowsTheBlankQuoteAndControlRules) {
    const CleanCase cases[] = {
        // Runs of blanks shrink to their last blank; blanks beside "=" vanish.
        {"a  b   c", true, false, "a b c"},
        {"a = b", true, false, "a=b"},
        {"a =  b", true, false, "a=b"},
        {" a", true, false, " a"},  // Last starts as "X", not "="
        {"a ", true, false, "a "},
        {"a  ", true, false, "a "},
        // Control characters are dropped and do not become Last.
        {"a\tb", true, false, "ab"},
        {"a \tb", true, false, "a b"},   // the look-ahead sees the tab, not a blank
        {"a=\r b", true, false, "a=b"},  // Last is still "="
        {"a=\n b", false, true, "a=b"},
        {"a\n=b", false, true, "a=b"},
        {"a\n\nb", false, true, "a  b"},  // the look-ahead sees a line feed
        {std::string("a\0b\x1f"
                     "c",
                     5),
         true, false, "abc"},
        // Quotes and commas become blanks; the look-ahead reads the text before replacement.
        {"href=\"x.htm\">", true, false, "href=x.htm >"},
        {"href=\"x.htm\"", true, false, "href=x.htm "},
        {"a \"b\"", true, false, "a  b "},
        {"x,y", true, false, "x y"},
        {"x, y", true, false, "x y"},
        {"x ,y", true, false, "x  y"},
        {"'a'", true, false, " a "},
        // An empty value keeps the next attribute apart: decorative images write alt="".
        {"<img alt=\"\" src=x.gif>", true, false, "<img alt=  src=x.gif>"},
        {"alt=''>", true, false, "alt= >"},
        {"x=\"'y", true, false, "x=y"},
        {"a=\"\"", false, false, "a=\"\""},
        {"a \"b\"", false, false, "a \"b\""},
        {"x,y", false, false, "x,y"},
        // Inside a tag, outside quoted values, tabs and line breaks are blanks, CR LF alike.
        {"<a\nhref=x>", true, false, "<a href=x>"},
        {"<a\r\nhref=x>", true, true, "<a href=x>"},
        {"<a\r\nhref=x>", true, false, "<a href=x>"},
        {"<img\tsrc=x>", true, false, "<img src=x>"},
        {"<base \n\thref=x>", true, false, "<base href=x>"},
        {"<A\fHREF\n=\n\"x\"\n>", true, false, "<A HREF=x >"},
        {"</a\n>", true, false, "</a >"},
        {"<meta\tname=a\r\ncontent=b>", false, true, "<meta name=a content=b>"},
        // Outside tags, and inside quoted values (a browser drops them from an address), they
        // are dropped as before.
        {"<p>a\nb\tc</p>", true, false, "<p>abc</p>"},
        {"x < y\nz", true, false, "x < yz"},
        {"<a href=\"x\n.htm\"\ntitle='a\tb'>", true, false, "<a href=x.htm title=ab >"},
        {"<a b\"c\nd>", false, false, "<a b\"c d>"},  // a quote not after "=" opens no value
        // Bytes above 127 are ordinary characters.
        {"\xe9 \xff\x7f", true, false, "\xe9 \xff\x7f"},
        {"", true, true, ""},
    };
    for (const CleanCase& c : cases)
        EXPECT_EQ(Shown(CleanText(c.Input, c.Quotes, c.LineFeeds)), Shown(c.Expected))
            << "input: " << Shown(c.Input);
}

TEST(LinkExtractorCleanText, EqualsTheRulesOnRandomText) {
    const std::string alphabet =
        std::string("aB= =  \"',\n\r\t\x01\xe9<>/\f!", 21) + std::string(1, '\0');
    // Word-like text, where blanks between words take the quick path and their neighbours
    // decide whether they may.
    std::vector<std::string> texts = RandomTexts(alphabet + "abcdefghij", 11, 20000);
    for (const std::string& text : RandomTexts("abcdefghijklmn    ==\"\n\x01", 12, 20000))
        texts.push_back(text);
    for (const std::string& text : texts)
        for (bool quotes : {false, true})
            for (bool lineFeeds : {false, true})
                ASSERT_EQ(Shown(CleanText(text, quotes, lineFeeds)),
                          Shown(ReferenceCleanText(text, quotes, lineFeeds)))
                    << Shown(text) << " quotes " << quotes << " line feeds " << lineFeeds;
}

// ---- MarkTags ----

TEST(LinkExtractorMarkTags, MarksTheLastCharacterOfEveryPattern) {
    const std::pair<const char*, const char*> cases[] = {
        {"<a href=x.htm>", "<{14} href{4}x.htm>"},
        {"<A HREF=X>", "<{14} HREF{4}X>"},
        {"<img src=a.gif>", "<img src{6}a.gif>"},
        {"</a>", "</a{16}"},
        {"<a/>", "<{14}/{16}"},
        {"href=http://host/a/>", "href=http://host/a/{16}"},
        {"<frame src=f.htm></frame>", "<fram{14} src{6}f.htm></fram{16}>"},
        {"openWin( page.htm )", "openWin({4}page.htm )"},
        {"<option value=/v.htm></option>", "<optio{14} value{5}/v.htm></option{16}"},
        {"<option value=/a>", "<optio{14} value{5}/a{16}"},
        {"<applet></applet>", "<{14}pple{14}></applet{16}"},
        {"<area href=x>", "<{14}rea href{4}x>"},
        {"openwin( href=x", "openwin({4}href{4}x"},
        // "BASE HREF=" and " HREF=" end on the same "=": the base marker wins.
        {"<base href=http://o/>", "<base href{7}http://o/>"},
        {"<BaSe HrEf=u", "<BaSe HrEf{7}u"},
        {"base  href=u", "base  href{4}u"},
        {" href=", " href{4}"},
        {"<a", "<{14}"},
        // Pictures of current pages: a srcset anywhere, data only in <object>, poster only in
        // <video>.
        {"<img srcset=a.jpg>", "<img srcset{6}a.jpg>"},
        {"<source SrcSet=a.jpg>", "<source SrcSet{6}a.jpg>"},
        {"<object data=o.pdf>", "<object data{6}o.pdf>"},
        {"<OBJECT type=x/y DATA=o.pdf>", "<OBJECT type=x/y DATA{6}o.pdf>"},
        {"<video poster=v.jpg src=v.mpg>", "<video poster{6}v.jpg src{6}v.mpg>"},
    };
    for (const auto& [input, expected] : cases) {
        std::string text = input;
        EXPECT_TRUE(MarkTags(text)) << input;
        EXPECT_EQ(Shown(text), Shown(Marked(expected))) << input;
    }
}

TEST(LinkExtractorMarkTags, TextWithoutPatternsIsLeftAlone) {
    for (const char* input : {"", "hello world", "basehref=x", " hre", "<b>bold</b>", "openwin(x",
                              "<p> data=x", "<object> data=x", "<objects data=x>", "<img poster=x>",
                              "<img data-srcset=x>", "<img data-src=x>"}) {
        std::string text = input;
        EXPECT_FALSE(MarkTags(text)) << input;
        EXPECT_EQ(text, input);
    }
}

TEST(LinkExtractorMarkTags, EqualsThePlainAutomatonOnRandomText) {
    // Mostly characters of the patterns, both cases, so that partial and overlapping
    // occurrences are frequent.
    const std::string alphabet = " =<>/()AaBbCcDdEeFfHhIiJjLlMmNnOoPpRrSsTtUuVvWw.x\x04\x0e";
    std::mt19937 random(20240611);
    // Long texts too: markers are written in batches once many wait.
    for (const auto& [length, rounds] : {std::pair{120u, 20000}, std::pair{6000u, 300}}) {
        for (int round = 0; round < rounds; ++round) {
            std::string text(random() % length, ' ');
            for (char& c : text) c = alphabet[random() % alphabet.size()];
            ExpectSameMarking(text);
        }
    }
}

TEST(LinkExtractorMarkTags, EqualsThePlainAutomatonOnPageLikeText) {
    const std::string pieces[] = {
        "<a href=\"x.htm\">",
        "</a>",
        "<A HREF=y.html>",
        "<img src=\"p.gif\" alt=\"p\">",
        "<base href=\"http://o/d/\">",
        "<frame src=f.htm>",
        "</frame>",
        "<option value=\"/v\">",
        "</option>",
        "<applet code=a>",
        "</applet>",
        "openWin('w.htm')",
        "<a/>",
        " value=",
        "<p>Some text, and more.</p>",
        "\n",
        "\t",
        "<area href=m.htm>",
        "<object type=\"t\" data=\"o.pdf\">",
        "<video poster=v.jpg>",
        "<img srcset=\"a.jpg 1x, b.jpg 2x\">",
        " data=",
        " poster=",
        "=",
        " ",
        "<",
        "/",
    };
    std::mt19937 random(7);
    for (int round = 0; round < 3300; ++round) {
        std::string page;
        const int count = round < 3000 ? 30 : 600;
        for (int k = 0; k < count; ++k) page += pieces[random() % std::size(pieces)];
        ExpectSameMarking(page);
        ExpectSameMarking(CleanText(page, true, false));
    }
}

// ---- CloseOpenAreas ----

TEST(LinkExtractorCloseOpenAreas, ClosesAnAreaThatIsOpenedAgain) {
    const std::pair<const char*, const char*> cases[] = {
        {"{14}x{14}y{16}", "{14}{16}{14}y{16}"},
        {"{14}a{16}{14}b{16}", "{14}a{16}{14}b{16}"},
        {"{14}{14}x", "{14}{14}x"},  // the second start is only the second character
        {"a{14}b{14}c{14}d", "a{14}{16}{14}{16}{14}d"},
        {"x{14}{14}{14}", "x{16}{16}{14}"},
        {"{16}{14}a", "{16}{14}a"},
        {"no markers", "no markers"},
    };
    for (const auto& [input, expected] : cases) {
        std::string text = Marked(input);
        CloseOpenAreas(text);
        EXPECT_EQ(Shown(text), expected) << input;
    }
}

TEST(LinkExtractorCloseOpenAreas, EqualsThePlainWalkOnRandomText) {
    for (const std::string& text : RandomTexts("ab\x0e\x0e\x10 ", 5, 20000)) {
        std::string fast = text;
        std::string reference = text;
        CloseOpenAreas(fast);
        ReferenceCloseOpenAreas(reference);
        ASSERT_EQ(Shown(fast), Shown(reference)) << Shown(text);
    }
}

// ---- ExtractLinks ----

TEST(LinkExtractorExtractLinks, CollectsLikeThePlainScanOnRandomText) {
    // Only letters, dots and slashes besides the separators, so no value rule drops anything.
    for (const std::string& text :
         RandomTexts(std::string("ab./ab./  >\x04\x05\x06\x07\x0e\x10\x01", 19), 3, 20000)) {
        Candidates expected;
        for (const auto& [value, kind] : ReferenceCollect(text)) {
            std::string accepted = value;
            const std::size_t greater = accepted.find('>');
            if (greater != std::string::npos) accepted.resize(greater);
            if (kind == kValueMarker ? accepted.find('/') != std::string::npos : accepted != "=")
                expected.emplace_back(accepted, kind);
        }
        ASSERT_EQ(ExtractMarked(text), expected) << Shown(text);
    }
}

struct PageCase {
    const char* Html;
    Candidates Expected;
};

TEST(LinkExtractorExtractLinks, GivesTheValuesOfTypicalTags) {
    const PageCase cases[] = {
        {"<a href=\"x.htm\">X</a>", {{"x.htm", 4}}},
        {"<A HREF='X.HTM'>X</A>", {{"X.HTM", 4}}},
        {"<a  href = \"x.htm\" >x</a>", {{"x.htm", 4}}},
        {"<img src=pic.gif>", {{"pic.gif", 6}}},
        {"<img src=\"a.gif\" alt=\"b\">", {{"a.gif", 6}}},
        {"<img alt=\"\" src=\"down.gif\"> <a title='' href=x.htm>",
         {{"down.gif", 6}, {"x.htm", 4}}},
        {"<frame src=\"f.htm\">", {{"f.htm", 6}}},
        {"<option value=\"/dir/page.htm\">", {{"/dir/page.htm", 5}}},
        {"<base href=\"http://other/x/\"><a href=\"y.htm\">y</a>",
         {{"http://other/x/", 7}, {"y.htm", 4}}},
        {"<a href=\"javascript:openWin('page.htm')\">", {{"page.htm", 4}}},
        {"<p onclick=\"openWin('a.htm','w')\">", {{"a.htm", 4}}},
        {"<a href=\"#top\">", {{"#top", 4}}},
        {"<a href=\"javascript:void(0)\">", {{"0", 4}}},
        {"<a href=\"javascript:history.back\">", {{"javascript:history.back", 4}}},
        {"<a href=1.htm>1</a> <img src=2.gif> <a href=3.htm>3</a>",
         {{"1.htm", 4}, {"2.gif", 6}, {"3.htm", 4}}},
    };
    for (const PageCase& c : cases) EXPECT_EQ(ExtractFromPage(c.Html), c.Expected) << c.Html;
}

// The tags of current pages, beside the described ones they read like.
TEST(LinkExtractorExtractLinks, ReadsTagsAsABrowserDoes) {
    const PageCase cases[] = {
        // Line breaks and tabs between a tag's parts.
        {"<a\nhref=\"x.htm\">x</a>", {{"x.htm", 4}}},
        {"<a\r\n   href=\"x.htm\"\r\n>x</a>", {{"x.htm", 4}}},
        {"<img\tsrc=pic.gif>", {{"pic.gif", 6}}},
        {"<IMG\n\tSRC = \"a.gif\"\n\tALT=\"b\">", {{"a.gif", 6}}},
        {"<base\nhref=\"http://o/x/\">", {{"http://o/x/", 7}}},
        {"<a href=\"long/\npath.htm\">", {{"long/path.htm", 4}}},  // dropped in an address
        {"<p>see\nsrc=x.gif</p>", {}},                             // text, not a tag
        // srcset: each candidate, before its descriptor, as a src.
        {"<img srcset=\"a.jpg 1x, b.jpg 2x\">", {{"a.jpg", 6}, {"b.jpg", 6}}},
        {"<img src=\"s.jpg\" srcset=\"m.jpg 480w,\n     l.jpg 800w\"\n"
         "  sizes=\"(max-width: 600px) 480px, 800px\" alt=\"big picture\">",
         {{"s.jpg", 6}, {"m.jpg", 6}, {"l.jpg", 6}}},
        {"<img srcset='a.jpg, b.jpg 1.5x,c.jpg'>", {{"a.jpg", 6}, {"b.jpg", 6}, {"c.jpg", 6}}},
        {"<img srcset=only.jpg alt=x>", {{"only.jpg", 6}}},
        {"<picture><source srcset=\"p.webp 1x\" type=\"image/webp\"><img src=\"p.jpg\"></picture>",
         {{"p.webp", 6}, {"p.jpg", 6}}},
        {"<img data-srcset=\"lazy.jpg 2x\" data-src=lazy.jpg>", {}},
        // object data, video poster, audio and source src.
        {"<object data=\"movie.swf\" type=\"application/x-shockwave-flash\"></object>",
         {{"movie.swf", 6}}},
        {"<object type=\"application/pdf\"\ndata=\"doc.pdf\">", {{"doc.pdf", 6}}},
        {"<p>post data=query.htm</p>", {}},
        {"<img poster=x.jpg>", {}},
        {"<video poster=\"v.jpg\" src=\"v.mpg\"><source src=\"v.avi\"></video>",
         {{"v.jpg", 6}, {"v.mpg", 6}, {"v.avi", 6}}},
        {"<audio src=\"a.mp3\"><source src=\"a.wav\" type=\"audio/wav\"></audio>",
         {{"a.mp3", 6}, {"a.wav", 6}}},
    };
    for (const PageCase& c : cases) EXPECT_EQ(ExtractFromPage(c.Html), c.Expected) << c.Html;
}

TEST(LinkExtractorExtractLinks, KeepsTheQuirksOfTheCleanedText) {
    const PageCase cases[] = {
        {"<a href=http://host/a/>", {}},       // "A/>" ends the area, and the value
        {"<a href=\"x,y.htm\">", {{"x", 4}}},  // the comma became a blank
        {"<a href=x.htm", {}},                 // never completed
        {"<a href=x.htm<a href=y.htm>", {{"y.htm", 4}}},
        {"<a href=>Home</a>", {}},
        {"<a href=>Home page</a>", {{"", 4}}},  // ">Home" cut before its ">"
        {"<a href==>", {}},
        {"<input value=\"Send\">", {}},    // no "/"
        {"<option value=\"a;b/c\">", {}},  // ";"
        {"<a href=\"a+b.htm\">", {}},
        {"<a href=\"list[1].htm\">", {}},
        {"<a href=\"top.window.location\">", {}},
        {"<a href=\"Top.Window.x\">", {}},
    };
    for (const PageCase& c : cases) EXPECT_EQ(ExtractFromPage(c.Html), c.Expected) << c.Html;
}

// A value that names its scheme is read as the page wrote it: "+", parentheses, commas and
// brackets are part of it, a quoted one ends at its quote. Other values keep the rules.
TEST(LinkExtractorExtractLinks, ReadsValuesThatNameTheirSchemeAsWritten) {
    // A quoted href comes back as written.
    for (const std::string value :
         {"https://en.wikipedia.org/wiki/Mercury_(planet)", "https://h.test/v8.git/+/refs/x.cc",
          "mailto:anna+news@example.org", "mailto:(toni@example.org)", "http://h.test/?a[0]=1",
          "http:x+y.htm"})
        EXPECT_EQ(ExtractFromPage("<a href=\"" + value + "\">"), (Candidates{{value, 4}})) << value;
    const PageCase cases[] = {
        {"<img src=\"HTTP://h.test/a+b.gif\">", {{"HTTP://h.test/a+b.gif", 6}}},
        {"<a href=\"http://host/BREACH%20-%20SSL,%20gone%20in%2030%20seconds.pdf\">x</a>",
         {{"http://host/BREACH%20-%20SSL,%20gone%20in%2030%20seconds.pdf", 4}}},
        {"<a href=\"http://[2001:db8::1]/a.htm\"> <a href='http://h.test/x.php?a[]=1'>",
         {{"http://[2001:db8::1]/a.htm", 4}, {"http://h.test/x.php?a[]=1", 4}}},
        {"<a HREF=\"MailTo:a@x.de, b@y.de\">", {{"MailTo:a@x.de, b@y.de", 4}}},
        {"<a href='mailto:Anna Muster &lt;anna@x.de&gt;'>A</a> <a href=n.htm>",
         {{"mailto:Anna Muster &lt;anna@x.de&gt;", 4}, {"n.htm", 4}}},
        // Unquoted up to a blank or ">"; quoted up to the quote, an apostrophe inside included.
        {"<a href=http://h/a,b.htm>x</a><a href=http://h/c,d.htm title=x>",
         {{"http://h/a,b.htm", 4}, {"http://h/c,d.htm", 4}}},
        {"<a href=\"http://h/it's,x.htm \" >", {{"http://h/it's,x.htm", 4}}},
        {"<a href=\"http://h/a\tb,\nc.htm\">", {{"http://h/ab,c.htm", 4}}},
        {"<a href=\" http://h/a,b.htm\">", {{"http://h/a,b.htm", 4}}},
        // What stands inside the quotes is no tag; an unclosed quote ends at ">" or "<".
        {"<a href=\"http://h/?q=1, href=x.htm\"><a href=y.htm>",
         {{"http://h/?q=1, href=x.htm", 4}, {"y.htm", 4}}},
        {"<a href=\"http://h/a,b.htm>x</a> <a href=\"c.htm\">",
         {{"http://h/a,b.htm", 4}, {"c.htm", 4}}},
        {"<a href=\"http://h.test/a.htm<b>\">", {{"http://h.test/a.htm", 4}}},
        {"<p onclick=\"openWin('http://h/a,b.htm','w')\">", {{"http://h/a,b.htm", 4}}},
        {"<base href=\"http://h/a,b/\"><option value=\"http://h/c,d\">",
         {{"http://h/a,b/", 7}, {"http://h/c,d", 5}}},
        // Bare values and script expressions keep the drop and comma rules.
        {"<a href=\"wiki/Mercury_(planet)\">", {{"planet", 4}}},
        {"<a href=\"x,mailto:a@b.de\">", {{"x", 4}}},
        {"<p onclick=\"openWin('a,b.htm','w')\">", {{"a", 4}}},
        {"<a href=\"list[1].htm\">", {}},
        {"<a href=\"javascript:f('http://h/x',1)\">", {{"", 4}}},  // the call's empty argument
    };
    for (const PageCase& c : cases) EXPECT_EQ(ExtractFromPage(c.Html), c.Expected) << c.Html;
    // Without the map of the cleaning the value is the cleaned one, script signs and all.
    EXPECT_EQ(ExtractMarked(Marked("{4}mailto:(a+b@x.de) ")),
              (Candidates{{"mailto:(a+b@x.de)", 4}}));
}

// The map is read from its nearest anchor: values far into a page, after runs of blanks, quotes
// and control bytes that cleaning drops or changes, are read whole.
TEST(LinkExtractorExtractLinks, ReadsSchemeValuesAsWrittenAnywhereInALongPage) {
    const std::string filler[] = {
        "  ",       "\"\"",   "\r\n\t", ", ,",        "<p>text, more</p>",
        "'x'",      "=\" \"", " href=", "openWin( a", std::string(300, ' '),
        "\x01\x02", "<b>"};
    std::mt19937 random(31);
    std::string page;
    Candidates expected;
    for (int k = 0; k < 2000; ++k) {
        page += filler[random() % std::size(filler)];
        const std::string url = "http://h/" + std::to_string(k) + ",x y.htm";
        page += k % 2 ? "<a href=\"" + url + "\">" : "<img src='" + url + "'>";
        expected.emplace_back(url, k % 2 ? 4 : 6);
    }
    Candidates found;
    for (const auto& candidate : ExtractFromPage(page))
        if (candidate.first.rfind("http://h/", 0) == 0) found.push_back(candidate);
    EXPECT_EQ(found, expected);
}

TEST(LinkExtractorExtractLinks, AppliesTheValueRulesToCollectedValues) {
    const PageCase cases[] = {
        {"{4}   x.htm ", {{"x.htm", 4}}},  // leading blanks skipped
        {"{4}>x.htm ", {{"", 4}}},         // a ">" may start a value; rule 3 empties it
        {"{4}a(b)c ", {{"b", 4}}},
        {"{4}f(a ", {{"a", 4}}},
        {"{4}f( ", {{"", 4}}},
        {"{4}f() ", {}},  // ")" at the first character is kept, then refused
        {"{4}(x) ", {}},  // "(" at the first character changes nothing
        {"{4}x.htm<b ", {{"x.htm", 4}}},
        {"{4}= ", {}},
        {"{5}= ", {}},
        {"{6}= ", {}},
        {"{5}/=/ ", {{"/=/", 5}}},
        {"{7}= ", {}},
        {"{4}x{5}/y ", {{"/y", 5}}},  // a new marker drops the value being collected
        {"{4}x{14}y ", {}},
        {"{4}x{16}{6}y ", {{"y", 6}}},
        {"{7}http://b/ ", {{"http://b/", 7}}},
        {"{4}x{1}y ", {{"x{1}y", 4}}},  // other low bytes are ordinary characters
        {"x ", {}},
    };
    for (const PageCase& c : cases) {
        Candidates expected;
        for (const auto& [value, kind] : c.Expected) expected.emplace_back(Marked(value), kind);
        EXPECT_EQ(ExtractMarked(Marked(c.Html)), expected) << c.Html;
    }
}

TEST(LinkExtractorExtractLinks, CapsTheTextAfterAnOpeningBracket) {
    const std::string text = Marked("{4}f(") + std::string(40000, 'a') + " ";
    const Candidates found = ExtractMarked(text);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].first, std::string(32000, 'a'));
}

TEST(LinkExtractorExtractLinks, StopsAtOnceWhenTheCallbackSaysSo) {
    std::string text = CleanText("<a href=1.htm> <a href=2.htm> <a href=3.htm>", true, false);
    ASSERT_TRUE(MarkTags(text));
    std::vector<std::string> seen;
    ExtractLinks(text, [&](const std::string& value, unsigned char) {
        seen.push_back(value);
        return false;
    });
    EXPECT_EQ(seen, std::vector<std::string>{"1.htm"});
}

// ---- head analysis ----

struct HeadEvents {
    std::vector<std::string> Titles;
    std::vector<std::pair<THeadTag, bool>> Tags;
};

HeadEvents ParseHeadOf(std::string_view Body) {
    HeadEvents events;
    ParseHead(
        Body, [&](const std::string& title) { events.Titles.push_back(title); },
        [&](const THeadTag& tag, bool raise) { events.Tags.emplace_back(tag, raise); });
    return events;
}

std::vector<std::string> Fields(const THeadTag& Tag) {
    return {Tag.TagType,  Tag.Attrib[0], Tag.Value[0], Tag.Attrib[1],
            Tag.Value[1], Tag.Attrib[2], Tag.Value[2]};
}

TEST(LinkExtractorParseHead, NeedsBothHeadTagsWhichMayHaveAttributes) {
    const std::pair<const char*, bool> cases[] = {
        {"<html><title>T</title><meta name=a content=b></html>", false},
        {"<html><head><title>T</title><meta name=a content=b></html>", false},
        {"<title>T</title><meta name=a content=b></head>", false},
        {"</head><title>T</title><meta name=a content=b><head>", false},
        {"<header><title>T</title><meta name=a content=b></head>", false},
        {"<HEAD><title>T</title><meta name=a content=b></HEAD>", true},
        {"<head lang=en><title>T</title><meta name=a content=b></head>", true},
        {"<head\n  prefix=\"og: http://ogp.me/ns#\"><title>T</title><meta name=a content=b></head>",
         true},
        {"<header><head lang=de><title>T</title><meta name=a content=b></head>", true},
        {"<head>\n<title>T</title>\n<meta name=a content=b>\n</head\n>", true},
        {"<head><title>T</title><meta name=a content=b></header></HEAD >", true},
        {"<head><title>T</title><meta name=a content=b></headline>", false},
    };
    for (const auto& [body, isHead] : cases) {
        const HeadEvents events = ParseHeadOf(body);
        EXPECT_EQ(events.Titles.size(), isHead ? 1u : 0u) << body;
        EXPECT_EQ(events.Tags.size(), isHead ? 1u : 0u) << body;
    }
}

TEST(LinkExtractorParseHead, ReportsTheTitle) {
    const std::pair<const char*, const char*> cases[] = {
        {"<HTML><HEAD><TITLE>My Page</TITLE></HEAD>", "My Page"},
        {"<head><Title>My\r\nPage</title></head>", "My Page"},
        {"<head><title>My\nPage</title></head>", "My Page"},
        {"<head><title></title></head>", ""},
        {"<head></title>x<title></head>", ""},
    };
    for (const auto& [body, title] : cases) {
        const HeadEvents events = ParseHeadOf(body);
        EXPECT_EQ(events.Titles, std::vector<std::string>{title}) << body;
        EXPECT_TRUE(events.Tags.empty()) << body;
    }
}

TEST(LinkExtractorParseHead, AnalysesFourLetterTags) {
    const HeadEvents events = ParseHeadOf(
        "<head>\n<meta name=\"Author\" content=\"A B\">\n<meta name=author content=x>\n"
        "<meta\nname=\"a\"\ncontent=\"b\">\n<meta name=\"a\" content=\"b\" >\n"
        "<meta name=\"a\" content=\"b\" />\n<link rel=a type=b href=c media=d>\n"
        "<script src=x></script><base href=\"http://h/\"></head>");
    using Row = std::pair<std::vector<std::string>, bool>;
    const Row expected[] = {
        {{"META", "NAME", "Author", "CONTENT", "A B", "", ""}, true},
        {{"META", "NAME", "AUTHOR", "CONTENT", "X", "", ""}, true},
        {{"META", "NAME", "a", "CONTENT", "b", "", ""}, true},  // line breaks became blanks
        {{"META", "NAME", "a", "CONTENT", "b", "", ""}, false},
        {{"META", "NAME", "a", "CONTENT", "b", "/", ""}, false},
        {{"LINK", "REL", "A", "TYPE", "B", "HREF", "C"}, false},
        {{"BASE", "HREF", "http://h/", "", "", "", ""}, true},
    };
    ASSERT_EQ(events.Tags.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(Fields(events.Tags[i].first), expected[i].first) << "tag " << i;
        EXPECT_EQ(events.Tags[i].second, expected[i].second) << "tag " << i;
    }
}

TEST(LinkExtractorParseHead, ParseHeadTagKeepsQuotedCaseAndDropsSigns) {
    struct Case {
        const char* Tag;
        std::vector<std::string> Fields;
        bool Raise;
    };
    const Case cases[] = {
        {"meta http-equiv=\"refresh\" content=\"5; URL=next.htm\"",
         {"META", "HTTP-EQUIV", "refresh", "CONTENT", "5; URLnext.htm", "", ""},
         true},
        {"meta a b=c", {"META", "AB", "C", "", "", "", ""}, true},
        {"meta \"a b\"=c", {"META", "A B", "C", "", "", "", ""}, true},
        {"meta a", {"META", "A", "", "", "", "", ""}, false},
        {"meta a=1 b=2 c=3", {"META", "A", "1", "B", "2", "C", "3"}, true},
        {"meta a=1 b=2 c=3 d=4", {"META", "A", "1", "B", "2", "C", "3"}, false},
        {"meta", {"META", "", "", "", "", "", ""}, false},
    };
    for (const Case& c : cases) {
        bool raise = !c.Raise;
        std::string upper = c.Tag;
        for (char& ch : upper)
            if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 32);
        EXPECT_EQ(Fields(ParseHeadTag(c.Tag, upper, raise)), c.Fields) << c.Tag;
        EXPECT_EQ(raise, c.Raise) << c.Tag;
    }
}

}  // namespace
