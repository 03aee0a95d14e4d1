#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "HarvestText.h"

namespace {

using Lines = std::vector<std::string>;

TEST(HarvestTextTest, DecodeAtSignReplacesOnlyTheFirstOccurrence) {
    EXPECT_EQ(DecodeAtSign("anna%40example.org"), "anna@example.org");
    EXPECT_EQ(DecodeAtSign("a%40b%40c%20d"), "a@b%40c%20d");
    EXPECT_EQ(DecodeAtSign("plain@example.org"), "plain@example.org");
    EXPECT_EQ(DecodeAtSign("%4"), "%4");
    EXPECT_EQ(DecodeAtSign("%40"), "@");
    EXPECT_EQ(DecodeAtSign(""), "");
}

TEST(HarvestTextTest, MailAddressesAreDecodedWholeUnlessThatWouldBreakThem) {
    const std::pair<std::string, std::string> cases[] = {
        {"j%C3%BCrgen@m%C3%BCller.test", "j\xC3\xBCrgen@m\xC3\xBCller.test"},
        {"anna%40m%c3%bcller.test", "anna@m\xC3\xBCller.test"},
        {"a%2Bb%40x.test", "a+b@x.test"},
        {"a%25b@x.test", "a%b@x.test"},
        {"raw@m\xC3\xBCller.test", "raw@m\xC3\xBCller.test"},
        {"%4@x.test%", "%4@x.test%"},  // broken escapes stay as they are
        // Control bytes and bytes that are not UTF-8 keep every escape.
        {"a%0D%0Ab%40x.test", "a%0D%0Ab%40x.test"},
        {"a%00@x.test", "a%00@x.test"},
        {"a%7Fb@x.test", "a%7Fb@x.test"},  // DEL is invisible in a result
        {"j%FCrgen%40x.test", "j%FCrgen%40x.test"},
        {"j\xFCrgen%40x.test", "j\xFCrgen%40x.test"},
    };
    for (const auto& [address, decoded] : cases) EXPECT_EQ(DecodeMailAddress(address), decoded);
    // The result text: an address as an earlier run journal holds it is decoded, the at-sign
    // repair after it; one the engine decoded is never decoded twice.
    EXPECT_EQ(ResultText("mail", "j%C3%BCrgen%40x.test"), "j\xC3\xBCrgen@x.test");
    EXPECT_EQ(ResultText("mail", "j%FCrgen%40x%40y"), "j%FCrgen@x%40y");
    EXPECT_EQ(ResultText("mail", "a%41@x.de"), "a%41@x.de");
    EXPECT_EQ(ResultText("mail", "a%40b\"@x.de"), "a%40b\"@x.de");
    EXPECT_EQ(ResultText("pdf", "http://h/pr%C3%BCfung.pdf"), "http://h/pr%C3%BCfung.pdf");
    EXPECT_EQ(ResultText("pdf", "http://h/a%40b%40c.pdf"), "http://h/a@b%40c.pdf");
}

TEST(HarvestTextTest, KeywordsOutsideAsciiAlsoComeInTheFormsOfUrls) {
    EXPECT_EQ(KeywordLines("shop\nkontakt"), "shop\nkontakt");
    EXPECT_EQ(KeywordLines(""), "");
    EXPECT_EQ(KeywordLines("k\xC3\xA4se\nshop"), "k\xC3\xA4se\nshop\nk%C3%A4se");
    // A Latin-1 line (a keyword file from an older editor) is matched as the same word.
    EXPECT_EQ(KeywordLines("k\xE4se\r\n"), "k\xE4se\r\n\nk\xC3\xA4se\nk%C3%A4se");
}

TEST(HarvestTextTest, BytesReadAsUtf8WhenTheyAreUtf8ElseAsLatin1) {
    EXPECT_EQ(TextOfBytes("m\xC3\xBCller"), QString("m\u00fcller"));
    EXPECT_EQ(TextOfBytes("m\xFCller"), QString("m\u00fcller"));
    EXPECT_EQ(TextOfBytes("\xF0\x9F\x98\x80"), QString::fromUtf8("\xF0\x9F\x98\x80"));
    EXPECT_EQ(TextOfBytes("\xC3"), QString("\u00c3"));
    EXPECT_EQ(TextOfBytes(""), QString());
}

TEST(HarvestTextTest, TypePrefixIsSixCharactersForShortTypes) {
    EXPECT_EQ(TypePrefix("mail"), "mail  ");
    EXPECT_EQ(TypePrefix("jpg"), "jpg   ");
    EXPECT_EQ(TypePrefix(""), "      ");
    EXPECT_EQ(TypePrefix("jpeg2"), "jpeg2  ");
}

TEST(HarvestTextTest, RemoveDuplicateLinesKeepsEachAddressOnceSorted) {
    // The same address from three runs, mixed with others.
    EXPECT_EQ(RemoveDuplicateLines({"b@x.org", "a@x.org", "b@x.org", "c@x.org", "b@x.org"}),
              (Lines{"a@x.org", "b@x.org", "c@x.org"}));
    // Letter case makes a different address; the tie is broken by the bytes, upper case first.
    EXPECT_EQ(RemoveDuplicateLines({"anna@x.org", "Bob@x.org", "Anna@x.org", "bob@x.org"}),
              (Lines{"Anna@x.org", "anna@x.org", "Bob@x.org", "bob@x.org"}));
    EXPECT_EQ(RemoveDuplicateLines({}), Lines{});
}

TEST(HarvestTextTest, RemoveDuplicateLinesJudgesRecordsByTheirFirstField) {
    // Equal up to ";": only the first in sorted order stays.
    EXPECT_EQ(RemoveDuplicateLines({"http://h/a.pdf;v=2", "http://h/a.pdf;v=1"}),
              (Lines{"http://h/a.pdf;v=1"}));
    // A key is trimmed of blanks and control characters before it is compared.
    EXPECT_EQ(RemoveDuplicateLines({" k\t;1", "k;2"}), (Lines{" k\t;1"}));
    // A FEHLER record is dropped, but its key still hides the records after it.
    EXPECT_EQ(
        RemoveDuplicateLines({"u1;a;b;FEHLER", "u1;a;b;ok", "u2;;a;;b; FEHLER ", "u3;a;b;Fehler"}),
        (Lines{"u3;a;b;Fehler"}));
    // Empty fields do not count: the fourth word of "u;;a;b;c" is "c".
    EXPECT_EQ(RemoveDuplicateLines({"u;;a;b;FEHLER"}), Lines{});
}

TEST(HarvestTextTest, RemoveDuplicateLinesDropsEmptyAndBlankLines) {
    EXPECT_EQ(RemoveDuplicateLines({"", "a", " ", "\t", "b", "", ";;"}), (Lines{"a", "b"}));
}

class HarvestFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_dir.isValid()); }
    QString Write(const QByteArray& content) {
        const QString path = m_dir.filePath("results.txt");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path;
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        return file.readAll();
    }
    QTemporaryDir m_dir;
};

