// Stage 1: the structure of one block of the save (64 bytes, 32 on a 32-bit processor), as
// bit masks (bit i stands for byte i), and whether the block is plain: whether its tags can be read from the masks
// alone. Every "<" of a plain block opens a tag and every ">" closes one (no ">" in text or
// in a quoted value, which XML allows and the game never writes), each attribute value is
// quoted right after its "=" and closed by the same quote before the tag's ">", no comment,
// CDATA section, processing instruction or declaration starts in it, and no end tag ends in
// "/>". Anything else goes through the byte tokenizer.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#include <immintrin.h>
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

// The bytes of a block, held for their compares, 16 a lane. (Every step over the lanes is
// written out: the compiler keeps a loop over them, spilling the lanes to memory.)
struct Bytes {
#if defined(__SSE2__)
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
#else
    const uint8_t* p;
    explicit Bytes(const uint8_t* bytes) : p(bytes) {}
#endif
};

#if defined(__SSE2__)
inline Mask Lane(__m128i v, int i) { return static_cast<Mask>(static_cast<uint32_t>(_mm_movemask_epi8(v))) << (16 * i); }
// The mask of `f` applied to each lane of `b` (and of `c` and `d`, read one and two bytes on).
template <class F>
inline Mask Each(const Bytes& b, F f) {
#if SORREL_BLOCK_BITS == 64
    return Lane(f(b.v0), 0) | Lane(f(b.v1), 1) | Lane(f(b.v2), 2) | Lane(f(b.v3), 3);
#else
    return Lane(f(b.v0), 0) | Lane(f(b.v1), 1);
#endif
}
template <class F>
inline Mask Each(const Bytes& b, const Bytes& c, const Bytes& d, F f) {
#if SORREL_BLOCK_BITS == 64
    return Lane(f(b.v0, c.v0, d.v0), 0) | Lane(f(b.v1, c.v1, d.v1), 1) | Lane(f(b.v2, c.v2, d.v2), 2) |
           Lane(f(b.v3, c.v3, d.v3), 3);
#else
    return Lane(f(b.v0, c.v0, d.v0), 0) | Lane(f(b.v1, c.v1, d.v1), 1);
#endif
}
inline __m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
// The bytes equal to `c`, or to `c` or `d`, ...
inline Mask Equal(const Bytes& b, char c) {
    return Each(b, [c](__m128i v) { return Is(v, c); });
}
inline Mask Equal(const Bytes& b, char c, char d, char e, char f) {
    return Each(b, [=](__m128i v) { return _mm_or_si128(_mm_or_si128(Is(v, c), Is(v, d)), _mm_or_si128(Is(v, e), Is(v, f))); });
}
// Bytes equal to `c` once `set` is or-ed into them: one compare for a few characters.
inline __m128i IsOr(__m128i v, char set, char c) { return Is(_mm_or_si128(v, _mm_set1_epi8(set)), c); }
inline Mask EqualOr(const Bytes& b, char set, char c) {
    return Each(b, [=](__m128i v) { return IsOr(v, set, c); });
}
// Whether the block holds a byte equal to `c` once `set` is or-ed into it: one mask, no bits.
inline bool AnyOr(const Bytes& b, char set, char c) {
#if SORREL_BLOCK_BITS == 64
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(IsOr(b.v0, set, c), IsOr(b.v1, set, c)),
                                          _mm_or_si128(IsOr(b.v2, set, c), IsOr(b.v3, set, c)))) != 0;
#else
    return _mm_movemask_epi8(_mm_or_si128(IsOr(b.v0, set, c), IsOr(b.v1, set, c))) != 0;
