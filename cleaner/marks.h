// Stage 1: the structure of one block of 64 bytes of the save, as bit masks (bit i stands for
// byte i), and whether the block is plain: whether its tags can be read from the masks
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
    uint64_t lt = 0, gt = 0, slash = 0;
    uint64_t end_tags = 0;  // a "<" with "/" after it
    uint64_t markup = 0;    // a "<" with "!" or "?" after it
    uint64_t dq = 0, sq = 0, eq = 0;  // '"', '\'' and '=' (only where the block holds a quote)
    // Of the block's own bits: its "<", its end tags and its "/>" (that after the block's
    // first byte).
    uint8_t tags = 0, ends = 0, empties = 0;
    // Found with the block's faults: the ">" that end start tags in "/>" (the first one's too,
    // when it ends the tag the block before began).
    uint64_t empty_closers = 0;
    // The end tags whose tag before (in the block) is a start tag that is not empty, with
    // nothing but text between: an element opened and closed there, which takes the depth no
    // lower than it found it.
    uint64_t paired_ends = 0;
};

namespace marks {

// The 64 bytes of a block, held for their compares. (Every step over the four lanes is
// written out: the compiler keeps a loop over them, spilling the lanes to memory.)
struct Bytes {
#if defined(__SSE2__)
    __m128i v0, v1, v2, v3;
    explicit Bytes(const uint8_t* p)
        : v0(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))),
          v1(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16))),
          v2(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32))),
          v3(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48))) {}
#else
    const uint8_t* p;
    explicit Bytes(const uint8_t* bytes) : p(bytes) {}
#endif
};

#if defined(__SSE2__)
inline uint64_t Join(__m128i a, __m128i b, __m128i c, __m128i d) {
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(a))) |
           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(b))) << 16 |
           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(c))) << 32 |
           static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(d))) << 48;
}
inline __m128i Is(__m128i v, char c) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); }
// The bytes equal to `c`, or to `c` or `d`, ...
inline uint64_t Equal(const Bytes& b, char c) { return Join(Is(b.v0, c), Is(b.v1, c), Is(b.v2, c), Is(b.v3, c)); }
inline uint64_t Equal(const Bytes& b, char c, char d, char e, char f) {
    const auto any = [=](__m128i v) { return _mm_or_si128(_mm_or_si128(Is(v, c), Is(v, d)), _mm_or_si128(Is(v, e), Is(v, f))); };
    return Join(any(b.v0), any(b.v1), any(b.v2), any(b.v3));
}
// Bytes equal to `c` once `set` is or-ed into them: one compare for a few characters.
inline __m128i IsOr(__m128i v, char set, char c) { return Is(_mm_or_si128(v, _mm_set1_epi8(set)), c); }
inline uint64_t EqualOr(const Bytes& b, char set, char c) {
    return Join(IsOr(b.v0, set, c), IsOr(b.v1, set, c), IsOr(b.v2, set, c), IsOr(b.v3, set, c));
}
// Whether the block holds a byte equal to `c` once `set` is or-ed into it: one mask, no bits.
inline bool AnyOr(const Bytes& b, char set, char c) {
    return _mm_movemask_epi8(_mm_or_si128(_mm_or_si128(IsOr(b.v0, set, c), IsOr(b.v1, set, c)),
                                          _mm_or_si128(IsOr(b.v2, set, c), IsOr(b.v3, set, c)))) != 0;
}
// Where a "<" followed by one of `first` and then one of `second` stands in the 64 bytes
// from `p` (read to p[65]), bit by bit.
template <char A, char B, char C, char D, char E, char F>
inline __m128i TagStartsIn(__m128i a, __m128i b, __m128i c) {
    const auto two = [](__m128i v, char x, char y) { return _mm_or_si128(Is(v, x), Is(v, y)); };
    return _mm_and_si128(_mm_and_si128(Is(a, '<'), _mm_or_si128(two(b, A, B), Is(b, C))), _mm_or_si128(two(c, D, E), Is(c, F)));
}
template <char A, char B, char C, char D, char E, char F>
inline uint64_t TagStarts(const uint8_t* p) {
    const Bytes lt(p), i(p + 1), d(p + 2);
    const auto at = [](__m128i a, __m128i b, __m128i c) { return TagStartsIn<A, B, C, D, E, F>(a, b, c); };
    return Join(at(lt.v0, i.v0, d.v0), at(lt.v1, i.v1, d.v1), at(lt.v2, i.v2, d.v2), at(lt.v3, i.v3, d.v3));
}
// Bytes up to " " (the XML blanks among them).
inline uint64_t AtMostSpace(const Bytes& b) {
    const __m128i space = _mm_set1_epi8(' ');
    const auto le = [space](__m128i v) { return _mm_cmpeq_epi8(_mm_max_epu8(v, space), space); };
    return Join(le(b.v0), le(b.v1), le(b.v2), le(b.v3));
}
#else
inline uint64_t Equal(const Bytes& b, char c) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>(b.p[i] == static_cast<uint8_t>(c)) << i;
    return m;
}
inline uint64_t Equal(const Bytes& b, char c, char d, char e, char f) {
    return Equal(b, c) | Equal(b, d) | Equal(b, e) | Equal(b, f);
}
inline uint64_t EqualOr(const Bytes& b, char set, char c) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>((b.p[i] | static_cast<uint8_t>(set)) == static_cast<uint8_t>(c)) << i;
    return m;
}
inline bool AnyOr(const Bytes& b, char set, char c) { return EqualOr(b, set, c) != 0; }
template <char A, char B, char C, char D, char E, char F>
inline uint64_t TagStarts(const uint8_t* p) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i)
        if (p[i] == '<' && (p[i + 1] == A || p[i + 1] == B || p[i + 1] == C) && (p[i + 2] == D || p[i + 2] == E || p[i + 2] == F))
            m |= uint64_t{1} << i;
    return m;
}
inline uint64_t AtMostSpace(const Bytes& b) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>(b.p[i] <= ' ') << i;
    return m;
}
#endif