// Any line end (CR LF, LF, a lone CR) is read; every line is written back with CR LF, as UTF-8.
TEST_F(HarvestFileTest, RewritesWithCrLfAsUtf8) {
    const QByteArray high = QByteArrayLiteral(
        "j\xF6rg@x.org\r\n\xFF\x80@x.org\nb@x.org\ra@x.org\r\n\r\nb@x.org\nj\xC3\xB6rg@x.org");
    const QString path = Write(high);
    int lines = -1;
    QString error;
    ASSERT_TRUE(RemoveDuplicatesInFile(path, lines, error)) << error.toStdString();
    EXPECT_EQ(lines, 4);
    const QByteArray result = Read(path);
    // A line of an older file that is not UTF-8 is read as Latin-1 and written as UTF-8, so its
    // UTF-8 twin is a duplicate.
    EXPECT_EQ(result, QByteArrayLiteral(
                          "a@x.org\r\nb@x.org\r\nj\xC3\xB6rg@x.org\r\n\xC3\xBF\xC2\x80@x.org\r\n"));
}

TEST_F(HarvestFileTest, EmptyFileStaysEmpty) {
    const QString path = Write("");
    int lines = -1;
    QString error;
    ASSERT_TRUE(RemoveDuplicatesInFile(path, lines, error));
    EXPECT_EQ(lines, 0);
    EXPECT_EQ(Read(path), QByteArray());
}

TEST_F(HarvestFileTest, MissingFileIsReported) {
    int lines = -1;
    QString error;
    EXPECT_FALSE(RemoveDuplicatesInFile(m_dir.filePath("missing.txt"), lines, error));
    EXPECT_TRUE(error.contains("missing.txt"));
    EXPECT_EQ(lines, -1);
}

TEST_F(HarvestFileTest, WriteFailureLeavesTheFileAlone) {
    int lines = -1;
    QString error;
    // A file in a folder that cannot be written to: the old content must stay.
    const QString path = Write("b\r\na\r\n");
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::ExeOwner);
    error.clear();
    const bool ok = RemoveDuplicatesInFile(path, lines, error);
    QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    if (ok) GTEST_SKIP() << "running with rights that ignore folder permissions";
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(Read(path), QByteArray("b\r\na\r\n"));
}

}  // namespace
