// A page's bytes become text as a browser reads them: the encoding by the HTML standard's order,
// labels by the WHATWG table, and the query of a link written back in the page's encoding.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "PageCharset.h"
#include "UrlEncoding.h"

namespace {

// Labels by the WHATWG table, the charset parameter of a Content-Type as written, and the
// prescan of a page's first 1024 bytes for its meta declaration.
TEST(PageCharsetTest, DeclarationsNameTheEncodingsBrowsersUse) {
    using TReader = std::string (*)(std::string_view);
    const TReader label = EncodingOfLabel, type = CharsetOfContentType, meta = PrescanForEncoding;
    const std::string far(1100, ' ');
    const struct {
        TReader read;
        std::string text, name;
    } cases[] = {
        {label, "iso-8859-1", "windows-1252"},
        {label, " US-ASCII\t", "windows-1252"},
        {label, "Latin1", "windows-1252"},
        {label, "utf8", "UTF-8"},
        {label, "cp1251", "windows-1251"},
        {label, "koi8", "KOI8-R"},
        {label, "sjis", "Shift_JIS"},
        {label, "x-euc-jp", "EUC-JP"},
        {label, "gb2312", "GBK"},
        {label, "ks_c_5601-1987", "EUC-KR"},
        {label, "iso-2022-kr", "replacement"},
        {label, "ucs-2", "UTF-16LE"},
        {label, "latin-1", ""},
        {label, "", ""},
        {label, "utf-8 x", ""},
        {type, "text/html; charset=ISO-8859-1", "ISO-8859-1"},
        {type, "text/html;charset=\"koi8-r\";level=1", "koi8-r"},
        {type, "text/html; level=1; CHARSET=utf-8", "utf-8"},
        {type, "text/html", ""},
        {type, "text/html; charset", ""},
        {meta, "<meta charset=\"koi8-r\">", "KOI8-R"},
        {meta, "<META CHARSET=Latin1>", "windows-1252"},
        {meta, "<meta name=x charset='big5'>", "Big5"},
        {meta, "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">",
         "windows-1251"},
        {meta, "<meta content='text/html;charset=gbk' http-equiv=content-type>", "GBK"},
        // content without the pragma declares nothing
        {meta, "<meta content=\"text/html; charset=gbk\">", ""},
        {meta, "<!-- <meta charset=sjis> --><meta charset=euc-jp>", "EUC-JP"},
        {meta, "<!--><meta charset=sjis>", "Shift_JIS"},
        {meta, "<p title=\"<meta charset=gbk>\"><meta charset=koi8-u>", "KOI8-U"},
        {meta, "<meta charset=utf-16le>", "UTF-8"},
        {meta, "<meta charset=x-user-defined>", "windows-1252"},
        {meta, "<meta charset=nonsense><meta charset=sjis>", "Shift_JIS"},
        {meta, "<metacharset=sjis>", ""},
        {meta, far + "<meta charset=sjis>", ""},
        {meta, "<meta charset=\"sjis", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.read(c.text), c.name) << c.text;
}

TEST(PageCharsetTest, PagesDecodeIntoUtf8ByTheStandardsOrder) {
    using S = TCharsetSource;
    const struct {
        std::string body, contentType, text, encoding;
        TCharsetSource source;
    } cases[] = {
        {"j\xFCrgen@m\xFCller.de", "text/html; charset=iso-8859-1", "jürgen@müller.de",
         "windows-1252", S::Header},
        {"a\x96"
         "b \x80",
         "text/html", "a–b €", "windows-1252", S::Detected},
        {"m\xC3\xBCller", "text/html", "müller", "UTF-8", S::Detected},
        {"\xEF\xBB\xBFm\xC3\xBC", "text/html; charset=latin1", "mü", "UTF-8", S::Bom},
        {std::string("\xFF\xFE"
                     "a\0\xFC\0",
                     6),
         "text/html", "aü", "UTF-16LE", S::Bom},
        {std::string("\xFE\xFF\0a\0\xFC", 6), "text/html", "aü", "UTF-16BE", S::Bom},
        {"<meta charset=koi8-r>\xF0\xD2\xC9", "text/html", "<meta charset=koi8-r>При", "KOI8-R",
         S::Meta},
        // the header outranks the page's own declaration
        {"<meta charset=koi8-r>\xF0", "text/html; charset=utf-8", "<meta charset=koi8-r>\uFFFD",
         "UTF-8", S::Header},
        {"\xCF\xF0\xE8", "text/html; charset=windows-1251", "При", "windows-1251", S::Header},
        {"\xF0\xD2\xC9", "text/html; charset=koi8-r", "При", "KOI8-R", S::Header},
        {"\x82\xA0\x88\x9F", "text/html; charset=shift_jis", "あ亜", "Shift_JIS", S::Header},
        {"\xA4\xA2\xB0\xA1", "text/html; charset=euc-jp", "あ亜", "EUC-JP", S::Header},
        {"\xC4\xE3\xBA\xC3", "text/html; charset=gbk", "你好", "GBK", S::Header},
        {"\xC4\xE3\xBA\xC3", "text/html; charset=gb2312", "你好", "GBK", S::Header},
        {std::string("a\0b", 3), "text/html", "ab", "UTF-8", S::Detected},
        {std::string("\xFC\0", 2), "text/html", "ü", "windows-1252", S::Detected},
        {"<a href=x>", "text/html; charset=iso-2022-kr", "\uFFFD", "replacement", S::Header},
        // broken UTF-8: each maximal broken part is one U+FFFD
        {"a\xFF\xC3", "text/html; charset=utf-8", "a\uFFFD\uFFFD", "UTF-8", S::Header},
        {"\xE2\x82x\xF0\x9F\x98", "text/html; charset=utf-8", "\uFFFDx\uFFFD", "UTF-8", S::Header},
        {"\xED\xA0\x80", "text/html; charset=utf-8", "\uFFFD\uFFFD\uFFFD", "UTF-8", S::Header},
        // an unknown label leaves the choice to the next step
        {"m\xFC", "text/html; charset=klingon", "mü", "windows-1252", S::Detected},
        {"", "text/html", "", "UTF-8", S::Detected},
    };
    for (const auto& c : cases) {
        const TPageText page = DecodePage(c.body, c.contentType);
        EXPECT_EQ(page.Text, c.text) << c.body;
        EXPECT_EQ(page.Encoding, c.encoding) << c.body;
        EXPECT_EQ(page.Source, c.source) << c.body;
        EXPECT_TRUE(IsUtf8(page.Text)) << c.body;
    }
}

TEST(PageCharsetTest, EveryByteOfTheNamedEncodingsGivesUtf8) {
    std::string all;
    for (int b = 1; b < 256; ++b) all += static_cast<char>(b);
    for (const char* label :
         {"windows-1252", "windows-1251", "koi8-r", "shift_jis", "euc-jp", "gbk", "big5", "euc-kr",
          "iso-2022-jp", "utf-16le", "x-user-defined", "macintosh", "iso-8859-8-i"}) {
        const TPageText page = DecodePage(all + all, std::string("text/html; charset=") + label);
        EXPECT_EQ(page.Encoding, EncodingOfLabel(label));
        EXPECT_TRUE(IsUtf8(page.Text)) << label;
        EXPECT_FALSE(page.Text.empty()) << label;
        EXPECT_EQ(page.Text.find('\0'), std::string::npos) << label;
    }
}

TEST(PageCharsetTest, AQueryIsWrittenInThePagesEncoding) {
    const struct {
        std::string value, encoding, written;
    } cases[] = {
        {"find?q=m\xC3\xBCller", "windows-1252", "find?q=m%FCller"},
        {"find?q=m\xC3\xBCller", "UTF-8", "find?q=m\xC3\xBCller"},
        {"find?q=m\xC3\xBCller", "", "find?q=m\xC3\xBCller"},
        {"find?q=m\xC3\xBCller", "UTF-16LE", "find?q=m\xC3\xBCller"},
        // the path stays for UTF-8 later; the fragment is no query
        {"/m\xC3\xBC/x?a=\xC3\xBC#\xC3\xBC", "windows-1252", "/m\xC3\xBC/x?a=%FC#\xC3\xBC"},
        {"?q=\xD0\x9F", "windows-1251", "?q=%CF"},
        {"?q=\xD0\x9F", "KOI8-R", "?q=%F0"},
        {"?q=\xE3\x81\x82", "Shift_JIS", "?q=%82%A0"},
        {"?q=\xE3\x81\x82", "EUC-JP", "?q=%A4%A2"},
        {"?q=\xE4\xBD\xA0", "GBK", "?q=%C4%E3"},
        // a character the encoding lacks goes as a character reference
        {"?q=\xE4\xB8\xAD", "windows-1252", "?q=&%2320013;"},
        {"?q=\xF0\x9F\x98\x80", "windows-1252", "?q=&%23128512;"},
        {"http://h/?a=b c", "windows-1252", "http://h/?a=b c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(QueryInEncoding(c.value, c.encoding), c.written) << c.value << " " << c.encoding;
}

}  // namespace
