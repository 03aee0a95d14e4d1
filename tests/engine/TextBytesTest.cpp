#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "TextBytes.h"

namespace {

using Lines = std::vector<std::string_view>;

TEST(TextBytesTest, ControlBytesAreTheBytesBelow32) {
    struct Case {
        std::string text;
        bool control;
    };
    const Case cases[] = {
        {"", false},
        {"http://h.test/a b.htm", false},
        {std::string("a\0b", 3), true},
        {"a\tb", true},
        {"a\rb", true},
        {"\x1f", true},
        // DEL and the bytes above it are no line end and do not cut a C string.
        {"a\x7f!", false},
        {"\x80\xff\xe4", false},
    };
    for (const Case& c : cases) EXPECT_EQ(HasControlByte(c.text), c.control) << c.text;
}

TEST(TextBytesTest, CrLfAndCrLfEndALineAndAFinalEndAddsNone) {
    struct Case {
        std::string_view text;
        Lines lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\rb\nc", {"a", "b", "c"}},
        {"a\n\r\nb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},  // LF CR is two line ends
        {"\n", {""}},
        {"\r\n\r\n", {"", ""}},
        {" a \t\r", {" a \t"}},
    };
    for (const Case& c : cases) EXPECT_EQ(SplitLines(c.text), c.lines) << c.text;
}

}  // namespace
