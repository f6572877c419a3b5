// Stage 1: the structure of one block of the save (64 bytes, 32 on a 32-bit processor), as
// bit masks (bit i stands for byte i), and whether the block is plain: whether its tags can be read from the masks
// alone. Every "<" of a plain block opens a tag and every ">" closes one (no ">" in text or
// in a quoted value, which XML allows and the game never writes), each attribute value is
// quoted right after its "=" and closed by the same quote before the tag's ">", no comment,
// CDATA section, processing instruction or declaration starts in it, and no end tag ends in
// "/>". Anything else goes through the byte tokenizer.
//
// The byte compares come from the kernel (kernel.h): one byte at a time, 16 or 32 bytes a
// compare, the same bits whichever; the marks and the faults are written once over them.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cleaner/kernel.h"
#include "cleaner/texts.h"

#if defined(SORREL_X86)
#include <immintrin.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace cleaner {
// A block's bytes, a bit each in one word: 64 where the processor's words hold 64 bits, 32 on
// a 32-bit processor (where a mask of 64 bits takes two of its few registers, and the walk's
// loop runs out of them).
#if !defined(SORREL_BLOCK_BITS)
#if UINTPTR_MAX > 0xFFFFFFFFu
#define SORREL_BLOCK_BITS 64
#else
#define SORREL_BLOCK_BITS 32
#endif
#endif
#if SORREL_BLOCK_BITS == 64
using Mask = uint64_t;
#else
using Mask = uint32_t;
#endif
constexpr int kBlockBits = SORREL_BLOCK_BITS;
constexpr int kTopBit = kBlockBits - 1;
inline int LowestBit(Mask x) {
    if constexpr (sizeof(Mask) == 8) return __builtin_ctzll(x);
    return __builtin_ctz(static_cast<uint32_t>(x));
}
inline int HighestBit(Mask x) {
    if constexpr (sizeof(Mask) == 8) return kTopBit - __builtin_clzll(x);
    return kTopBit - __builtin_clz(static_cast<uint32_t>(x));
}

// What a block carries over to the next: whether it ends inside a tag (and whether that tag
// is an end tag), inside a quoted value of either kind, and whether its last byte is "=", "/"
// or "<".
// One word of bits, read and written whole (a struct of flags written one by one and read
// back at once stalls the processor).
struct Carry {
    enum Bit : uint32_t { kInTag = 1, kEndTag = 2, kInDouble = 4, kInSingle = 8, kEquals = 16, kSlash = 32, kLt = 64 };
    uint32_t bits = 0;
    bool in_tag() const { return bits & kInTag; }
    bool end_tag() const { return bits & kEndTag; }
    bool slash() const { return bits & kSlash; }
    bool quoted() const { return bits & (kInDouble | kInSingle); }
};

struct Marks {
    Mask lt = 0, gt = 0, slash = 0;
    Mask end_tags = 0;  // a "<" with "/" after it
    Mask markup = 0;    // a "<" with "!" or "?" after it
    Mask dq = 0, sq = 0, eq = 0;  // '"', '\'' and '=' (only where the block holds a quote)
    // Of the block's own bits: its "<", its end tags and its "/>" (that after the block's
    // first byte).
    uint8_t tags = 0, ends = 0, empties = 0;
    // Found with the block's faults: the ">" that end start tags in "/>" (the first one's too,
    // when it ends the tag the block before began).
    Mask empty_closers = 0;
    // The end tags whose tag before (in the block) is a start tag that is not empty, with
    // nothing but text between: an element opened and closed there, which takes the depth no
    // lower than it found it.
    Mask paired_ends = 0;
};

