#pragma once
// The engine's ordered string set: entries stand in ascending order of the list's comparison
// (CompareKeys, or byte by byte for a list made Exact), so a string is looked up by binary
// search and, when missing, inserted at its place in the same call. Each entry carries one
// integer value that owners use as a flag. GUI thread only, no locking.
//
// Positions (Index, InsertPos, Strings(i)) behave as in a plain array; the storage underneath is
// chunked so that insertion into a list of a million entries does not move half of them. The
// texts lie one after the other in blocks of the list's own, so an entry costs its bytes and a
// small record, not a string object and an allocation of its own each.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How a list compares its entries: CompareKeys (host, keyword and type lists), or byte by byte
// (the visited list, whose entries are keys already: see UrlIdentity.h).
enum class TListOrder : unsigned char { CaseBlind, Exact };

class TQuickSortStringList {
public:
    explicit TQuickSortStringList(TListOrder Order = TListOrder::CaseBlind);

    int Count() const;
    // Allocation hint only, never a limit.
    void SetCapacity(int Capacity);
    int Capacity() const;

    // An index outside 0..Count-1 reads as an empty string with value 0 and is ignored by the
    // writers and Delete; Insert moves it to the nearer end so the string is never lost. The
    // text stays in place while entries are added (Insert, Add, Find); SetString, Delete, Sort,
    // SetText and Clear may move or free it.
    std::string_view Strings(int Index) const;
    void SetString(int Index, std::string_view S);
    std::intptr_t Objects(int Index) const;
    void SetObject(int Index, std::intptr_t Value);

    // Plain list operations: they do not keep the order, the owner does (by Sort or Find).
    void Insert(int Index, std::string_view S, std::intptr_t Value = 0);
    void Add(std::string_view S, std::intptr_t Value = 0);
    void Delete(int Index);
    void Clear();
    // Replaces the content by the lines of Text (a line ends at CR, LF or CR LF; a final line
    // end adds no empty entry). Does not sort.
    void SetText(std::string_view Text);
    // The entries joined, each followed by CR LF.
    std::string Text() const;

    // -1, 0 or 1; only the letters a to z are folded (to capitals), every other byte compares
    // by its code, and a proper prefix sorts first.
    static int CompareKeys(std::string_view A, std::string_view B);
    // -1, 0 or 1 by this list's order.
    int Compare(std::string_view A, std::string_view B) const;
    TListOrder Order() const { return m_order; }

    // True when an entry equal to S exists (Index = its position, InsertPos = -1). Otherwise
    // False with Index = -1 and InsertPos = the position that keeps the order; with AddIfMissing
    // S has then been inserted there with value 0.
    bool Find(std::string_view S, int& Index, int& InsertPos, bool AddIfMissing);
    // The same look-up without insertion, for readers of a const list.
    bool Find(std::string_view S, int& Index, int& InsertPos) const;

    // Removes empty strings, then sorts by Compare (not stable); values move with strings.
    void Sort();

    bool RemoveEmptyBeforeSort() const { return m_removeEmptyBeforeSort; }

private:
    struct Entry {
        const char* Data = nullptr;
        std::uint32_t Size = 0;
        std::intptr_t Value = 0;
        std::string_view Text() const { return {Data, Size}; }
    };
    // A run of consecutive entries; see the source file for the size rules.
    struct Chunk {
        std::vector<Entry> Entries;
    };
    struct Place {
        std::size_t ChunkNo;
        std::size_t Offset;
    };

    Place Locate(int Index) const;
    Place LocateNear(int Index, std::size_t HintChunk) const;
    const Entry* EntryAt(int Index) const;
    Entry* EntryAt(int Index);
    void InsertEntry(int Index, Entry E);
    void Append(Entry E);
    void ShiftStarts(std::size_t FromChunk, int Delta);
    void SplitChunk(std::size_t ChunkNo);
    void EraseChunk(std::size_t ChunkNo);
    void MergeChunks(std::size_t Into, std::size_t From);
    void RemoveOrMergeChunk(std::size_t ChunkNo);
    void Search(std::string_view S, int& Index, int& InsertPos) const;
    std::vector<Entry> TakeAll();
    void Refill(std::vector<Entry> Entries);
    // A copy of S in the blocks, as an entry's text.
    Entry Store(std::string_view S, std::intptr_t Value);
    // S's bytes are no longer used; the blocks are rewritten once most of their bytes are not.
    void Forget(const Entry& E);
    void Compact();

    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_blockSize = 0;  // of the last block; blocks grow to 1 MiB as the list does
    std::size_t m_blockUsed = 0;
    std::size_t m_textBytes = 0;  // bytes of the blocks in use by entries
    std::size_t m_deadBytes = 0;  // bytes of the blocks no entry uses any more
    std::vector<Chunk> m_chunks;
    std::vector<int> m_chunkStart;  // position of the first entry of each chunk
    int m_count = 0;
    int m_capacity = 0;
    bool m_removeEmptyBeforeSort = true;
    TListOrder m_order = TListOrder::CaseBlind;
};
