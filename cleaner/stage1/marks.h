// Stage 1: the structure of one block of the save (64 bytes, 32 on a 32-bit processor), as
// bit masks (bit i stands for byte i), and whether the block is plain: whether its tags can be read from the masks
// alone. Every "<" of a plain block opens a tag and every ">" closes one (no ">" in text or
// in a quoted value, which XML allows and the game never writes), each attribute value is
// quoted right after its "=" and closed by the same quote before the tag's ">", no comment,
// CDATA section, processing instruction or declaration starts in it, and no end tag ends in
// "/>". Anything else goes through the byte tokenizer.
//
// The byte compares come from the kernel (kernel.h): one byte at a time (scalar.h), 16
// (sse2.h) or 32 bytes (avx2.h) a compare, the same bits whichever; the types are block.h's.
// The marks and the faults are written once, here, over them.
#pragma once

#include <cstdint>
#include <type_traits>

#include "cleaner/stage1/avx2.h"
#include "cleaner/stage1/block.h"
#include "cleaner/stage1/kernel.h"
#include "cleaner/stage1/scalar.h"
#include "cleaner/stage1/sse2.h"
#include "cleaner/texts.h"

#if defined(SORREL_X86)
#include <immintrin.h>
#endif

namespace cleaner {
namespace marks {

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

// What a block's marks take of the next block's first byte: whether it is "/", may open
// markup after a "<", or is ">" (each 0 or 1): from the next block's masks where these are in
// hand, else from the byte.
struct NextByte {
    Mask slash, bang, gt;
};
inline NextByte NextOf(const marks::Raw& next) { return {next.slash & 1, next.bang & 1, next.gt & 1}; }
inline NextByte NextOf(uint8_t c) { return {Mask{c == '/'}, Mask{marks::IsMarkupAfterLt(c)}, Mask{c == '>'}}; }

// The marks of a block from the masks of its own bytes and the next block's first byte (all
// but the quotes and the counts).
inline void MasksOf(const marks::Raw& r, NextByte next, Marks& m) {
    m.lt = r.lt, m.gt = r.gt, m.slash = r.slash;
    m.end_tags = r.lt & ((r.slash >> 1) | next.slash << kTopBit);
    m.markup = r.lt & ((r.bang >> 1) | next.bang << kTopBit);
    m.dq = m.sq = m.eq = 0;
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

// The faults of a block that holds a quote or begins inside a quoted value: its quotes' masks
// taken apart first, out of the way of the loop over blocks (which meets few of them).
template <Kernel K>
[[gnu::noinline]] Mask QuotedFaultsOf(const uint8_t* p, Marks& m, Carry* carry, Mask next_gt) {
    marks::Compares<K>::Quotes(p, &m.dq, &m.sq, &m.eq);
    return FaultsWith<K>(p, m, carry, next_gt);
}
template <Kernel K>
[[gnu::noinline, SORREL_TARGET("avx2,pclmul")]] Mask Avx2QuotedFaults(const uint8_t* p, Marks& m, Carry* carry, Mask next_gt) {
    marks::Compares<K>::Quotes(p, &m.dq, &m.sq, &m.eq);
    return FaultsWith<K>(p, m, carry, next_gt);
}
template <Kernel K>
inline Mask QuotedFaults(const uint8_t* p, Marks& m, Carry* carry, Mask next_gt) {
    if constexpr (K == Kernel::kAvx2) return Avx2QuotedFaults<K>(p, m, carry, next_gt);
    else return QuotedFaultsOf<K == Kernel::kScalar ? K : Kernel::kSse2>(p, m, carry, next_gt);
}

// Stage 1 of the block at `p`, the one call every reader of blocks takes: its marks from its
// bytes' masks (`raw`) and the next block's first byte, and its faults given what the block
// before carried (`carry`, updated for the next block).
template <Kernel K>
[[gnu::always_inline]] inline Mask Stage1(const uint8_t* p, const marks::Raw& raw, NextByte next, Marks& m, Carry* carry) {
    MasksOf(raw, next, m);
    return raw.quoted || carry->quoted() ? QuotedFaults<K>(p, m, carry, next.gt) : FaultsWith<K, false>(p, m, carry, next.gt);
}

// How much deeper the block's tags leave the walk, counted so that every block's count is
// its own: each "<" one deeper, each end tag two back (its "<" counted, and the element it
// ends), each ">" of a "/>" one back (an empty-element tag counted at its ">", in the block
// that ends it). Known once the faults are (empty_closers).
template <Kernel K>
inline int Deeper(const Marks& m) {
    return marks::Count<K>(m.lt) - 2 * marks::Count<K>(m.end_tags) - marks::Count<K>(m.empty_closers);
}

// The marks of the block at `p` into `m` with how much deeper it leaves the walk, and its
// faults (Stage1), by `kernel`: for the blocks the walk takes one at a time, the bench and the
// tests.
Mask MarkedFaults(Kernel kernel, const uint8_t* p, Marks& m, Carry* carry);

}  // namespace cleaner
