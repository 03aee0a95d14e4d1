#include <gtest/gtest.h>

#include "TextRoutines.h"

namespace {

TEST(TextRoutinesTest, AddTrailingBackslashEndsAFolderWithOneSlash) {
    EXPECT_EQ(AddTrailingBackslash(""), "");
    EXPECT_EQ(AddTrailingBackslash("/data"), "/data/");
    EXPECT_EQ(AddTrailingBackslash("/data/"), "/data/");
    EXPECT_EQ(AddTrailingBackslash("/"), "/");
    EXPECT_EQ(AddTrailingBackslash("ab"), "ab/");
}

TEST(TextRoutinesTest, WordsSkipLeadingDelimitersAndRunsSeparateOnce) {
    EXPECT_EQ(ExtractWordN(1, ";;a;;b", ";"), "a");
    EXPECT_EQ(ExtractWordN(2, ";;a;;b", ";"), "b");
    EXPECT_EQ(ExtractWordN(3, ";;a;;b", ";"), "");
    EXPECT_EQ(ExtractWordN(4, ";;a;;b", ";"), "");
    EXPECT_EQ(ExtractWordN(2, "one, two;three", " ,;"), "two");
    EXPECT_EQ(ExtractWordN(1, "", ";"), "");
    EXPECT_EQ(ExtractWordN(0, "a", ";"), "");

    std::size_t position = 0;
    ASSERT_TRUE(WordPositionN(2, ";;a;;bc;", ";", position));
    EXPECT_EQ(position, 6u);
    ASSERT_TRUE(WordPositionN(1, "abc", ";", position));
    EXPECT_EQ(position, 1u);
    EXPECT_FALSE(WordPositionN(2, "abc;;;", ";", position));
}

}  // namespace
