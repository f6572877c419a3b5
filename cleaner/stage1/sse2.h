// Stage 1's byte compares sixteen bytes at a time (SSE2); where the build has no SSE2, the
// scalar ones.
#pragma once

#include "cleaner/stage1/scalar.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cleaner::marks {

#if defined(__SSE2__)
// Sixteen bytes a compare. (Every step over the lanes is written out: the compiler keeps a
// loop over them, spilling the lanes to memory.)
struct Sse2 {
    struct Bytes {
        __m128i v0, v1;
#if SORREL_BLOCK_BITS == 64
        __m128i v2, v3;
#endif
        explicit Bytes(const uint8_t* p)
            : v0(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
              v1(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)))
#if SORREL_BLOCK_BITS == 64
              ,
              v2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))),
              v3(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48)))
#endif
        {
        }
    };
    static Mask Lane(__m128i v, int i) { return static_cast<Mask>(static_cast<uint32_t>(_mm_movemask_epi8(v))) << (16 * i); }
    // The mask of `f` applied to each lane of `b` (and of `c` and `d`, read one and two bytes on).
    template <class F>
    static Mask Each(const Bytes& b, F f) {
#if SORREL_BLOCK_BITS == 64
        return Lane(f(b.v0), 0) | Lane(f(b.v1), 1) | Lane(f(b.v2), 2) | Lane(f(b.v3), 3);
#else
        return Lane(f(b.v0), 0) | Lane(f(b.v1), 1);
#endif
    }
    template <class F>
    static Mask Each(const Bytes& b, const Bytes& c, const Bytes& d, F f) {
#if SORREL_BLOCK_BITS == 64
        return Lane(f(b.v0, c.v0, d.v0), 0) | Lane(f(b.v1, c.v1, d.v1), 1) | Lane(f(b.v2, c.v2, d.v2), 2) |
               Lane(f(b.v3, c.v3, d.v3), 3);
#else
        return Lane(f(b.v0, c.v0, d.v0), 0) | Lane(f(b.v1, c.v1, d.v1), 1);
#endif
    }
    static __m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
    static Mask Equal(const Bytes& b, char c) {
        return Each(b, [c](__m128i v) { return Is(v, c); });
    }
    // Bytes equal to `c` once `set` is or-ed into them: one compare for a few characters.
    static __m128i IsOr(__m128i v, char set, char c) { return Is(_mm_or_si128(v, _mm_set1_epi8(set)), c); }
    // Whether the block holds a byte equal to `c` once `set` is or-ed into it: one mask, no bits.
    static bool AnyOr(const Bytes& b, char set, char c) {
#if SORREL_BLOCK_BITS == 64
        return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(IsOr(b.v0, set, c), IsOr(b.v1, set, c)),
                                              _mm_or_si128(IsOr(b.v2, set, c), IsOr(b.v3, set, c)))) != 0;
#else
        return _mm_movemask_epi8(_mm_or_si128(IsOr(b.v0, set, c), IsOr(b.v1, set, c))) != 0;
#endif
    }

    static Raw RawOf(const uint8_t* p) {
        const Bytes b(p);
        const Mask slash = Equal(b, '/');
        return Raw{Equal(b, '<'), Equal(b, '>'), slash, Each(b, [](__m128i v) { return IsOr(v, 0x1E, 0x3F); }) & ~slash,
                   AnyOr(b, 0x05, 0x27)};
    }
    static void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
        const Bytes b(p);
        *dq = Equal(b, '"');
        *sq = Equal(b, '\'');
        *eq = (*dq | *sq) != 0 ? Equal(b, '=') : 0;
    }
    static Mask Blanks(const uint8_t* p) {
        return Each(Bytes(p), [](__m128i v) {
            return _mm_or_si128(_mm_or_si128(Is(v, ' '), Is(v, '\t')), _mm_or_si128(Is(v, '\r'), Is(v, '\n')));
        });
    }
    static Mask AtMostSpace(const uint8_t* p) {
        const __m128i space = _mm_set1_epi8(' ');
        return Each(Bytes(p), [space](__m128i v) { return _mm_cmpeq_epi8(_mm_max_epu8(v, space), space); });
    }
    template <char A, char B, char C, char D, char E, char F>
    static Mask TagStarts(const uint8_t* p) {
        const auto two = [](__m128i v, char x, char y) { return _mm_or_si128(Is(v, x), Is(v, y)); };
        return Each(Bytes(p), Bytes(p + 1), Bytes(p + 2), [&](__m128i a, __m128i b, __m128i c) {
            return _mm_and_si128(_mm_and_si128(Is(a, '<'), _mm_or_si128(two(b, A, B), Is(b, C))), _mm_or_si128(two(c, D, E), Is(c, F)));
        });
    }
};
#else
using Sse2 = Scalar;
#endif

}  // namespace cleaner::marks
