// Stage 1's types: a block of the save (64 bytes, 32 on a 32-bit processor) as bit masks (bit
// i stands for byte i), what one block carries over to the next, and a block's marks.
#pragma once

#include <cstdint>

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
    // Found with the block's faults: the ">" that end start tags in "/>" (the first one's too,
    // when it ends the tag the block before began).
    Mask empty_closers = 0;
    // The end tags whose tag before (in the block) is a start tag that is not empty, with
    // nothing but text between: an element opened and closed there, which takes the depth no
    // lower than it found it.
    Mask paired_ends = 0;
    // Where the walk takes blocks one by one: how much deeper the block leaves it (Deeper).
    int8_t deeper = 0;
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

inline Mask Below(int i) { return i >= kBlockBits ? ~Mask{0} : (Mask{1} << i) - 1; }

}  // namespace marks
}  // namespace cleaner