#endif
}
// Where a "<" followed by one of `first` and then one of `second` stands in the block from
// `p` (read two bytes past it), bit by bit.
template <char A, char B, char C, char D, char E, char F>
inline Mask TagStarts(const uint8_t* p) {
    const auto two = [](__m128i v, char x, char y) { return _mm_or_si128(Is(v, x), Is(v, y)); };
    return Each(Bytes(p), Bytes(p + 1), Bytes(p + 2), [&](__m128i a, __m128i b, __m128i c) {
        return _mm_and_si128(_mm_and_si128(Is(a, '<'), _mm_or_si128(two(b, A, B), Is(b, C))), _mm_or_si128(two(c, D, E), Is(c, F)));
    });
}
// Bytes up to " " (the XML blanks among them).
inline Mask AtMostSpace(const Bytes& b) {
    const __m128i space = _mm_set1_epi8(' ');
    return Each(b, [space](__m128i v) { return _mm_cmpeq_epi8(_mm_max_epu8(v, space), space); });
}
#else
inline Mask Equal(const Bytes& b, char c) {
    Mask m = 0;
    for (int i = 0; i < kBlockBits; ++i) m |= static_cast<Mask>(b.p[i] == static_cast<uint8_t>(c)) << i;
    return m;
}
inline Mask Equal(const Bytes& b, char c, char d, char e, char f) {
    return Equal(b, c) | Equal(b, d) | Equal(b, e) | Equal(b, f);
}
inline Mask EqualOr(const Bytes& b, char set, char c) {
    Mask m = 0;
    for (int i = 0; i < kBlockBits; ++i)
        m |= static_cast<Mask>((b.p[i] | static_cast<uint8_t>(set)) == static_cast<uint8_t>(c)) << i;
    return m;
}
inline bool AnyOr(const Bytes& b, char set, char c) { return EqualOr(b, set, c) != 0; }
template <char A, char B, char C, char D, char E, char F>
inline Mask TagStarts(const uint8_t* p) {
    Mask m = 0;
    for (int i = 0; i < kBlockBits; ++i)
        if (p[i] == '<' && (p[i + 1] == A || p[i + 1] == B || p[i + 1] == C) && (p[i + 2] == D || p[i + 2] == E || p[i + 2] == F))
            m |= Mask{1} << i;
    return m;
}
inline Mask AtMostSpace(const Bytes& b) {
    Mask m = 0;
    for (int i = 0; i < kBlockBits; ++i) m |= static_cast<Mask>(b.p[i] <= ' ') << i;
    return m;
}
#endif

inline bool IsMarkupAfterLt(uint8_t c) { return (c | 0x1E) == 0x3F && c != '/'; }

// Bit i: an odd number of bits at or below i.
inline Mask PrefixXor(Mask x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    if constexpr (kBlockBits == 64) x ^= x << (kBlockBits / 2);
    return x;
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
[[gnu::target("pclmul")]] inline Mask ClmulPrefixXor(Mask x) {
    const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    uint64_t low;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), product);
    return static_cast<Mask>(low);
}
#endif
template <bool kClmul>
inline Mask PrefixXorAs(Mask x) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if constexpr (kClmul) return ClmulPrefixXor(x);
#endif
    return PrefixXor(x);
}

inline Mask Below(int i) { return i >= kBlockBits ? ~Mask{0} : (Mask{1} << i) - 1; }

// The bits set, counted in place: the processors the program runs on may lack POPCNT, and
// the compiler's own count is then a call.
inline int Count(Mask x) {
    x -= (x >> 1) & static_cast<Mask>(0x5555555555555555u);
    x = (x & static_cast<Mask>(0x3333333333333333u)) + ((x >> 2) & static_cast<Mask>(0x3333333333333333u));
    x = (x + (x >> 4)) & static_cast<Mask>(0x0F0F0F0F0F0F0F0Fu);
    return static_cast<int>(static_cast<Mask>(x * static_cast<Mask>(0x0101010101010101u)) >> (kBlockBits - 8));
}

}  // namespace marks

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

inline Raw RawOf(const uint8_t* p) {
    const Bytes b(p);
    const Mask slash = Equal(b, '/');
    return Raw{Equal(b, '<'), Equal(b, '>'), slash, EqualOr(b, 0x1E, 0x3F) & ~slash, AnyOr(b, 0x05, 0x27)};
}

// The masks of '"', '\'' and, where either stands, "=" of the block at `p`.
inline void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
    const Bytes b(p);
    *dq = Equal(b, '"');
    *sq = Equal(b, '\'');
    *eq = (*dq | *sq) != 0 ? Equal(b, '=') : 0;
}