namespace marks {

// The masks of a block's own bytes, before what follows it is known: "<", ">", "/", the bytes
// that may open markup after a "<" ("!" and "?" (21, 3F) read 3F with 1E or-ed in, among a
// few others, digits and signs, that cannot begin a tag's name either; "/" (2F) apart), and
// whether a quote may stand in it ('"' (22) and '\'' (27) read 27 with 05 or-ed in, as do
// "#" and "&"): its masks of '"', '\'' and "=" are then taken apart (Quotes).
struct Raw {
    Mask lt, gt, slash, bang;
    bool quoted;
};

inline bool IsMarkupAfterLt(uint8_t c) { return (c | 0x1E) == 0x3F && c != '/'; }

// Each kernel's compares of the block at `p`: RawOf; Quotes (the masks of '"', '\'' and,
// where either stands, "="); Blanks (the XML blanks); AtMostSpace (bytes up to " "); and
// TagStarts (a "<" followed by one of A, B, C, then one of D, E, F; read two bytes past the
// block).
struct Scalar {
    template <class F>
    static Mask Each(const uint8_t* p, F is) {
        Mask m = 0;
        for (int i = 0; i < kBlockBits; ++i) m |= static_cast<Mask>(is(p[i])) << i;
        return m;
    }
    static Raw RawOf(const uint8_t* p) {
        const Mask slash = Each(p, [](uint8_t c) { return c == '/'; });
        return Raw{Each(p, [](uint8_t c) { return c == '<'; }), Each(p, [](uint8_t c) { return c == '>'; }), slash,
                   Each(p, [](uint8_t c) { return (c | 0x1E) == 0x3F; }) & ~slash,
                   Each(p, [](uint8_t c) { return (c | 0x05) == 0x27; }) != 0};
    }
    static void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
        *dq = Each(p, [](uint8_t c) { return c == '"'; });
        *sq = Each(p, [](uint8_t c) { return c == '\''; });
        *eq = (*dq | *sq) != 0 ? Each(p, [](uint8_t c) { return c == '='; }) : 0;
    }
    static Mask Blanks(const uint8_t* p) { return Each(p, IsMarkupSpace); }
    static Mask AtMostSpace(const uint8_t* p) {
        return Each(p, [](uint8_t c) { return c <= ' '; });
    }
    template <char A, char B, char C, char D, char E, char F>
    static Mask TagStarts(const uint8_t* p) {
        Mask m = 0;
        for (int i = 0; i < kBlockBits; ++i)
            if (p[i] == '<' && (p[i + 1] == A || p[i + 1] == B || p[i + 1] == C) && (p[i + 2] == D || p[i + 2] == E || p[i + 2] == F))
                m |= Mask{1} << i;
        return m;
    }
};

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

// The compares of kernel K (POPCNT's are SSE2's).
template <Kernel K>
using Compares = std::conditional_t<K == Kernel::kAvx2, Avx2, std::conditional_t<K == Kernel::kScalar, Scalar, Sse2>>;

// Bit i: an odd number of bits at or below i. One carry-less multiplication where the kernel
// has it, else six shifts.
#if defined(SORREL_X86)
[[gnu::target("pclmul")]] inline Mask ClmulPrefixXor(Mask x) {
    const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    uint64_t low;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), product);
    return static_cast<Mask>(low);
}
#endif
template <Kernel K>
inline Mask PrefixXor(Mask x) {
#if defined(SORREL_X86)
    if constexpr (K == Kernel::kAvx2) return ClmulPrefixXor(x);
#endif
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    if constexpr (kBlockBits == 64) x ^= x << (kBlockBits / 2);
    return x;
}

inline Mask Below(int i) { return i >= kBlockBits ? ~Mask{0} : (Mask{1} << i) - 1; }

// The bits set: by the processor's own instruction where the kernel has it; else counted in
// place (the processors the program runs on may lack POPCNT, and the compiler's own count is
// then a call).
template <Kernel K>
inline int Count(Mask x) {
    if constexpr (K == Kernel::kPopcnt || K == Kernel::kAvx2) {
        if constexpr (sizeof(Mask) == 8) return __builtin_popcountll(x);
        else return __builtin_popcount(static_cast<uint32_t>(x));
    }
    x -= (x >> 1) & static_cast<Mask>(0x5555555555555555u);
    x = (x & static_cast<Mask>(0x3333333333333333u)) + ((x >> 2) & static_cast<Mask>(0x3333333333333333u));
    x = (x + (x >> 4)) & static_cast<Mask>(0x0F0F0F0F0F0F0F0Fu);
    return static_cast<int>(static_cast<Mask>(x * static_cast<Mask>(0x0101010101010101u)) >> (kBlockBits - 8));
}

