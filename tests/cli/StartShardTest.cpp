// --shard I/N: which start URLs fall to which of N processes, and the option's checks.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CrawlOptions.h"
#include "StartShard.h"

namespace {

TEST(StartShardTest, Fnv1a64GivesTheReferenceValues) {
    EXPECT_EQ(Fnv1a64(""), 0xcbf29ce484222325ULL);
    EXPECT_EQ(Fnv1a64("a"), 0xaf63dc4c8601ec8cULL);
    EXPECT_EQ(Fnv1a64("foobar"), 0x85944171f73967e8ULL);
    // Modulo N, plus one: 0xee7160631269bf51 is 17181838474380165969.
    EXPECT_EQ(ShardOfKey("example.org", 4), 2);
    EXPECT_EQ(ShardOfKey("example.org", 7), 4);
    EXPECT_EQ(ShardOfKey("example.org", 1), 1);
}

TEST(StartShardTest, KeyIsTheRegistrableDomainFoldedAndInPunycode) {
    const struct {
        const char* Url;
        const char* Key;
    } cases[] = {
        {"http://www.Example.ORG/a/b.htm", "example.org"},
        {"https://shop.example.co.uk:8443/?q=1", "example.co.uk"},
        {"http://a.b.example.com", "example.com"},
        {"http://Bücher.example/", "xn--bcher-kva.example"},
        {"http://shop.xn--bcher-kva.example/", "xn--bcher-kva.example"},
        {"http://b%C3%BCcher.example/", "xn--bcher-kva.example"},
        {"http://127.0.0.3:8080/x", "127.0.0.3"},
        {"http://localhost/", "localhost"},
        {"not a url", ""},
        {"ftp://example.org/", ""},
        {"example.org", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ShardKey(c.Url), c.Key) << c.Url;
}

TEST(StartShardTest, EverySiteFallsToExactlyOneShard) {
    std::vector<std::string> list;
    for (int i = 0; i < 300; ++i) {
        list.push_back("http://site" + std::to_string(i) + ".example/");
        // Another host of the same site goes where the site goes.
        list.push_back("https://www.site" + std::to_string(i) + ".example/start");
    }
    for (const int count : {1, 2, 5, 16}) {
        std::multiset<std::string> all;
        for (int index = 1; index <= count; ++index) {
            const std::vector<std::string> taken = TakeShard(list, {index, count});
            // 600 URLs of 300 sites: no shard of a few stays empty by chance.
            EXPECT_GT(taken.size(), 600u / count / 2) << index << "/" << count;
            for (std::size_t i = 0; i < taken.size(); ++i) {
                all.insert(taken[i]);
                EXPECT_EQ(ShardOfKey(ShardKey(taken[i]), count), index) << taken[i];
            }
        }
        EXPECT_EQ(all, std::multiset<std::string>(list.begin(), list.end())) << count;
    }
}

TEST(StartShardTest, EmptyLinesFollowTheirUrlAndBadLinesGoToEveryShard) {
    // example.org falls to 2 of 4; find a site of another shard for the second URL.
    std::string other;
    for (int i = 0; other.empty(); ++i)
        if (ShardOfKey("s" + std::to_string(i) + ".example", 4) != 2)
            other = "http://s" + std::to_string(i) + ".example/";
    const int otherShard = ShardOfKey(ShardKey(other), 4);
    const std::vector<std::string> list{"", "http://www.example.org/", "", "", "no url", "", other,
                                        "", "http://example.org/x"};
    for (int index = 1; index <= 4; ++index) {
        std::vector<std::string> want{""};
        if (index == 2) want.insert(want.end(), {"http://www.example.org/", "", ""});
        want.insert(want.end(), {"no url", ""});
        if (index == otherShard) want.insert(want.end(), {other, ""});
        if (index == 2) want.push_back("http://example.org/x");
        EXPECT_EQ(TakeShard(list, {index, 4}), want) << index;
    }
}

TEST(StartShardTest, OptionTakesIOfNAndRefusesTheRest) {
    const struct {
        const char* Value;
        int Index, Count;  // 0: refused
    } cases[] = {
        {"1/1", 1, 1}, {"3/8", 3, 8},  {"8/8", 8, 8}, {"0/3", 0, 0},  {"4/3", 0, 0},
        {"1/0", 0, 0}, {"-1/3", 0, 0}, {"x/3", 0, 0}, {"3", 0, 0},    {"1/3/5", 0, 0},
        {"/3", 0, 0},  {"1/", 0, 0},   {"", 0, 0},    {" 1/3", 0, 0},
    };
    for (const auto& c : cases) {
        const TParsedCommandLine parsed =
            ParseCommandLine({"--shard", c.Value, "http://example.org/"});
        if (c.Index == 0) {
            EXPECT_EQ(parsed.Error, std::string("option --shard needs I/N with 1 <= I <= N, such "
                                                "as 2/8, not '") +
                                        c.Value + "'");
            continue;
        }
        ASSERT_TRUE(parsed.Error.empty()) << c.Value << ": " << parsed.Error;
        ASSERT_TRUE(parsed.Options.Shard);
        EXPECT_EQ(parsed.Options.Shard->Index, c.Index);
        EXPECT_EQ(parsed.Options.Shard->Count, c.Count);
        // A journal keeps it, so that --resume crawls the same shard.
        EXPECT_EQ(parsed.Options.CrawlArgs.front(), std::string("--shard=") + c.Value);
    }
}

}  // namespace
