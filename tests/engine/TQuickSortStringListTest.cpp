#include "TQuickSortStringList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pair = std::pair<std::string, std::intptr_t>;

std::vector<std::string> Lines(const TQuickSortStringList& L) {
    std::vector<std::string> out;
    for (int i = 0; i < L.Count(); ++i) out.emplace_back(L.Strings(i));
    return out;
}

std::vector<Pair> Pairs(const TQuickSortStringList& L) {
    std::vector<Pair> out;
    for (int i = 0; i < L.Count(); ++i) out.emplace_back(L.Strings(i), L.Objects(i));
    return out;
}

TQuickSortStringList Loaded(const std::vector<std::string>& Items) {
    TQuickSortStringList l;
    for (std::size_t i = 0; i < Items.size(); ++i)
        l.Add(Items[i], static_cast<std::intptr_t>(i + 1));
    return l;
}

// The same list as a plain array, with the binary search written straight from its definition.
struct ReferenceList {
    std::vector<Pair> Items;

    bool Find(const std::string& S, int& Index, int& InsertPos, bool AddIfMissing) {
        Index = -1;
        InsertPos = -1;
        int lo = 0;
        int hi = static_cast<int>(Items.size()) - 1;
        if (Items.empty()) InsertPos = 0;
        while (!Items.empty()) {
            int mid = (lo + hi) / 2;
            int c = TQuickSortStringList::CompareKeys(Items[mid].first, S);
            if (c == 0) {
                Index = mid;
                break;
            }
            if (c < 0 && hi > mid) {
                lo = mid + 1;
            } else if (c > 0 && mid > lo) {
                hi = mid - 1;
            } else {
                InsertPos = c < 0 ? mid + 1 : mid;
                break;
            }
        }
        if (Index == -1 && AddIfMissing) Items.insert(Items.begin() + InsertPos, {S, 0});
        return Index != -1;
    }
};

struct CompareCase {
    std::string A;
    std::string B;
    int Expected;
};

TEST(TQuickSortStringListTest, CompareKeysFoldsOnlyAsciiLettersAndOrdersPrefixesFirst) {
    const std::vector<CompareCase> cases = {
        {"", "", 0},
        {"", "a", -1},
        {"abc", "abc", 0},
        {"Abc", "aBC", 0},
        {"abc", "abcd", -1},
        {"a", "z", -1},  // magnitude is always 1, not the byte distance
        {"ABC", "abd", -1},
        {"a_b", "azz", 1},
        {"A[", "AZ", 1},
        {"a[", "Az", 1},
        {"[", "z", 1},
        {"\\", "Z", 1},
        {"]", "z", 1},
        {"^", "a", 1},
        {"_", "Z", 1},
        {"`", "z", 1},
        {"@", "a", -1},                    // the byte just before A stays before every letter
        {"{", "`", 1},                     // bytes after z are not folded either
        {"\xE9", "\xC9", 1},               // Latin-1 e acute against its capital
        {"\xC3\xA9", "\xC3\x89", 1},       // the same pair in UTF-8
        {"\x80", "z", 1},                  // bytes compare unsigned
        {std::string("a\0b", 3), "a", 1},  // an embedded NUL does not end the string
        {std::string("a\0", 2), std::string("a\0", 2), 0},
        // Longer than a machine word: differences and foldings past the first eight bytes.
        {"http://www.host1.example/a", "HTTP://WWW.HOST1.EXAMPLE/A", 0},
        {"0123456789abcdefX", "0123456789ABCDEFy", -1},
        {"0123456789abcdef_", "0123456789abcdefz", 1},
        {"01234567", "012345678", -1},
        {"0123456789abcdef\xE9", "0123456789abcdef\xC9", 1},
    };
    for (const CompareCase& c : cases) {
        SCOPED_TRACE("A=\"" + c.A + "\" B=\"" + c.B + "\"");
        EXPECT_EQ(TQuickSortStringList::CompareKeys(c.A, c.B), c.Expected);
        EXPECT_EQ(TQuickSortStringList::CompareKeys(c.B, c.A), -c.Expected);
    }
}

TEST(TQuickSortStringListTest, FindInEmptyListReportsPositionZero) {
    TQuickSortStringList l;
    int index = 99;
    int pos = 99;
    EXPECT_FALSE(l.Find("abc", index, pos, false));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(l.Count(), 0);

    EXPECT_FALSE(l.Find("abc", index, pos, true));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(pos, 0);
    EXPECT_EQ(Pairs(l), (std::vector<Pair>{{"abc", 0}}));
}