// The bits set. The processors the program runs on may lack POPCNT, where the compiler's own
// count is a call: counted in place there, by the instruction where it is known to be there.
template <bool kPopcnt>
inline int CountAs(Mask x) {
    if constexpr (kPopcnt && sizeof(Mask) == 8) return __builtin_popcountll(x);
    if constexpr (kPopcnt) return __builtin_popcount(static_cast<uint32_t>(x));
    return Count(x);
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
template <bool kPopcnt>
inline void Complete(const marks::Raw& r, Mask next_slash, Mask next_bang, Marks& m) {
    MasksOf(r, next_slash, next_bang, m);
    m.tags = static_cast<uint8_t>(marks::CountAs<kPopcnt>(r.lt));
    m.ends = static_cast<uint8_t>(marks::CountAs<kPopcnt>(m.end_tags));
    m.empties = static_cast<uint8_t>(marks::CountAs<kPopcnt>(r.gt & (r.slash << 1)));
}

// The marks of the block from `p` into `m`; the byte after it is read too (what follows the
// block's last "<").
inline void Mark(const uint8_t* p, Marks& m) {
    const marks::Raw r = marks::RawOf(p);
    Complete<false>(r, Mask{p[kBlockBits] == '/'}, Mask{marks::IsMarkupAfterLt(p[kBlockBits])}, m);
    if (r.quoted) marks::Quotes(p, &m.dq, &m.sq, &m.eq);
}
inline Marks Mark(const uint8_t* p) {
    Marks m;
    Mark(p, m);
    return m;
}

namespace marks {

inline bool IsBlank(uint8_t c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The block at `p` begins inside the name of a start tag begun before it: from that tag's
// "<" on, no blank, ">" or "/". The tag began within the block before (a block is read by
// its masks only where its last tag ends in the next); if not, it is taken to.
inline bool InNameAt(const uint8_t* p) {
    for (int back = 1; back <= kBlockBits; ++back) {
        const uint8_t c = p[-back];
        if (c == '<') return true;
        if (IsBlank(c) || c == '>' || c == '/') return false;
    }
    return true;
}

}  // namespace marks

// The bytes of the block at `p` that are not plain, given what the block before carried in
// `carry` (updated for the next block): a "<" inside a tag or a ">" outside one, the "<" of a
// comment, a CDATA section, an instruction or a declaration, a quote inside a start tag's name
// (the tokenizer reads it as part of the name) or one that opens other than right after "=",
// a ">" inside a quoted value, a "/" inside a tag elsewhere than after its "<" or before its
// ">", and the ">" of an end tag that ends in "/>".
// `next_gt`: the byte after the block is ">". Without `kQuotes`, for a block that holds no
// quote and does not begin inside a quoted value.
// With `kClmul`, the prefix XOR is one carry-less multiplication (where the processor has it),
// and the block's blanks come taken already (`blanks_of_p`, wide::Blanks).
template <bool kQuotes = true, bool kClmul = false>
[[gnu::always_inline]] inline Mask FaultsWith(const uint8_t* p, Marks& m, Carry* carry, Mask next_gt, Mask blanks_of_p = 0) {
    const uint32_t was = carry->bits;
    uint32_t bits = 0;
    const Mask in = marks::PrefixXorAs<kClmul>(m.lt | m.gt) ^ (was & Carry::kInTag ? ~Mask{0} : 0);  // a tag's "<" to its ">"
    Mask faults = (m.lt & ~in) | (m.gt & in) | m.markup;
    Mask valued = 0;  // inside quoted values
    if (kQuotes && ((m.dq | m.sq) != 0 || (was & (Carry::kInDouble | Carry::kInSingle)) != 0)) {
        // The names of start tags: from the byte after "<" to the first blank, ">" or "/".
        const Mask blanks = kClmul ? blanks_of_p : marks::Equal(marks::Bytes(p), ' ', '\t', '\r', '\n');
        const Mask name_bytes = ~(blanks | m.gt | m.slash | m.lt);
        const bool in_name = (was & (Carry::kInTag | Carry::kEndTag)) == Carry::kInTag && marks::InNameAt(p);
        const Mask starts = ((m.lt << 1) | (in_name ? 1 : 0)) & name_bytes;
        faults |= (m.dq | m.sq) & name_bytes & ~(name_bytes + starts);
        const Mask after_equals = (m.eq << 1) | (was & Carry::kEquals ? 1 : 0);
        for (auto [quotes, open] : {std::pair{m.dq & in, Carry::kInDouble}, std::pair{m.sq & in, Carry::kInSingle}}) {
            // An opening quote and after it.
            const Mask inside = marks::PrefixXorAs<kClmul>(quotes) ^ (was & open ? ~Mask{0} : 0);
            faults |= (quotes & inside & ~after_equals) | (m.gt & inside);
            valued |= inside;
            if (inside >> kTopBit) bits |= open;
        }
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
[[gnu::always_inline]] inline Mask Faults(const uint8_t* p, Marks& m, Carry* carry) {
    return FaultsWith(p, m, carry, Mask{p[kBlockBits] == '>'});
}

// Where the processor has AVX2 (and the system keeps its registers), the marks of a block
// and the look for tag starts take 32 bytes a compare. The same bits as above; chosen at run
// time (WideMarks), SSE2 staying the default.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SORREL_WIDE_MARKS 1
namespace wide {

[[gnu::target("avx2")]] inline __m256i Is(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
[[gnu::target("avx2")]] inline __m256i Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
[[gnu::target("avx2")]] inline __m256i IsOr(__m256i v, char set, char c) { return Is(_mm256_or_si256(v, _mm256_set1_epi8(set)), c); }
[[gnu::target("avx2")]] inline __m256i IsAny(__m256i v, char x, char y, char z) {
    return _mm256_or_si256(_mm256_or_si256(Is(v, x), Is(v, y)), Is(v, z));
}
[[gnu::target("avx2")]] inline Mask Lane(__m256i v, int i) {
    return static_cast<Mask>(static_cast<uint32_t>(_mm256_movemask_epi8(v))) << (32 * i);
}
[[gnu::target("avx2")]] inline marks::Raw RawOf(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
    const __m256i a = Load(p), b = Load(p + 32);
    const Mask slash = Lane(Is(a, '/'), 0) | Lane(Is(b, '/'), 1);
    return marks::Raw{Lane(Is(a, '<'), 0) | Lane(Is(b, '<'), 1), Lane(Is(a, '>'), 0) | Lane(Is(b, '>'), 1), slash,
                      (Lane(IsOr(a, 0x1E, 0x3F), 0) | Lane(IsOr(b, 0x1E, 0x3F), 1)) & ~slash,
                      _mm256_movemask_epi8(_mm256_or_si256(IsOr(a, 0x05, 0x27), IsOr(b, 0x05, 0x27))) != 0};
#else
    const __m256i a = Load(p);
    const Mask slash = Lane(Is(a, '/'), 0);
    return marks::Raw{Lane(Is(a, '<'), 0), Lane(Is(a, '>'), 0), slash, Lane(IsOr(a, 0x1E, 0x3F), 0) & ~slash,
                      _mm256_movemask_epi8(IsOr(a, 0x05, 0x27)) != 0};
#endif
}

// The masks of '"', '\'' and, where either stands, "=" (marks::Quotes), and of the blanks.
[[gnu::target("avx2")]] inline void Quotes(const uint8_t* p, Mask* dq, Mask* sq, Mask* eq) {
#if SORREL_BLOCK_BITS == 64
    const __m256i a = Load(p), b = Load(p + 32);
    *dq = Lane(Is(a, '"'), 0) | Lane(Is(b, '"'), 1);
    *sq = Lane(Is(a, '\''), 0) | Lane(Is(b, '\''), 1);
    *eq = (*dq | *sq) != 0 ? Lane(Is(a, '='), 0) | Lane(Is(b, '='), 1) : 0;
#else
    const __m256i a = Load(p);
    *dq = Lane(Is(a, '"'), 0);
    *sq = Lane(Is(a, '\''), 0);
    *eq = (*dq | *sq) != 0 ? Lane(Is(a, '='), 0) : 0;
#endif
}
[[gnu::target("avx2")]] inline __m256i IsBlank(__m256i v) {
    return _mm256_or_si256(_mm256_or_si256(Is(v, ' '), Is(v, '\t')), _mm256_or_si256(Is(v, '\r'), Is(v, '\n')));
}
[[gnu::target("avx2")]] inline Mask Blanks(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
    return Lane(IsBlank(Load(p)), 0) | Lane(IsBlank(Load(p + 32)), 1);
#else
    return Lane(IsBlank(Load(p)), 0);
#endif
}

[[gnu::target("avx2,popcnt")]] inline void Mark(const uint8_t* p, Marks& m) {
    const marks::Raw r = RawOf(p);
    Complete<true>(r, Mask{p[kBlockBits] == '/'}, Mask{marks::IsMarkupAfterLt(p[kBlockBits])}, m);
    if (r.quoted) marks::Quotes(p, &m.dq, &m.sq, &m.eq);
}

template <char A, char B, char C, char D, char E, char F>
[[gnu::target("avx2")]] inline __m256i TagStartsAt(const uint8_t* q) {
    return _mm256_and_si256(_mm256_and_si256(Is(Load(q), '<'), IsAny(Load(q + 1), A, B, C)), IsAny(Load(q + 2), D, E, F));
}
template <char A, char B, char C, char D, char E, char F>
[[gnu::target("avx2")]] inline Mask TagStarts(const uint8_t* p) {
#if SORREL_BLOCK_BITS == 64
    return Lane(TagStartsAt<A, B, C, D, E, F>(p), 0) | Lane(TagStartsAt<A, B, C, D, E, F>(p + 32), 1);
#else
    return Lane(TagStartsAt<A, B, C, D, E, F>(p), 0);
#endif
}

}  // namespace wide
#endif

// Whether the walk reads blocks 32 bytes a compare: where the processor can, unless a test
// says otherwise.
bool& WideMarks();
// Whether, reading them 16 bytes a compare, it counts their bits by the processor's own
// instruction (POPCNT): where the processor has it, unless a test says otherwise.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SORREL_COUNTED_MARKS 1
#endif
bool& CountedMarks();

}  // namespace cleaner
