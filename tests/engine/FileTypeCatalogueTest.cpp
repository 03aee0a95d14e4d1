#include "FileTypeCatalogue.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

TEST(FileTypeCatalogue, HasTheRowsAndLengthsOfTheTable) {
    ASSERT_EQ(FileTypeCount(), 550);
    std::map<std::size_t, int> byLength;
    for (int row = 1; row <= FileTypeCount(); ++row) {
        const std::string_view ext = FileTypeExtension(row);
        ++byLength[ext.size()];
        for (char c : ext)
            EXPECT_TRUE((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '$' || c == '@')
                << "row " << row << " holds " << ext;
        EXPECT_LE(FileTypeDescription(row).size(), 62u) << "row " << row;
    }
    const std::map<std::size_t, int> expected{{1, 5}, {2, 27}, {3, 512}, {4, 5}, {5, 1}};
    EXPECT_EQ(byLength, expected);
}

// Row numbers are handed out, so the order is part of the contract: byte order after the two
// rows made of symbols.
TEST(FileTypeCatalogue, RowsStandInTableOrder) {
    EXPECT_EQ(FileTypeExtension(1), "$$$");
    EXPECT_EQ(FileTypeExtension(2), "@@@");
    for (int row = 4; row <= FileTypeCount(); ++row)
        EXPECT_LT(FileTypeExtension(row - 1), FileTypeExtension(row)) << "row " << row;
}

TEST(FileTypeCatalogue, EveryRowIsFoundAtItsOwnNumber) {
    for (int row = 1; row <= FileTypeCount(); ++row)
        EXPECT_EQ(FindFileType(FileTypeExtension(row)), row) << FileTypeExtension(row);
}

TEST(FileTypeCatalogue, TellingRowsHaveTheirExtensionAndDescription) {
    struct Row {
        int Number;
        const char* Extension;
        const char* Description;
    };
    const Row rows[] = {
        {1, "$$$", "Used by OS/2 to keep track of archived files"},
        {2, "@@@", "Screen files used in the installation and instruction on "},
        {168, "exe", "Executable file (program)"},
        {203, "gif", "CompuServe bitmap"},
        {255, "jpeg", "JPEG bitmap"},
        {256, "jpg", "JPEG bitmap"},
        {279, "mail", "e-mail address"},
        {310, "mp3", "MPEG Audio Layer 3 (AC3)"},
        {312, "mpeg", "MPEG animation"},
        {313, "mpg", "MPEG animation"},
        {354, "pdf", "Adobe Acrobat Portable Document Format / Netware "},
        {369, "pl", "Perl program"},
        {454, "theme", "Windows 95 Desktop Theme"},
        {467, "txt", "Text"},
        {548, "z", "Unix Gzip"},
        {549, "zip", "Zip file"},
        {550, "zoo", "An early compressed file format"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(FileTypeExtension(row.Number), row.Extension);
        EXPECT_EQ(FileTypeDescription(row.Number), row.Description) << row.Extension;
        EXPECT_EQ(FindFileType(row.Extension), row.Number);
    }
}

TEST(FileTypeCatalogue, LookupIsExact) {
    const std::string_view missing[] = {
        "htm",    "html",   "shtml", "php", "asp",  "cgi",  "jsp",  "cfm",  // pages
        "",       "JPG",    "Zip",   "jp",  "jpgx", " jpg", "jpg ",         // near misses
        "abcdef", "themes", "0",     "zzz", "$",    "@@",                   // out of every range
    };
    for (std::string_view ext : missing) EXPECT_EQ(FindFileType(ext), -1) << "'" << ext << "'";
    // A NUL inside the key must not end the comparison early.
    EXPECT_EQ(FindFileType(std::string_view("jpg\0", 4)), -1);
}

TEST(FileTypeCatalogue, RowNumbersOutsideTheTableGiveNothing) {
    for (int row : {-1, 0, 551}) {
        EXPECT_TRUE(FileTypeExtension(row).empty());
        EXPECT_TRUE(FileTypeDescription(row).empty());
    }
}

}  // namespace