TEST(TQuickSortStringListTest, FindMatchesCaseInsensitivelyAndNeverAddsAnEqualString) {
    TQuickSortStringList l = Loaded({"abc", "def", "xyz"});
    int index = 99;
    int pos = 99;
    EXPECT_TRUE(l.Find("ABC", index, pos, true));
    EXPECT_EQ(index, 0);
    EXPECT_EQ(pos, -1);
    EXPECT_TRUE(l.Find("xYz", index, pos, true));
    EXPECT_EQ(index, 2);
    EXPECT_EQ(l.Count(), 3);

    EXPECT_FALSE(l.Find("mmm", index, pos, false));
    EXPECT_EQ(index, -1);
    EXPECT_EQ(pos, 2);
    EXPECT_EQ(Pairs(l), (std::vector<Pair>{{"abc", 1}, {"def", 2}, {"xyz", 3}}));
}

// An Exact list (the visited list) tells every byte apart and orders by unsigned bytes.
TEST(TQuickSortStringListTest, AnExactListComparesByteByByte) {
    TQuickSortStringList l(TListOrder::Exact);
    int index = 99;
    int pos = 99;
    for (const char* s : {"b", "B", "a_b", "azz", "\xE9", "abc", "ab", "b"})
        l.Find(s, index, pos, true);
    EXPECT_EQ(Lines(l), (std::vector<std::string>{"B", "a_b", "ab", "abc", "azz", "b", "\xE9"}));
    EXPECT_TRUE(l.Find("B", index, pos, false));
    EXPECT_EQ(index, 0);
    EXPECT_FALSE(l.Find("AB", index, pos, false));
    EXPECT_EQ(pos, 0);
    l.Add("A");
    l.Sort();
    EXPECT_EQ(Lines(l).front(), "A");
    EXPECT_EQ(l.Compare("a", "A"), 1);
    EXPECT_EQ(TQuickSortStringList().Compare("a", "A"), 0);
}

TEST(TQuickSortStringListTest, FindInsertsMissingStringWhereItKeepsTheOrder) {
    struct Case {
        std::string S;
        int InsertPos;
    };
    const std::vector<Case> cases = {{"", 0},   {"A", 0}, {"a", 0}, {"b0", 1}, {"C", 1},
                                     {"dd", 2}, {"E", 2}, {"g", 3}, {"_", 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.S);
        TQuickSortStringList l = Loaded({"b", "d", "f"});
        int index = 99;
        int pos = 99;
        EXPECT_FALSE(l.Find(c.S, index, pos, true));
        EXPECT_EQ(index, -1);
        EXPECT_EQ(pos, c.InsertPos);
        std::vector<Pair> expected = {{"b", 1}, {"d", 2}, {"f", 3}};
        expected.insert(expected.begin() + c.InsertPos, {c.S, 0});
        EXPECT_EQ(Pairs(l), expected);
    }
}

TEST(TQuickSortStringListTest, FindAmongDuplicatesReturnsTheFirstOneProbed) {
    // A lower-bound search would answer 1; the halving search meets position 3 first.
    TQuickSortStringList l = Loaded({"a", "b", "B", "b", "b", "b", "b", "c"});
    int index = 99;
    int pos = 99;
    EXPECT_TRUE(l.Find("b", index, pos, true));
    EXPECT_EQ(index, 3);
    EXPECT_EQ(l.Count(), 8);
}

TEST(TQuickSortStringListTest, SortDropsEmptyStringsAndKeepsValuesWithTheirStrings) {
    TQuickSortStringList l;
    l.SetText("b\r\n\r\nA\r\na\r\n");
    for (int i = 0; i < l.Count(); ++i) l.SetObject(i, 10 + i);
    l.Sort();
    ASSERT_EQ(l.Count(), 3);
    std::vector<Pair> equalPair = {Pair{l.Strings(0), l.Objects(0)},
                                   Pair{l.Strings(1), l.Objects(1)}};
    std::sort(equalPair.begin(), equalPair.end());
    EXPECT_EQ(equalPair, (std::vector<Pair>{{"A", 12}, {"a", 13}}));
    EXPECT_EQ(l.Strings(2), "b");
    EXPECT_EQ(l.Objects(2), 10);
    // The middle-pivot partition on b, A, a settles A before a.
    EXPECT_EQ(Lines(l), (std::vector<std::string>{"A", "a", "b"}));
}

TEST(TQuickSortStringListTest, SortOfEmptyOrOnlyEmptyListLeavesItEmpty) {
    for (std::string text : {"", "\n", "\r\n\n\r", "\n\n\n\n\n"}) {
        TQuickSortStringList l;
        l.SetText(text);
        l.Sort();
        EXPECT_EQ(l.Count(), 0);
        EXPECT_EQ(l.Text(), "");
    }
}

