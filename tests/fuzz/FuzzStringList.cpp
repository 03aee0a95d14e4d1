// The sorted string list against a plain vector as reference model. The input is read as a
// sequence of operations; after each one the list must agree with the model (see CheckSame), and
// at the end hold exactly what the model holds.

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "FuzzCheck.h"
#include "TQuickSortStringList.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    return 0;
}

namespace {

// The comparison as documented: a to z folded to capitals, other bytes by code, prefix first.
int ReferenceCompare(const std::string& a, const std::string& b) {
    auto fold = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const int x = fold(static_cast<unsigned char>(a[i]));
        const int y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

struct Reader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t pos = 0;
    bool More() const { return pos < size; }
    unsigned Byte() { return pos < size ? data[pos++] : 0; }
    // Short strings from a small alphabet, so that equal and case-equal keys occur often;
    // sometimes raw bytes, so that every byte value is compared.
    std::string Text() {
        const unsigned head = Byte();
        const std::size_t length = head % 8;
        std::string s;
        for (std::size_t i = 0; i < length; ++i) {
            const unsigned b = Byte();
            s += (head & 0x80) ? static_cast<char>(b) : "aAbB\r\n\0\xff"[b % 8];
        }
        return s;
    }
    int Index(int count) { return static_cast<int>(Byte() % (count + 3)) - 1; }  // -1..count+1
};

using Model = std::vector<std::pair<std::string, std::intptr_t>>;

bool ModelSorted(const Model& m) {
    for (std::size_t i = 1; i < m.size(); ++i)
        if (ReferenceCompare(m[i - 1].first, m[i].first) > 0) return false;
    return true;
}

void CheckEntry(const TQuickSortStringList& list, const Model& model, int index) {
    if (index < 0 || index >= static_cast<int>(model.size())) return;
    FUZZ_CHECK(list.Strings(index) == model[index].first);
    FUZZ_CHECK(list.Objects(index) == model[index].second);
}

// Comparing every entry after every operation makes long inputs quadratic and the target too
// slow to run deep. Lists up to this size are compared in full each time; longer ones in their
// count, their ends and the entry the operation touched, and in full after a sort, a reload
// and at the end of the input.
constexpr std::size_t kFullCheckUpTo = 32;

void CheckSame(const TQuickSortStringList& list, const Model& model, bool full = true,
               int touched = -1) {
    FUZZ_CHECK(list.Count() == static_cast<int>(model.size()));
    if (full || model.size() <= kFullCheckUpTo) {
        for (int i = 0; i < list.Count(); ++i) CheckEntry(list, model, i);
    } else {
        CheckEntry(list, model, 0);
        CheckEntry(list, model, touched - 1);
        CheckEntry(list, model, touched);
        CheckEntry(list, model, touched + 1);
        CheckEntry(list, model, list.Count() - 1);
    }
    // Outside reads give the empty entry.
    FUZZ_CHECK(list.Strings(-1).empty() && list.Strings(list.Count()).empty());
    FUZZ_CHECK(list.Objects(-1) == 0 && list.Objects(list.Count()) == 0);
}

std::string Joined(const Model& model) {
    std::string text;
    for (const auto& e : model) text += e.first + "\r\n";
    return text;
}

Model SplitLines(const std::string& text) {
    Model lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", begin);
        if (end == std::string::npos) {
            lines.emplace_back(text.substr(begin), 0);
            break;
        }
        lines.emplace_back(text.substr(begin, end - begin), 0);
        begin = end + 1;
        if (text[end] == '\r' && begin < text.size() && text[begin] == '\n') ++begin;
    }
    return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
    Reader in{Data, Size};
    TQuickSortStringList list;
    Model model;
    std::intptr_t nextValue = 1;
    while (in.More()) {
        const int count = static_cast<int>(model.size());
        bool full = false;  // the operation may have changed any entry
        int touched = -1;
        switch (in.Byte() % 11) {
            case 0: {  // Add
                std::string s = in.Text();
                list.Add(s, nextValue);
                model.emplace_back(s, nextValue++);
                touched = count;
                break;
            }
            case 1: {  // Insert, out-of-range positions go to the nearer end
                const int index = in.Index(count);
                std::string s = in.Text();
                list.Insert(index, s, nextValue);
                const int at = std::clamp(index, 0, count);
                model.insert(model.begin() + at, {s, nextValue++});
                touched = at;
                break;
            }
            case 2: {  // Delete
                const int index = in.Index(count);
                list.Delete(index);
                if (index >= 0 && index < count) model.erase(model.begin() + index);
                touched = index;
                break;
            }
            case 3:
            case 4: {  // Find, with or without insertion
                const std::string s = in.Text();
                const bool add = in.Byte() & 1;
                int index = -2, insertPos = -2;
                const bool found = list.Find(s, index, insertPos, add);
                FUZZ_CHECK(found == (index >= 0));
                if (found) {
                    FUZZ_CHECK(insertPos == -1 && index < count);
                    FUZZ_CHECK(ReferenceCompare(model[index].first, s) == 0);
                } else {
                    FUZZ_CHECK(index == -1 && insertPos >= 0 && insertPos <= count);
                    if (ModelSorted(model)) {
                        // In a sorted list the answer is exact: no equal entry, and the place
                        // keeps the order.
                        for (const auto& e : model) FUZZ_CHECK(ReferenceCompare(e.first, s) != 0);
                        if (insertPos > 0)
                            FUZZ_CHECK(ReferenceCompare(model[insertPos - 1].first, s) < 0);
                        if (insertPos < count)
                            FUZZ_CHECK(ReferenceCompare(model[insertPos].first, s) > 0);
                    }
                    if (add) model.insert(model.begin() + insertPos, {s, 0});
                    touched = insertPos;
                }
                break;
            }
            case 5: {  // Sort: empties removed, order by the comparison, values travel along
                list.Sort();
                std::erase_if(model, [](const auto& e) { return e.first.empty(); });
                Model sortedList;
                for (int i = 0; i < list.Count(); ++i)
                    sortedList.emplace_back(list.Strings(i), list.Objects(i));
                FUZZ_CHECK(ModelSorted(sortedList));
                Model a = model, b = sortedList;
                std::sort(a.begin(), a.end());
                std::sort(b.begin(), b.end());
                FUZZ_CHECK(a == b);
                model = std::move(sortedList);  // equal keys may stand in any order
                full = true;
                break;
            }
            case 6: {  // SetString
                const int index = in.Index(count);
                std::string s = in.Text();
                list.SetString(index, s);
                if (index >= 0 && index < count) model[index].first = s;
                touched = index;
                break;
            }
            case 7: {  // SetObject
                const int index = in.Index(count);
                list.SetObject(index, nextValue);
                if (index >= 0 && index < count) model[index].second = nextValue;
                ++nextValue;
                touched = index;
                break;
            }
            case 8:
                list.Clear();
                model.clear();
                break;
            case 9: {  // SetText from raw bytes
                const std::size_t length = in.Byte() % 32;
                std::string text;
                for (std::size_t i = 0; i < length && in.More(); ++i)
                    text += static_cast<char>(in.Byte());
                list.SetText(text);
                model = SplitLines(text);
                full = true;
                break;
            }
            case 10: {  // CompareKeys against the reference
                const std::string a = in.Text(), b = in.Text();
                FUZZ_CHECK(TQuickSortStringList::CompareKeys(a, b) == ReferenceCompare(a, b));
                list.SetCapacity(static_cast<int>(in.Byte()) * 8);
                FUZZ_CHECK(list.Capacity() >= 0);
                break;
            }
        }
        CheckSame(list, model, full, touched);
    }
    CheckSame(list, model);
    FUZZ_CHECK(list.Text() == Joined(model));
    return 0;
}