inline bool IsMarkupAfterLt(uint8_t c) { return (c | 0x1E) == 0x3F && c != '/'; }

// Bit i: an odd number of bits at or below i.
inline uint64_t PrefixXor(uint64_t x) {
    x ^= x << 1;
    x ^= x << 2;
    x ^= x << 4;
    x ^= x << 8;
    x ^= x << 16;
    x ^= x << 32;
    return x;
}

#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
[[gnu::target("pclmul")]] inline uint64_t ClmulPrefixXor(uint64_t x) {
    const __m128i product = _mm_clmulepi64_si128(_mm_set_epi64x(0, static_cast<long long>(x)), _mm_set1_epi8(-1), 0);
    uint64_t low;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(&low), product);
    return low;
}
#endif
template <bool kClmul>
inline uint64_t PrefixXorAs(uint64_t x) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if constexpr (kClmul) return ClmulPrefixXor(x);
#endif
    return PrefixXor(x);
}

inline uint64_t Below(int i) { return i >= 64 ? ~uint64_t{0} : (uint64_t{1} << i) - 1; }

// The bits set, counted in place: the processors the program runs on may lack POPCNT, and
// the compiler's own count is then a call.
inline int Count(uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
}

}  // namespace marks

namespace marks {

// The masks of a block's own bytes, before what follows it is known: "<", ">", "/", the bytes
// that may open markup after a "<" ("!" and "?" (21, 3F) read 3F with 1E or-ed in, among a
// few others, digits and signs, that cannot begin a tag's name either; "/" (2F) apart), and
// whether a quote may stand in it ('"' (22) and '\'' (27) read 27 with 05 or-ed in, as do
// "#" and "&"): its masks of '"', '\'' and "=" are then taken apart (Quotes).
struct Raw {
    uint64_t lt, gt, slash, bang;
    bool quoted;
};

inline Raw RawOf(const uint8_t* p) {
    const Bytes b(p);
    const uint64_t slash = Equal(b, '/');
    return Raw{Equal(b, '<'), Equal(b, '>'), slash, EqualOr(b, 0x1E, 0x3F) & ~slash, AnyOr(b, 0x05, 0x27)};
}

// The masks of '"', '\'' and, where either stands, "=" of the block at `p`.
inline void Quotes(const uint8_t* p, uint64_t* dq, uint64_t* sq, uint64_t* eq) {
    const Bytes b(p);
    *dq = Equal(b, '"');
    *sq = Equal(b, '\'');
    *eq = (*dq | *sq) != 0 ? Equal(b, '=') : 0;
}

// The bits set. The processors the program runs on may lack POPCNT, where the compiler's own
// count is a call: counted in place there, by the instruction where it is known to be there.
template <bool kPopcnt>
inline int CountAs(uint64_t x) {
    if constexpr (kPopcnt) return __builtin_popcountll(x);
    return Count(x);
}

}  // namespace marks