TEST(TQuickSortStringListTest, SortOrdersLargeListWithDuplicatesAsPermutation) {
    std::mt19937 rng(4711);
    const std::string alphabet = "aAbB_[z";
    std::vector<Pair> input;
    TQuickSortStringList l;
    for (int i = 0; i < 6000; ++i) {
        std::string s(rng() % 4, ' ');
        for (char& ch : s) ch = alphabet[rng() % alphabet.size()];
        input.emplace_back(s, i);
        l.Add(s, i);
    }
    l.Sort();
    std::vector<Pair> got = Pairs(l);
    for (std::size_t i = 1; i < got.size(); ++i)
        ASSERT_LE(TQuickSortStringList::CompareKeys(got[i - 1].first, got[i].first), 0) << i;
    std::erase_if(input, [](const Pair& p) { return p.first.empty(); });
    std::sort(input.begin(), input.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, input);
}

TEST(TQuickSortStringListTest, SetTextSplitsAtEveryLineEndKind) {
    struct Case {
        std::string Text;
        std::vector<std::string> Lines;
    };
    const std::vector<Case> cases = {
        {"", {}},
        {"a", {"a"}},
        {"a\n", {"a"}},
        {"a\r", {"a"}},
        {"a\r\n", {"a"}},
        {"\n", {""}},
        {"\r\n", {""}},
        {"a\r\nb", {"a", "b"}},
        {"a\n\nb", {"a", "", "b"}},
        {"a\r\rb", {"a", "", "b"}},
        {"a\n\rb", {"a", "", "b"}},
        {"a\r\n\nb\r", {"a", "", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {" x \t\r\n", {" x \t"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.Text));
        TQuickSortStringList l = Loaded({"old", "content"});
        l.SetText(c.Text);
        EXPECT_EQ(Lines(l), c.Lines);
        for (int i = 0; i < l.Count(); ++i) EXPECT_EQ(l.Objects(i), 0);
    }
}

TEST(TQuickSortStringListTest, TextEndsEveryEntryWithCrLfAndReadsBack) {
    TQuickSortStringList l = Loaded({"a", "", "b c"});
    EXPECT_EQ(l.Text(), "a\r\n\r\nb c\r\n");
    TQuickSortStringList back;
    back.SetText(l.Text());
    EXPECT_EQ(Lines(back), Lines(l));
    EXPECT_EQ(TQuickSortStringList().Text(), "");
}

TEST(TQuickSortStringListTest, OutOfRangeIndexesNeitherCrashNorLoseStrings) {
    TQuickSortStringList l = Loaded({"b", "c"});
    EXPECT_EQ(l.Strings(-1), "");
    EXPECT_EQ(l.Strings(2), "");
    EXPECT_EQ(l.Objects(2), 0);
    l.SetString(2, "x");
    l.SetObject(-1, 5);
    l.Delete(2);
    l.Delete(-1);
    EXPECT_EQ(Pairs(l), (std::vector<Pair>{{"b", 1}, {"c", 2}}));
    l.Insert(-3, "a", 7);
    l.Insert(100, "d", 8);
    EXPECT_EQ(Lines(l), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(l.Objects(0), 7);
    EXPECT_EQ(l.Objects(3), 8);
}

TEST(TQuickSortStringListTest, CapacityIsOnlyAHintAndClearEmptiesTheList) {
    TQuickSortStringList l;
    l.SetCapacity(2);
    for (int i = 0; i < 5; ++i) l.Add("x" + std::to_string(i));
    EXPECT_EQ(l.Count(), 5);
    EXPECT_GE(l.Capacity(), 5);
    l.Clear();
    EXPECT_EQ(l.Count(), 0);
    int index = 0;
    int pos = 0;
    EXPECT_FALSE(l.Find("x1", index, pos, true));
    EXPECT_EQ(Lines(l), (std::vector<std::string>{"x1"}));
}

// Positions must behave as in one plain array however the entries are grouped underneath.
TEST(TQuickSortStringListTest, InsertAndDeleteAcrossChunkBoundariesMatchPlainArray) {
    TQuickSortStringList l;
    std::vector<Pair> ref;
    for (int i = 0; i < 5000; ++i) {
        l.Add("e" + std::to_string(i), i);
        ref.emplace_back("e" + std::to_string(i), i);
    }
    int tag = 100000;
    auto insertAt = [&](int pos) {
        l.Insert(pos, "n" + std::to_string(tag), tag);
        ref.insert(ref.begin() + pos, {"n" + std::to_string(tag), tag});
        ++tag;
    };
    auto deleteAt = [&](int pos) {
        l.Delete(pos);
        ref.erase(ref.begin() + pos);
    };
    // Around every plausible chunk size, and enough at one place to split repeatedly.
    for (int pos : {0, 255, 256, 511, 512, 513, 767, 768, 769, 1023, 1024, 1025, 2047, 2048})
        insertAt(pos);
    insertAt(static_cast<int>(ref.size()));
    for (int i = 0; i < 3000; ++i) insertAt(700);
    ASSERT_EQ(Pairs(l), ref);

    for (int i = 0; i < 2500; ++i) deleteAt(690);  // drains several chunks in a row
    ASSERT_EQ(Pairs(l), ref);
    for (int i = 0; i < 1000; ++i) deleteAt(static_cast<int>(ref.size()) - 1);
    ASSERT_EQ(Pairs(l), ref);
    for (int i = 0; i < 1000; ++i) insertAt(static_cast<int>(ref.size()) / 2);
    while (!ref.empty()) deleteAt(0);
    EXPECT_EQ(l.Count(), 0);
    insertAt(0);
    EXPECT_EQ(Pairs(l), ref);
}

// The texts lie in shared blocks: deleting and replacing most of them rewrites the blocks, and
// every text left must come through whole, also one taken before (a text stays in place while
// entries are only added).
TEST(TQuickSortStringListTest, TextsSurviveTheBlocksBeingRewritten) {
    TQuickSortStringList l;
    auto text = [](int I) {
        return "http://host" + std::to_string(I % 97) + ".test/" + std::string(40, 'a' + I % 26) +
               std::to_string(I);
    };
    int index = 0, pos = 0;
    for (int i = 0; i < 20000; ++i) l.Find(text(i), index, pos, true);
    const std::string_view early = l.Strings(0);
    const std::string earlyCopy(early);
    for (int i = 20000; i < 30000; ++i) l.Find(text(i), index, pos, true);
    EXPECT_EQ(early, earlyCopy);
    // Three in four go, then every other text is replaced by a longer one.
    for (int i = 0; i < 30000; ++i)
        if (i % 4 != 0 && l.Find(text(i), index, pos)) l.Delete(index);
    ASSERT_EQ(l.Count(), 7500);
    for (int i = 0; i < l.Count(); i += 2) l.SetString(i, std::string(l.Strings(i)) + "/more");
    for (int i = 0; i < 30000; i += 4) {
        const bool replaced = l.Find(text(i) + "/more", index, pos);
        EXPECT_TRUE(replaced || l.Find(text(i), index, pos)) << i;
    }
    EXPECT_FALSE(l.Find(text(1), index, pos));
}

TEST(TQuickSortStringListTest, RandomOperationsMatchPlainArrayModel) {
    std::mt19937 rng(20240611);
    const std::string alphabet = "aAbBcC_[z";
    auto randomString = [&] {
        std::string s(1 + rng() % 9, ' ');
        for (char& ch : s) ch = alphabet[rng() % alphabet.size()];
        return s;
    };
    TQuickSortStringList l;
    ReferenceList ref;
    auto randomPos = [&](std::size_t extra) {
        return static_cast<int>(rng() % (ref.Items.size() + extra));
    };
    for (int step = 0; step < 30000; ++step) {
        unsigned kind = rng() % 100;
        // The last third shrinks the list again so that chunks merge and vanish.
        bool shrinking = step > 20000;
        unsigned findShare = shrinking ? 20 : 80;
        if (kind < findShare) {
            std::string s = kind % 7 == 0 && !ref.Items.empty()
                                ? ref.Items[randomPos(0)].first  // hit an existing entry
                                : randomString();
            bool add = kind % 5 != 0;
            int index = 0;
            int pos = 0;
            int refIndex = 0;
            int refPos = 0;
            bool found = l.Find(s, index, pos, add);
            ASSERT_EQ(found, ref.Find(s, refIndex, refPos, add)) << step;
            ASSERT_EQ(index, refIndex) << step;
            ASSERT_EQ(pos, refPos) << step;
        } else if (kind < findShare + 5 && !shrinking) {
            // A raw insertion may break the order; both sides must still probe alike.
            int pos = randomPos(1);
            std::string s = randomString();
            l.Insert(pos, s, step);
            ref.Items.insert(ref.Items.begin() + pos, {s, step});
        } else if (kind < findShare + 8 && !ref.Items.empty()) {
            int pos = randomPos(0);
            l.SetObject(pos, step);
            ref.Items[pos].second = step;
        } else if (kind < findShare + 10 && !ref.Items.empty()) {
            int pos = randomPos(0);
            std::string s = randomString();
            l.SetString(pos, s);
            ref.Items[pos].first = s;
        } else if (!ref.Items.empty()) {
            int pos = randomPos(0);
            l.Delete(pos);
            ref.Items.erase(ref.Items.begin() + pos);
        }
        if (step % 2500 == 0) {
            ASSERT_EQ(Pairs(l), ref.Items) << step;
        }
    }
    EXPECT_GT(ref.Items.size(), 0u);
    EXPECT_EQ(Pairs(l), ref.Items);
}

}  // namespace
