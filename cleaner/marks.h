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

namespace cleaner {

// What a block carries over to the next: whether it ends inside a tag (and whether that tag
// is an end tag), inside a quoted value of either kind, and whether its last byte is "=" or
// "/".
struct Carry {
    bool in_tag = false, end_tag = false;
    bool in_double = false, in_single = false;
    bool equals = false, slash = false;
};

struct Marks {
    uint64_t lt = 0, gt = 0, slash = 0;
    uint64_t end_tags = 0;  // a "<" with "/" after it
    uint64_t markup = 0;    // a "<" with "!" or "?" after it
    uint64_t dq = 0, sq = 0, eq = 0;  // '"', '\'' and '=' (only where the block holds a quote)
};

namespace marks {

#if defined(__SSE2__)
inline uint64_t Equal(const uint8_t* p, uint8_t c) {
    const __m128i b = _mm_set1_epi8(static_cast<char>(c));
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        m |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, b)))) << (16 * k);
    }
    return m;
}
// Bytes equal to `c` once `set` is or-ed into them: one compare for a few characters.
inline uint64_t EqualOr(const uint8_t* p, uint8_t set, uint8_t c) {
    const __m128i b = _mm_set1_epi8(static_cast<char>(c)), s = _mm_set1_epi8(static_cast<char>(set));
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_or_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k)), s);
        m |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, b)))) << (16 * k);
    }
    return m;
}
// Bytes up to " " (the XML blanks among them).
inline uint64_t AtMostSpace(const uint8_t* p) {
    const __m128i space = _mm_set1_epi8(' ');
    uint64_t m = 0;
    for (int k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
        m |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, space), space))))
             << (16 * k);
    }
    return m;
}
#else
inline uint64_t Equal(const uint8_t* p, uint8_t c) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>(p[i] == c) << i;
    return m;
}
inline uint64_t EqualOr(const uint8_t* p, uint8_t set, uint8_t c) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>((p[i] | set) == c) << i;
    return m;
}
inline uint64_t AtMostSpace(const uint8_t* p) {
    uint64_t m = 0;
    for (int i = 0; i < 64; ++i) m |= static_cast<uint64_t>(p[i] <= ' ') << i;
    return m;
}
#endif

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

inline uint64_t Below(int i) { return i >= 64 ? ~uint64_t{0} : (uint64_t{1} << i) - 1; }

}  // namespace marks

// The marks of the 64 bytes from `p`; p[64] is read too (what follows the block's last "<").
inline Marks Mark(const uint8_t* p) {
    Marks m;
    m.lt = marks::Equal(p, '<');
    m.gt = marks::Equal(p, '>');
    m.slash = marks::Equal(p, '/');
    m.end_tags = m.lt & marks::Equal(p + 1, '/');
    // "!" (21) and "?" (3F) are the bytes that read 3F with 1E or-ed in, among a few others
    // (digits and signs) that cannot begin a tag's name either, "/" (2F) apart.
    m.markup = m.lt & marks::EqualOr(p + 1, 0x1E, 0x3F) & ~(m.end_tags);
    // '"' (22) and '\'' (27) read 27 with 05 or-ed in, as do "#" and "&" (then looked at alone).
    if (marks::EqualOr(p, 0x05, 0x27) != 0) {
        m.dq = marks::Equal(p, '"');
        m.sq = marks::Equal(p, '\'');
        if ((m.dq | m.sq) != 0) m.eq = marks::Equal(p, '=');
    }
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
inline uint64_t Faults(const uint8_t* p, const Marks& m, Carry* carry) {
    const uint64_t in = marks::PrefixXor(m.lt | m.gt) ^ (carry->in_tag ? ~uint64_t{0} : 0);  // a tag's "<" to its ">"
    uint64_t faults = (m.lt & ~in) | (m.gt & in) | m.markup;
    uint64_t valued = 0;  // inside quoted values
    if ((m.dq | m.sq) != 0 || carry->in_double || carry->in_single) {
        // The names of start tags: from the byte after "<" to the first blank, ">" or "/".
        const uint64_t blanks = marks::Equal(p, ' ') | marks::Equal(p, '\t') | marks::Equal(p, '\r') | marks::Equal(p, '\n');
        const uint64_t name_bytes = ~(blanks | m.gt | m.slash | m.lt);
        const bool in_name = carry->in_tag && !carry->end_tag && marks::InNameAt(p);
        const uint64_t starts = ((m.lt << 1) | (in_name ? 1 : 0)) & name_bytes;
        faults |= (m.dq | m.sq) & name_bytes & ~(name_bytes + starts);
        for (auto [quotes, open] : {std::pair{m.dq & in, &carry->in_double}, std::pair{m.sq & in, &carry->in_single}}) {
            const uint64_t inside = marks::PrefixXor(quotes) ^ (*open ? ~uint64_t{0} : 0);  // an opening quote and after it
            const uint64_t after_equals = (m.eq << 1) | (carry->equals ? 1 : 0);
            faults |= (quotes & inside & ~after_equals) | (m.gt & inside);
            valued |= inside;
            *open = (inside >> 63) & 1;
        }
    }
    // A "/" inside a tag but in a value is right after its "<" or right before its ">" (the
    // tokenizer passes over any other).
    const uint64_t before_gt = (m.gt >> 1) | (uint64_t{p[64] == '>'} << 63);
    faults |= m.slash & in & ~valued & ~(m.lt << 1) & ~before_gt;
    // An end tag ended by "/>".
    for (uint64_t closing = m.gt & ((m.slash << 1) | (carry->slash ? 1 : 0)); closing != 0; closing &= closing - 1) {
        const uint64_t opened = m.lt & marks::Below(__builtin_ctzll(closing));
        const bool end = opened != 0 ? (m.end_tags >> (63 - __builtin_clzll(opened))) & 1 : carry->end_tag;
        if (end) faults |= closing & (~closing + 1);
    }
    carry->in_tag = (in >> 63) & 1;
    if (carry->in_tag && m.lt != 0) carry->end_tag = (m.end_tags >> (63 - __builtin_clzll(m.lt))) & 1;
    carry->equals = p[63] == '=';
    carry->slash = p[63] == '/';
    return faults;
}

}  // namespace cleaner
