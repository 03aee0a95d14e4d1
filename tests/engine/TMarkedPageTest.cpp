#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LinkExtractor.h"
#include "SourceSet.h"
#include "TMarkedPage.h"

namespace {

std::vector<std::string> ValuesOf(std::string_view Text, const TCleanMap* Map) {
    std::vector<std::string> values;
    ExtractLinkValues(Text, Map, [&](std::string_view Value, TTagKind) {
        values.emplace_back(Value);
        return true;
    });
    return values;
}

// The links as the crawler's thread reads them from a page it marks itself.
std::vector<std::string> ValuesMarkedInPlace(const std::string& Body) {
    std::string split;
    const std::string_view page = SplitSourceSets(Body, split);
    TCleanMap map;
    std::string text = CleanText(page, true, false, &map);
    if (!MarkTags(text)) return {};
    return ValuesOf(text, &map);
}

}  // namespace

// A page marked by its worker and moved to the crawler's thread, its body with it, reads as a
// page marked there: values read back from the page as written (after "http:") included, from
// the body or from its copy with the srcset split.
TEST(TMarkedPageTest, AMovedPageReadsAsOneMarkedWhereItIsRead) {
    const std::string bodies[] = {
        "<a href=x>",
        "<a href=\"http://h/a b,c.htm\">",
        "<img srcset=\"s.jpg 1x, t.jpg 2x\"><a href=\"http://h/a b,c.htm\">",
        std::string(5000, ' ') + "<a href=\"http://h/p\">x</a><img src=i.gif>",
        "no tags at all",
    };
    for (const std::string& original : bodies) {
        std::string body = original;
        TMarkedPage worker;
        worker.Prepare(body);
        const std::string moved = std::move(body);
        TMarkedPage page = std::move(worker);
        // What the bytes left behind hold now must not matter.
        body.assign(original.size(), '#');
        worker.Prepare(std::string(original.size(), '#'));
        ASSERT_TRUE(page.ReadyFor(moved)) << original;
        const std::vector<std::string> values =
            page.AnyMarks() ? ValuesOf(page.Text(), &page.Map(moved)) : std::vector<std::string>{};
        EXPECT_EQ(values, ValuesMarkedInPlace(original)) << original;
    }
}

// Marks are never read for another page: a body of another length is not ready, nor is a
// cleared page.
TEST(TMarkedPageTest, IsReadyOnlyForThePageItMarked) {
    TMarkedPage page;
    EXPECT_FALSE(page.ReadyFor(""));
    page.Prepare("<a href=x>");
    EXPECT_TRUE(page.ReadyFor("<a href=x>"));
    EXPECT_FALSE(page.ReadyFor("<a href=xy>"));
    page.Clear();
    EXPECT_FALSE(page.ReadyFor("<a href=x>"));
}