// The block at `p` begins inside the name of a start tag begun before it: from that tag's
// "<" on, no blank, ">" or "/". The tag began within the block before (a block is read by
// its masks only where its last tag ends in the next); if not, it is taken to.
inline bool InNameAt(const uint8_t* p) {
    for (int back = 1; back <= kBlockBits; ++back) {
        const uint8_t c = p[-back];
        if (c == '<') return true;
        if (IsMarkupSpace(c) || c == '>' || c == '/') return false;
    }
    return true;
}

// The quoted values among `dq` and `sq` (the quotes inside tags, of both kinds), given the
// value the block before left open (`open`: Carry::kInDouble or kInSingle, or 0): each quote
// opens a value where none is open, and only one of its kind closes it, taken in order. A
// value holds its opening quote, not its closing one. `opening` gets the opening quotes, and
// `open` the value left open at the block's end.
inline Mask ValuesInOrder(Mask dq, Mask sq, uint32_t* open, Mask* opening) {
    Mask values = 0, opens = 0;
    int from = 0;
    for (Mask quotes = dq | sq; quotes != 0; quotes &= quotes - 1) {
        const int i = LowestBit(quotes);
        const uint32_t kind = (dq >> i) & 1 ? Carry::kInDouble : Carry::kInSingle;
        if (*open == 0) {
            *open = kind, from = i;
            opens |= Mask{1} << i;
        } else if (*open == kind) {
            values |= Below(i) & ~Below(from);
            *open = 0;
        }
    }
    if (*open != 0) values |= ~Below(from);
    *opening = opens;
    return values;
}

}  // namespace marks

// The marks of a block from the masks of its own bytes and whether the byte after it is "/"
// and may open markup (bit 0 of the next block's masks).
// (MasksOf: all but the counts.)
inline void MasksOf(const marks::Raw& r, Mask next_slash, Mask next_bang, Marks& m) {
    m.lt = r.lt, m.gt = r.gt, m.slash = r.slash;
    m.end_tags = r.lt & ((r.slash >> 1) | next_slash << kTopBit);
    m.markup = r.lt & ((r.bang >> 1) | next_bang << kTopBit);
    m.dq = m.sq = m.eq = 0;
}

// The marks of the block from `p` into `m`; the byte after it is read too (what follows the
// block's last "<").
template <Kernel K>
inline void Mark(const uint8_t* p, Marks& m) {
    const marks::Raw r = marks::Compares<K>::RawOf(p);
    MasksOf(r, Mask{p[kBlockBits] == '/'}, Mask{marks::IsMarkupAfterLt(p[kBlockBits])}, m);
    m.tags = static_cast<uint8_t>(marks::Count<K>(r.lt));
    m.ends = static_cast<uint8_t>(marks::Count<K>(m.end_tags));
    m.empties = static_cast<uint8_t>(marks::Count<K>(r.gt & (r.slash << 1)));
    if (r.quoted) marks::Compares<K>::Quotes(p, &m.dq, &m.sq, &m.eq);
}

