// Stage 1's byte compares thirty-two bytes at a time (AVX2), each in its target region;
// where the build is not for x86, the SSE2 ones.
#pragma once

#include "cleaner/stage1/kernel.h"
#include "cleaner/stage1/sse2.h"

#if defined(SORREL_X86)
#include <immintrin.h>
#endif

namespace cleaner::marks {

#if defined(SORREL_X86)
// Thirty-two bytes a compare, where the processor has AVX2.
struct Avx2 {
    [[gnu::target("avx2")]] static __m256i Is(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
    [[gnu::target("avx2")]] static __m256i Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
    [[gnu::target("avx2")]] static __m256i IsOr(__m256i v, char set, char c) { return Is(_mm256_or_si256(v, _mm256_set1_epi8(set)), c); }
    [[gnu::target("avx2")]] static __m256i IsAny(__m256i v, char x, char y, char z) {
        return _mm256_or_si256(_mm256_or_si256(Is(v, x), Is(v, y)), Is(v, z));
    }
    [[gnu::target("avx2")]] static Mask Lane(__m256i v, int i) {
        return static_cast<Mask>(static_cast<uint32_t>(_mm256_movemask_epi8(v))) << (32 * i);
    }
    [[gnu::target("avx2")]] static __m256i IsBlank(__m256i v) { return _mm256_or_si256(IsAny(v, ' ', '\t', '\r'), Is(v, '\n')); }
    [[gnu::target("avx2")]] static __m256i IsAtMostSpace(__m256i v) {
        const __m256i space = _mm256_set1_epi8(' ');
        return _mm256_cmpeq_epi8(_mm256_max_epu8(v, space), space);
    }
    // The mask of `Of` applied to each 32 bytes of the block from `p`.
    template <__m256i (*Of)(__m256i)>
    [[gnu::target("avx2")]] static Mask Each(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
        return Lane(Of(Load(p)), 0) | Lane(Of(Load(p + 32)), 1);
#else
        return Lane(Of(Load(p)), 0);
#endif
    }
    template <char c>
    [[gnu::target("avx2")]] static __m256i IsChar(__m256i v) { return Is(v, c); }

    [[gnu::target("avx2")]] static Raw RawOf(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
        const __m256i a = Load(p), b = Load(p + 32);
        const Mask slash = Lane(Is(a, '/'), 0) | Lane(Is(b, '/'), 1);
        return Raw{Lane(Is(a, '<'), 0) | Lane(Is(b, '<'), 1), Lane(Is(a, '>'), 0) | Lane(Is(b, '>'), 1), slash,
                   (Lane(IsOr(a, 0x1E, 0x3F), 0) | Lane(IsOr(b, 0x1E, 0x3F), 1)) & ~slash,
                   _mm256_movemask_epi8(_mm256_or_si256(IsOr(a, 0x05, 0x27), IsOr(b, 0x05, 0x27))) != 0};
#else
        const __m256i a = Load(p);
        const Mask slash = Lane(Is(a, '/'), 0);
        return Raw{Lane(Is(a, '<'), 0), Lane(Is(a, '>'), 0), slash, Lane(IsOr(a, 0x1E, 0x3F), 0) & ~slash,
                   _mm256_movemask_epi8(IsOr(a, 0x05, 0x27)) != 0};
#endif
    }
    [[gnu::target("avx2")]] static void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
        *dq = Each<IsChar<'"'>>(p);
        *sq = Each<IsChar<'\''>>(p);
        *eq = (*dq | *sq) != 0 ? Each<IsChar<'='>>(p) : 0;
    }
    [[gnu::target("avx2")]] static Mask Blanks(const uint8_t* p) { return Each<IsBlank>(p); }
    [[gnu::target("avx2")]] static Mask AtMostSpace(const uint8_t* p) { return Each<IsAtMostSpace>(p); }
    template <char A, char B, char C, char D, char E, char F>
    [[gnu::target("avx2")]] static __m256i TagStartsAt(const uint8_t* q) {
        return _mm256_and_si256(_mm256_and_si256(Is(Load(q), '<'), IsAny(Load(q + 1), A, B, C)), IsAny(Load(q + 2), D, E, F));
    }
    template <char A, char B, char C, char D, char E, char F>
    [[gnu::target("avx2")]] static Mask TagStarts(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
        return Lane(TagStartsAt<A, B, C, D, E, F>(p), 0) | Lane(TagStartsAt<A, B, C, D, E, F>(p + 32), 1);
#else
        return Lane(TagStartsAt<A, B, C, D, E, F>(p), 0);
#endif
    }
};
#else
using Avx2 = Sse2;
#endif

}  // namespace cleaner::marks
