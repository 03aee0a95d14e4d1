#include "SourceSet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SourceSetTest, CandidatesAreTheAddressesBeforeTheirDescriptors) {
    using Urls = std::vector<std::string_view>;
    const std::pair<const char*, Urls> cases[] = {
        {"a.jpg", {"a.jpg"}},
        {"a.jpg 1x, b.jpg 2x", {"a.jpg", "b.jpg"}},
        {"  a.jpg   480w ,\n\tb.jpg 800w  ", {"a.jpg", "b.jpg"}},
        {"a.jpg, b.jpg", {"a.jpg", "b.jpg"}},  // the first without descriptor
        {"a.jpg,,, b.jpg 2x,", {"a.jpg", "b.jpg"}},
        {"a.jpg 1x,b.jpg", {"a.jpg", "b.jpg"}},
        // A comma inside an address stays; one inside parentheses of a descriptor ends nothing.
        {"x/w_100,h_50/a.jpg 1x", {"x/w_100,h_50/a.jpg"}},
        {"a.jpg 1x (f, g), b.jpg", {"a.jpg", "b.jpg"}},
        {"", {}},
        {" , ,", {}},
    };
    for (const auto& [value, urls] : cases) EXPECT_EQ(SourceSetUrls(value), urls) << value;
}

TEST(SourceSetTest, EachCandidateGetsAnAttributeOfItsOwn) {
    const std::pair<const char*, const char*> cases[] = {
        {"<img srcset=\"a.jpg 1x, b.jpg 2x\" alt=\"x y\">",
         "<img srcset=\"a.jpg\" srcset=\"b.jpg\" alt=\"x y\">"},
        {"<img SRCSET = 'a.jpg 1x,b.jpg'>", "<img srcset='a.jpg' srcset='b.jpg'>"},
        {"<img\nsrcset=a.jpg>", "<img\nsrcset=a.jpg>"},
        {"<img srcset=\"\" src=x>", "<img   src=x>"},
        {"<img srcset=\" , \">", "<img  >"},
        {"BA\nsrcset=''SE", "BA\n SE"},
        {"<a srcset=a.jpg srcset=\"b.jpg 2x, c.jpg\">",
         "<a srcset=a.jpg srcset=\"b.jpg\" srcset=\"c.jpg\">"},
        // A quote never closed ends the rewriting; what follows stays as it stands.
        {"<img srcset=\"a.jpg 1x, b.jpg 2x\"><img srcset=\"c.jpg 1x, d.jpg",
         "<img srcset=\"a.jpg\" srcset=\"b.jpg\"><img srcset=\"c.jpg 1x, d.jpg"},
    };
    for (const auto& [body, expected] : cases) {
        std::string storage;
        EXPECT_EQ(SplitSourceSets(body, storage), expected) << body;
    }
}

TEST(SourceSetTest, TextWithoutASourceSetIsNotCopied) {
    for (const char* body : {"", "<img src=a.jpg>", "<img data-srcset=\"a.jpg 2x\">",
                             "srcset=a.jpg", "<img xsrcset=a>", "= srcset"}) {
        std::string storage = "untouched";
        const std::string_view text = body;
        const std::string_view result = SplitSourceSets(text, storage);
        EXPECT_EQ(result.data(), text.data()) << body;
        EXPECT_EQ(result.size(), text.size()) << body;
        EXPECT_EQ(storage, "untouched") << body;
    }
}

}  // namespace