// The marks of a block from the masks of its own bytes and whether the byte after it is "/"
// and may open markup (bit 0 of the next block's masks).
// (MasksOf: all but the counts.)
inline void MasksOf(const marks::Raw& r, uint64_t next_slash, uint64_t next_bang, Marks& m) {
    m.lt = r.lt, m.gt = r.gt, m.slash = r.slash;
    m.end_tags = r.lt & ((r.slash >> 1) | next_slash << 63);
    m.markup = r.lt & ((r.bang >> 1) | next_bang << 63);
    m.dq = m.sq = m.eq = 0;
}
template <bool kPopcnt>
inline void Complete(const marks::Raw& r, uint64_t next_slash, uint64_t next_bang, Marks& m) {
    MasksOf(r, next_slash, next_bang, m);
    m.tags = static_cast<uint8_t>(marks::CountAs<kPopcnt>(r.lt));
    m.ends = static_cast<uint8_t>(marks::CountAs<kPopcnt>(m.end_tags));
    m.empties = static_cast<uint8_t>(marks::CountAs<kPopcnt>(r.gt & (r.slash << 1)));
}

// The marks of the 64 bytes from `p` into `m`; p[64] is read too (what follows the block's
// last "<").
inline void Mark(const uint8_t* p, Marks& m) {
    const marks::Raw r = marks::RawOf(p);
    Complete<false>(r, uint64_t{p[64] == '/'}, uint64_t{marks::IsMarkupAfterLt(p[64])}, m);
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
// "<" on, no blank, ">" or "/". The tag began within the 64 bytes before (a block is read
// by its masks only where its last tag ends in the next); if not, it is taken to.
inline bool InNameAt(const uint8_t* p) {
    for (int back = 1; back <= 64; ++back) {
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
// With `kClmul`, the prefix XOR is one carry-less multiplication (where the processor has it).
template <bool kQuotes = true, bool kClmul = false>
[[gnu::always_inline]] inline uint64_t FaultsWith(const uint8_t* p, Marks& m, Carry* carry, uint64_t next_gt) {
    const uint32_t was = carry->bits;
    uint32_t bits = 0;
    const uint64_t in = marks::PrefixXorAs<kClmul>(m.lt | m.gt) ^ (was & Carry::kInTag ? ~uint64_t{0} : 0);  // a tag's "<" to its ">"
    uint64_t faults = (m.lt & ~in) | (m.gt & in) | m.markup;
    uint64_t valued = 0;  // inside quoted values
    if (kQuotes && ((m.dq | m.sq) != 0 || (was & (Carry::kInDouble | Carry::kInSingle)) != 0)) {
        // The names of start tags: from the byte after "<" to the first blank, ">" or "/".
        const uint64_t blanks = marks::Equal(marks::Bytes(p), ' ', '\t', '\r', '\n');
        const uint64_t name_bytes = ~(blanks | m.gt | m.slash | m.lt);
        const bool in_name = (was & (Carry::kInTag | Carry::kEndTag)) == Carry::kInTag && marks::InNameAt(p);
        const uint64_t starts = ((m.lt << 1) | (in_name ? 1 : 0)) & name_bytes;
        faults |= (m.dq | m.sq) & name_bytes & ~(name_bytes + starts);
        const uint64_t after_equals = (m.eq << 1) | (was & Carry::kEquals ? 1 : 0);
        for (auto [quotes, open] : {std::pair{m.dq & in, Carry::kInDouble}, std::pair{m.sq & in, Carry::kInSingle}}) {
            const uint64_t inside = marks::PrefixXorAs<kClmul>(quotes) ^ (was & open ? ~uint64_t{0} : 0);  // an opening quote and after it
            faults |= (quotes & inside & ~after_equals) | (m.gt & inside);
            valued |= inside;
            if (inside >> 63) bits |= open;
        }
    }
    // A "/" inside a tag but in a value is right after its "<" or right before its ">" (the
    // tokenizer passes over any other).
    const uint64_t before_gt = (m.gt >> 1) | (next_gt << 63);
    faults |= m.slash & in & ~valued & ~((m.lt << 1) | (was & Carry::kLt ? 1 : 0)) & ~before_gt;
    // The ">" of each end tag: its "<" carried by an addition through the tag's bytes (one
    // carried in at the first byte for an end tag begun before); the carry out of the block
    // is an end tag left open.
    const uint64_t carried = (was & (Carry::kInTag | Carry::kEndTag)) == (Carry::kInTag | Carry::kEndTag) ? 1 : 0;
    uint64_t ended = 0, sum = 0;
    const bool over = __builtin_add_overflow(in, m.end_tags, &ended);
    const bool out = __builtin_add_overflow(ended, carried, &sum) || over;
    const uint64_t end_closers = sum & m.gt;
    const uint64_t slash_before = (m.slash << 1) | (was & Carry::kSlash ? 1 : 0);
    faults |= end_closers & slash_before;  // an end tag ended by "/>"
    m.empty_closers = m.gt & slash_before & ~end_closers;
    // From the ">" of such a start tag a carry runs through its text (bits outside tags) to
    // the next "<". (A tag the block before began is no element opened in the block.)
    const uint64_t head = was & Carry::kInTag ? m.gt & (~m.gt + 1) : 0;
    m.paired_ends = m.end_tags & (~in + (m.gt & ~end_closers & ~m.empty_closers & ~head));
    if (in >> 63) bits |= Carry::kInTag | (out ? Carry::kEndTag : 0u);
    bits |= (p[63] == '=' ? Carry::kEquals : 0u) | static_cast<uint32_t>(m.slash >> 63) * Carry::kSlash |
            static_cast<uint32_t>(m.lt >> 63) * Carry::kLt;
    carry->bits = bits;
    return faults;
}
[[gnu::always_inline]] inline uint64_t Faults(const uint8_t* p, Marks& m, Carry* carry) {
    return FaultsWith(p, m, carry, uint64_t{p[64] == '>'});
}

// Where the processor has AVX2 (and the system keeps its registers), the marks of a block
// and the look for tag starts take 32 bytes a compare. The same bits as above; chosen at run
// time (WideMarks), SSE2 staying the default.
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
#define SORREL_WIDE_MARKS 1
namespace wide {

[[gnu::target("avx2")]] inline uint64_t Join(__m256i a, __m256i b) {
    return static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(a))) |
           static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(b))) << 32;
}
[[gnu::target("avx2")]] inline __m256i Is(__m256i v, char c) { return _mm256_cmpeq_epi8(v, _mm256_set1_epi8(c)); }
[[gnu::target("avx2")]] inline __m256i Load(const uint8_t* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }

[[gnu::target("avx2")]] inline __m256i IsOr(__m256i v, char set, char c) { return Is(_mm256_or_si256(v, _mm256_set1_epi8(set)), c); }
[[gnu::target("avx2")]] inline __m256i IsAny(__m256i v, char x, char y, char z) {
    return _mm256_or_si256(_mm256_or_si256(Is(v, x), Is(v, y)), Is(v, z));
}

[[gnu::target("avx2")]] inline marks::Raw RawOf(const uint8_t* p) {
    const __m256i a = Load(p), b = Load(p + 32);
    const uint64_t slash = Join(Is(a, '/'), Is(b, '/'));
    return marks::Raw{Join(Is(a, '<'), Is(b, '<')), Join(Is(a, '>'), Is(b, '>')), slash,
                      Join(IsOr(a, 0x1E, 0x3F), IsOr(b, 0x1E, 0x3F)) & ~slash,
                      _mm256_movemask_epi8(_mm256_or_si256(IsOr(a, 0x05, 0x27), IsOr(b, 0x05, 0x27))) != 0};
}

[[gnu::target("avx2,popcnt")]] inline void Mark(const uint8_t* p, Marks& m) {
    const marks::Raw r = RawOf(p);
    Complete<true>(r, uint64_t{p[64] == '/'}, uint64_t{marks::IsMarkupAfterLt(p[64])}, m);
    if (r.quoted) marks::Quotes(p, &m.dq, &m.sq, &m.eq);
}

template <char A, char B, char C, char D, char E, char F>
[[gnu::target("avx2")]] inline __m256i TagStartsAt(const uint8_t* q) {
    return _mm256_and_si256(_mm256_and_si256(Is(Load(q), '<'), IsAny(Load(q + 1), A, B, C)), IsAny(Load(q + 2), D, E, F));
}
template <char A, char B, char C, char D, char E, char F>
[[gnu::target("avx2")]] inline uint64_t TagStarts(const uint8_t* p) {
    return Join(TagStartsAt<A, B, C, D, E, F>(p), TagStartsAt<A, B, C, D, E, F>(p + 32));
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
