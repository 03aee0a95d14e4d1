#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "TIniFile.h"

namespace {

TEST(TIniFileTest, ReadsByWindowsRules) {
    TIniFile ini("/nonexistent/Program.ini");
    ini.Parse(
        "; comment\r\n[Other]\r\nURL=wrong\r\n[settings]\r\n  url = http://a.example/  \r\n"
        "Depth=12\r\nBad=12x\r\nFlag=true\r\nOne=1\r\nQuoted=\"  padded  \"\nbare line\r\n"
        "Empty=\r\n");
    EXPECT_EQ(ini.ReadString("SETTINGS", "URL", "d"), "http://a.example/");
    EXPECT_EQ(ini.ReadString("SETTINGS", "Missing", "d"), "d");
    EXPECT_EQ(ini.ReadString("SETTINGS", "Empty", "d"), "");
    EXPECT_EQ(ini.ReadInteger("SETTINGS", "Depth", 3), 12);
    EXPECT_EQ(ini.ReadInteger("SETTINGS", "Bad", 3), 3);
    EXPECT_EQ(ini.ReadInteger("SETTINGS", "URL", 3), 3);
    EXPECT_TRUE(ini.ReadBool("SETTINGS", "Flag", false));
    EXPECT_FALSE(ini.ReadBool("SETTINGS", "One", true));
    EXPECT_TRUE(ini.ReadBool("SETTINGS", "Missing", true));
    EXPECT_EQ(ini.ReadString("SETTINGS", "Quoted", ""), "  padded  ");
}

TEST(TIniFileTest, WritesInFirstWrittenOrderAndRoundTripsAwkwardValues) {
    QTemporaryDir dir;
    const QString path = dir.filePath("x.ini");
    const QString values[] = {"a,b", "\"q\"", " lead", "trail ", "\u00e4\u00df", "k=v;w", ""};
    {
        TIniFile ini(path);
        ini.WriteInteger("S", "N", 5);
        for (int i = 0; i < 7; ++i) ini.WriteString("S", QString("V%1").arg(i), values[i]);
        ini.WriteInteger("s", "n", 6);  // same key, other case: replaced in place
        QString error;
        ASSERT_TRUE(ini.Save(false, error)) << error.toStdString();
        EXPECT_TRUE(ini.ToText().startsWith("[S]\r\nN=6\r\nV0=a,b\r\nV1=\"\"q\"\"\r\n"));
    }
    TIniFile back(path);
    EXPECT_EQ(back.ReadInteger("S", "N", 0), 6);
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(back.ReadString("S", QString("V%1").arg(i), "missing"), values[i]) << i;
}

TEST(TIniFileTest, BinaryGarbageReadsAsMissingKeys) {
    TIniFile ini("/nonexistent");
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 131 + 7) % 256));
    ini.Parse(garbage);
    EXPECT_EQ(ini.ReadInteger("SETTINGS", "Depth", 3), 3);
}

TEST(TIniFileTest, TextLinesKeepBytesAndEndInCrLf) {
    QTemporaryDir dir;
    const QString path = dir.filePath("lines.ini");
    QString error;
    ASSERT_TRUE(WriteTextLines(path, {"eins", "", "dr\u00e9i"}, error));
    QStringList lines;
    ASSERT_TRUE(ReadTextLines(path, lines));
    EXPECT_EQ(lines, (QStringList{"eins", "", "dr\u00e9i"}));
    EXPECT_FALSE(ReadTextLines(dir.filePath("missing"), lines));
    EXPECT_FALSE(WriteTextLines(dir.filePath("no/such/folder/x"), {"a"}, error));
    EXPECT_FALSE(error.isEmpty());
}

TEST(TIniFileTest, TextBeyondLatin1LoadsBackAndLatin1StaysAsItWas) {
    QTemporaryDir dir;
    const QString path = dir.filePath("u.ini");
    const QString url = QString::fromUtf8("http://www.m\xC3\xBCller.de/\xE2\x82\xAC");
    // Latin-1 text whose bytes happen to be UTF-8 must not read back as other characters.
    const QString lookalike = QString::fromLatin1("\xC3\xBC");
    TIniFile ini(path);
    ini.WriteString("S", "Latin", QString("M\u00fcller"));
    ini.WriteString("S", "URL", url);
    ini.WriteString("S", "Look", lookalike);
    EXPECT_EQ(ini.ToText(), QByteArray("[S]\r\nLatin=M\xFCller\r\nURL=") + url.toUtf8() +
                                "\r\nLook=" + lookalike.toUtf8() + "\r\n");
    QString error;
    ASSERT_TRUE(ini.Save(false, error));
    const TIniFile back(path);
    EXPECT_EQ(back.ReadString("S", "Latin", ""), QString("M\u00fcller"));
    EXPECT_EQ(back.ReadString("S", "URL", ""), url);
    EXPECT_EQ(back.ReadString("S", "Look", ""), lookalike);

    const QStringList lines = {QString::fromUtf8("m\xC3\xBCller"), url, lookalike, "plain"};
    ASSERT_TRUE(WriteTextLines(path, lines, error));
    QStringList read;
    ASSERT_TRUE(ReadTextLines(path, read));
    EXPECT_EQ(read, lines);
}

}  // namespace