// The bytes of the block at `p` that are not plain, given what the block before carried in
// `carry` (updated for the next block): a "<" inside a tag or a ">" outside one, the "<" of a
// comment, a CDATA section, an instruction or a declaration, a quote inside a start tag's name
// (the tokenizer reads it as part of the name) or one that opens other than right after "=",
// a ">" inside a quoted value, a "/" inside a tag elsewhere than after its "<" or before its
// ">", and the ">" of an end tag that ends in "/>".
// `next_gt`: the byte after the block is ">". Without `kQuotes`, for a block that holds no
// quote and does not begin inside a quoted value.
template <Kernel K, bool kQuotes = true>
[[gnu::always_inline]] inline Mask FaultsWith(const uint8_t* p, Marks& m, Carry* carry, Mask next_gt) {
    const uint32_t was = carry->bits;
    uint32_t bits = 0;
    const Mask in = marks::PrefixXor<K>(m.lt | m.gt) ^ (was & Carry::kInTag ? ~Mask{0} : 0);  // a tag's "<" to its ">"
    Mask faults = (m.lt & ~in) | (m.gt & in) | m.markup;
    Mask valued = 0;  // inside quoted values
    if (kQuotes && ((m.dq | m.sq) != 0 || (was & (Carry::kInDouble | Carry::kInSingle)) != 0)) {
        // The names of start tags: from the byte after "<" to the first blank, ">" or "/".
        const Mask name_bytes = ~(marks::Compares<K>::Blanks(p) | m.gt | m.slash | m.lt);
        const bool in_name = (was & (Carry::kInTag | Carry::kEndTag)) == Carry::kInTag && marks::InNameAt(p);
        const Mask starts = ((m.lt << 1) | (in_name ? 1 : 0)) & name_bytes;
        faults |= (m.dq | m.sq) & name_bytes & ~(name_bytes + starts);
        const Mask after_equals = (m.eq << 1) | (was & Carry::kEquals ? 1 : 0);
        // The quoted values: where the tags hold quotes of one kind only, from each odd one
        // to the next (a prefix XOR); where of both, taken in order, as a reader takes them.
        const Mask dq = m.dq & in, sq = m.sq & in;
        uint32_t open = was & (Carry::kInDouble | Carry::kInSingle);
        Mask opening;
        if ((dq != 0 || open == Carry::kInDouble) && (sq != 0 || open == Carry::kInSingle)) {
            valued = marks::ValuesInOrder(dq, sq, &open, &opening);
        } else {
            const Mask quotes = dq | sq;
            if (open == 0) open = dq != 0 ? Carry::kInDouble : Carry::kInSingle;
            valued = marks::PrefixXor<K>(quotes) ^ (was & open ? ~Mask{0} : 0);
            opening = quotes & valued;
            if ((valued >> kTopBit) == 0) open = 0;
        }
        faults |= (opening & ~after_equals) | (m.gt & valued);
        bits |= open;
    }
    // A "/" inside a tag but in a value is right after its "<" or right before its ">" (the
    // tokenizer passes over any other).
    const Mask before_gt = (m.gt >> 1) | (next_gt << kTopBit);
    faults |= m.slash & in & ~valued & ~((m.lt << 1) | (was & Carry::kLt ? 1 : 0)) & ~before_gt;
    // The ">" of each end tag: its "<" carried by an addition through the tag's bytes (one
    // carried in at the first byte for an end tag begun before); the carry out of the block
    // is an end tag left open.
    const Mask carried = (was & (Carry::kInTag | Carry::kEndTag)) == (Carry::kInTag | Carry::kEndTag) ? 1 : 0;
    Mask ended = 0, sum = 0;
    const bool over = __builtin_add_overflow(in, m.end_tags, &ended);
    const bool out = __builtin_add_overflow(ended, carried, &sum) || over;
    const Mask end_closers = sum & m.gt;
    const Mask slash_before = (m.slash << 1) | (was & Carry::kSlash ? 1 : 0);
    faults |= end_closers & slash_before;  // an end tag ended by "/>"
    m.empty_closers = m.gt & slash_before & ~end_closers;
    // From the ">" of such a start tag a carry runs through its text (bits outside tags) to
    // the next "<". (A tag the block before began is no element opened in the block.)
    const Mask head = was & Carry::kInTag ? m.gt & (~m.gt + 1) : 0;
    m.paired_ends = m.end_tags & (~in + (m.gt & ~end_closers & ~m.empty_closers & ~head));
    if (in >> kTopBit) bits |= Carry::kInTag | (out ? Carry::kEndTag : 0u);
    bits |= (p[kTopBit] == '=' ? Carry::kEquals : 0u) | static_cast<uint32_t>(m.slash >> kTopBit) * Carry::kSlash |
            static_cast<uint32_t>(m.lt >> kTopBit) * Carry::kLt;
    carry->bits = bits;
    return faults;
}
template <Kernel K>
[[gnu::always_inline]] inline Mask Faults(const uint8_t* p, Marks& m, Carry* carry) {
    return FaultsWith<K>(p, m, carry, Mask{p[kBlockBits] == '>'});
}

// The marks of the block at `p` into `m`, and its faults (Faults), by `kernel`: for the
// blocks the walk takes one at a time, the bench and the tests.
Mask MarkedFaults(Kernel kernel, const uint8_t* p, Marks& m, Carry* carry);

}  // namespace cleaner
