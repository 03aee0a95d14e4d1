#pragma once
// Sixty-four bytes of a page at a time, as bit masks: bit k stands for byte k of the block. The
// page walks look for a few rare bytes (tag signs, markers, quotes); a mask per block lets them
// jump from one such byte to the next with a count of zero bits instead of a test per byte. With
// SSE2 (every x86-64) the block is compared sixteen bytes at a time; elsewhere byte by byte, with
// the same results. Plain values, no state between blocks.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

class TByteBlock {
public:
    static constexpr std::size_t kSize = 64;

    // Reads the 64 bytes at P, which must all be readable.
    explicit TByteBlock(const unsigned char* P) {
#if defined(__SSE2__)
        m_v[0] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P));
        m_v[1] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16));
        m_v[2] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 32));
        m_v[3] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 48));
#else
        std::memcpy(m_b, P, kSize);
#endif
    }

    // Bytes equal to C.
    std::uint64_t Equal(unsigned char C) const {
#if defined(__SSE2__)
        const __m128i c = _mm_set1_epi8(static_cast<char>(C));
        return Join([&](__m128i v) { return _mm_cmpeq_epi8(v, c); });
#else
        return Select([C](unsigned char b) { return b == C; });
#endif
    }

    // Bytes below Limit (1 to 128).
    std::uint64_t Below(unsigned char Limit) const {
#if defined(__SSE2__)
        // Signed compare once the top bit is flipped: an unsigned "below".
        const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
        const __m128i limit = _mm_set1_epi8(static_cast<char>(0x80 + Limit));
        return Join([&](__m128i v) { return _mm_cmplt_epi8(_mm_xor_si128(v, flip), limit); });
#else
        return Select([Limit](unsigned char b) { return b < Limit; });
#endif
    }

private:
#if defined(__SSE2__)
    static std::uint64_t Bits(__m128i Hits, int Shift) {
        return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(Hits)))
               << Shift;
    }
    // Written out: a loop over the four parts is not unrolled at -O2.
    template <class TCompare>
    std::uint64_t Join(TCompare&& Compare) const {
        return Bits(Compare(m_v[0]), 0) | Bits(Compare(m_v[1]), 16) | Bits(Compare(m_v[2]), 32) |
               Bits(Compare(m_v[3]), 48);
    }
    __m128i m_v[4];
#else
    template <class TTest>
    std::uint64_t Select(TTest&& Test) const {
        std::uint64_t mask = 0;
        for (std::size_t k = 0; k < kSize; ++k)
            mask |= static_cast<std::uint64_t>(Test(m_b[k]) ? 1 : 0) << k;
        return mask;
    }
    unsigned char m_b[kSize];
#endif
};

// The position of the first byte at or after From in P[0, N) for which BlockMask (a function of
// a TByteBlock giving a mask) or, in the last bytes, ByteTest holds; N when none does.
template <class TBlockMask, class TByteTest>
std::size_t FindInBlocks(const unsigned char* P, std::size_t From, std::size_t N,
                         TBlockMask&& BlockMask, TByteTest&& ByteTest) {
    std::size_t i = From;
    for (; i + TByteBlock::kSize <= N; i += TByteBlock::kSize) {
        const std::uint64_t mask = BlockMask(TByteBlock(P + i));
        if (mask != 0) return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
    while (i < N && !ByteTest(P[i])) ++i;
    return i;
}

// Calls Visit(position) for every byte of P[0, N) for which BlockMask or, in the last bytes,
// ByteTest holds, in order. Visit may change bytes before its position, never at or after it.
template <class TBlockMask, class TByteTest, class TVisit>
void ForEachInBlocks(const unsigned char* P, std::size_t N, TBlockMask&& BlockMask,
                     TByteTest&& ByteTest, TVisit&& Visit) {
    std::size_t i = 0;
    for (; i + TByteBlock::kSize <= N; i += TByteBlock::kSize)
        for (std::uint64_t mask = BlockMask(TByteBlock(P + i)); mask != 0; mask &= mask - 1)
            Visit(i + static_cast<std::size_t>(std::countr_zero(mask)));
    for (; i < N; ++i)
        if (ByteTest(P[i])) Visit(i);
}
